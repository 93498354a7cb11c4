// A typed host, checked by `tsc -p test/types` (ctest: clients.node.types):
// every member of results, options and errors has its declared type, and
// misspelled options do not compile.
import { pipeline } from 'node:stream/promises';
import { Readable } from 'node:stream';
import {
  AbortError,
  EarshotError,
  type EarshotErrorCode,
  type InitOptions,
  type Locales,
  Transcriber,
  type Transcript,
  type Word,
  codeOf,
  listLocales,
  transcribeFile,
} from 'earshot-client';

const options: InitOptions = {
  attributeOptions: ['audioTimeRange', 'transcriptionConfidence'],
  contextualStrings: ['Ksenia Wojcik'],
  textForm: 'spoken',
  speakerAdaptation: 'session',
  speakerProfile: 'ksenia',
};
// @ts-expect-error: not one of the text forms
const wrongForm: InitOptions = { textForm: 'numbers' };
// @ts-expect-error: not one of the attribute options
const wrongAttribute: InitOptions = { attributeOptions: ['wordTimes'] };

function describe(result: Transcript): string {
  const words: Word[] = result.words ?? [];
  const start: number | undefined = result.start;
  const end: number | undefined = result.end;
  const confidence: number | undefined = result.confidence;
  const timed = words.map((word) => `${word.text}@${word.start?.toFixed(2)}-${word.end?.toFixed(2)}:${word.confidence}`);
  return `${result.isFinal ? 'final' : 'partial'} ${result.text} ${start}-${end} ${confidence} ${timed.join(' ')}`;
}

async function live(microphone: Readable): Promise<void> {
  const controller = new AbortController();
  const transcriber = await Transcriber.start({
    locale: 'en-US',
    options,
    signal: controller.signal,
    startTimeoutMs: 30_000,
    onStatus: ({ phase, message }) => console.log(phase, message),
  });
  const rate: number = transcriber.sampleRate;
  transcriber.on('transcript', (result) => console.log(describe(result)));
  transcriber.on('error', (error) => console.log(error.code));
  await pipeline(microphone, transcriber.writable(rate));
  await transcriber.write(new Int16Array(160), 16000);
  await transcriber.flush({ signal: AbortSignal.timeout(5000) });
  await transcriber.stop({ signal: controller.signal });
  for await (const result of transcriber) console.log(describe(result));
}

async function file(path: string): Promise<string> {
  try {
    const finals: Transcript[] = await transcribeFile(path, {
      onProgress: (fraction: number) => console.log(Math.round(fraction * 100)),
      signal: AbortSignal.timeout(60_000),
    });
    return finals.map((result) => result.text).join('\n');
  } catch (error) {
    if (error instanceof AbortError) return 'aborted';
    if (error instanceof EarshotError) {
      const code: EarshotErrorCode = error.code;
      if (code === 'unsupported-locale' || code === 'invalid-file') return error.message;
    }
    throw error;
  }
}

async function locales(): Promise<string[]> {
  const found: Locales = await listLocales();
  const code: EarshotErrorCode = codeOf('Apple speech model is unavailable for en-US.');
  return [...found.installed, code];
}

export { file, live, locales, wrongAttribute, wrongForm };
