// Type declarations of earshot-client.
import { EventEmitter } from 'node:events';
import { Writable } from 'node:stream';

/** What kind of failure an EarshotError is; docs/protocol.md tables them beside earshot's error texts. */
export type EarshotErrorCode =
  | 'unsupported-system'
  | 'unsupported-locale'
  | 'model-unavailable'
  | 'install-failed'
  | 'release-failed'
  | 'invalid-init'
  | 'invalid-audio'
  | 'audio-conversion-failed'
  | 'protocol-error'
  | 'engine-failed'
  | 'program-exited'
  | 'program-not-found'
  | 'start-timeout'
  | 'closed'
  | 'invalid-file';

/** A failure of earshot or of its process; the message is earshot's own text when it wrote one. */
export class EarshotError extends Error {
  name: 'EarshotError';
  readonly code: EarshotErrorCode;
}

/** What a call rejects with when its AbortSignal fired; earshot has then been killed. */
export class AbortError extends Error {
  name: 'AbortError';
  readonly code: 'ABORT_ERR';
}

/** The code of one of earshot's "error" texts. */
export function codeOf(text: string): EarshotErrorCode;

/** Where to find earshot and what environment it runs in. */
export interface ProgramOptions {
  /** Path of the earshot program; default $EARSHOT_EXECUTABLE, then "earshot" on PATH. */
  executable?: string;
  /** Environment of the process; default process.env. */
  env?: NodeJS.ProcessEnv;
}

/** The optional members of the "init" line (docs/protocol.md, "Init options"). */
export interface InitOptions {
  /** "audioTimeRange": times and words on every result; "transcriptionConfidence": confidence on finals. */
  attributeOptions?: Array<'audioTimeRange' | 'transcriptionConfidence'>;
  /** Up to 100 phrases (1 to 10 words, at most 100 bytes each) the recognizer should expect. */
  contextualStrings?: string[];
  /** Always sent as true: flush() waits for earshot's "flushed". */
  acknowledgeFlush?: true;
  /** "written" (the default): text as people write it (case, punctuation, digits); "spoken": the recognizer's words. */
  textForm?: 'written' | 'spoken';
  /**
   * What the recognizer keeps of the voice it adapts to: "persistent" (the default) across processes,
   * "session" within this process only, "off" nothing (the same audio gives the same lines every run).
   */
  speakerAdaptation?: 'persistent' | 'session' | 'off';
  /** The speaker whose kept adaptation to use: 1 to 64 characters from A-Z a-z 0-9 . _ - */
  speakerProfile?: string;
}

export interface StartOptions extends ProgramOptions {
  /** Locale to recognise, e.g. "en-US"; default the user's locale. */
  locale?: string;
  /** Members of the "init" line. */
  options?: InitOptions;
  /** Called with "status" lines, sent while a missing model is downloaded before "ready". */
  onStatus?: (status: { phase: string; message: string }) => void;
  /** Aborting kills earshot; start() then rejects with an AbortError. */
  signal?: AbortSignal;
  /** Kills earshot and rejects with an EarshotError of code "start-timeout" when it is not ready in time. */
  startTimeoutMs?: number;
}

/** One word of a result. */
export interface Word {
  text: string;
  /** Seconds from the start of the session; with "audioTimeRange". */
  start?: number;
  end?: number;
  /** 0 to 1, on finals with "transcriptionConfidence". */
  confidence?: number;
}

/** One "transcript" line. */
export interface Transcript {
  /** The utterance so far (partial) or its settled text (final). */
  text: string;
  /** false: a partial result, replaced by the next one; true: the utterance is closed. */
  isFinal: boolean;
  /** The stretch of audio the utterance covers, in seconds of the session; with "audioTimeRange". */
  start?: number;
  end?: number;
  /** The mean of the words' confidences, on finals with "transcriptionConfidence". */
  confidence?: number;
  /** One per word of `text`, with "audioTimeRange" or (on finals) "transcriptionConfidence". */
  words?: Word[];
}

/** An AbortSignal for one call. */
export interface CallOptions {
  /** Aborting kills earshot; the call and every pending one reject with an AbortError. */
  signal?: AbortSignal;
}

export class Transcriber extends EventEmitter implements AsyncIterable<Transcript> {
  /** Starts earshot; resolves once it is ready, rejects with EarshotError (or AbortError) otherwise. */
  static start(options?: StartOptions): Promise<Transcriber>;
  private constructor();

  /** The resolved locale, in BCP 47 form. */
  readonly locale: string;
  /** The rate the recognizer works at; audio may come at any supported rate. */
  readonly sampleRate: number;
  /** The process id of earshot. */
  readonly pid: number;
  /** Bytes written but not yet taken by the pipe to earshot. */
  readonly bufferedBytes: number;

  /**
   * Sends mono 16-bit samples (a Buffer holds them little-endian) at `sampleRate` Hz (8000 to 192000);
   * resolves once the pipe to earshot has taken them. Throws a RangeError or TypeError at once for bad
   * samples or rates, and nothing is sent.
   */
  write(samples: Int16Array | Buffer | Uint8Array, sampleRate: number): Promise<void>;
  /** A Writable of 16-bit little-endian samples at `sampleRate`, with back-pressure; ending it does not stop. */
  writable(sampleRate: number, options?: { highWaterMark?: number }): Writable;
  /** Ends the current session; resolves once every transcript of the audio before it was delivered. */
  flush(options?: CallOptions): Promise<void>;
  /** Ends the last session; resolves once every transcript was delivered and earshot has exited. */
  stop(options?: CallOptions): Promise<void>;
  /** Kills earshot at once, dropping what it has not written yet; resolves once it has exited. */
  close(): Promise<void>;
  /** The results from the start that no iterator has taken yet; ends after stop(), throws a failure once. */
  [Symbol.asyncIterator](): AsyncIterator<Transcript>;

  on(event: 'transcript', listener: (result: Transcript) => void): this;
  on(event: 'error', listener: (error: EarshotError | AbortError) => void): this;
  on(event: 'end', listener: () => void): this;
  once(event: 'transcript', listener: (result: Transcript) => void): this;
  once(event: 'error', listener: (error: EarshotError | AbortError) => void): this;
  once(event: 'end', listener: () => void): this;
}

export interface TranscribeFileOptions extends StartOptions {
  /** How far into the file the results have come, from 0 to 1; 1 at the end. */
  onProgress?: (fraction: number) => void;
}

/**
 * Transcribes a WAV file (integer or float samples, any rate from 8 to 192 kHz, any number of channels,
 * mixed down) and resolves with its final results. Other files reject with code "invalid-file".
 */
export function transcribeFile(path: string, options?: TranscribeFileOptions): Promise<Transcript[]>;

/** What `earshot --locales` reports. */
export interface Locales {
  available: boolean;
  supported: string[];
  installed: string[];
  /** Present when `available` is true. */
  reserved?: string[];
  /** Present when `available` is true. */
  maxReserved?: number;
}

export function listLocales(options?: ProgramOptions): Promise<Locales>;
/** Installs a locale's speech model; resolves with the locale in BCP 47 form. */
export function install(
  locale: string,
  onProgress?: (fraction: number) => void,
  options?: ProgramOptions,
): Promise<string>;
/** Gives up a locale's reservation; resolves true when something was released. */
export function release(locale: string, options?: ProgramOptions): Promise<boolean>;
/** The program the library runs: `explicit`, else $EARSHOT_EXECUTABLE, else "earshot" on PATH. */
export function findExecutable(explicit?: string, env?: NodeJS.ProcessEnv): string;
