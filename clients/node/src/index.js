export { EarshotError } from './error.js';
export { findExecutable } from './executable.js';
export { install, listLocales, release } from './one_shot.js';
export { Transcriber } from './transcriber.js';
