export { AbortError, EarshotError, codeOf } from './error.js';
export { findExecutable } from './executable.js';
export { transcribeFile } from './file.js';
export { install, listLocales, release } from './one_shot.js';
export { Transcriber } from './transcriber.js';
