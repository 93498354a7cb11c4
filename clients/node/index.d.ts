// Type declarations of earshot-client.
import { EventEmitter } from 'node:events';

/** A failure of earshot or of its process; the message is earshot's own text when it wrote one. */
export class EarshotError extends Error {
  name: 'EarshotError';
}

/** Where to find earshot and what environment it runs in. */
export interface ProgramOptions {
  /** Path of the earshot program; default $EARSHOT_EXECUTABLE, then "earshot" on PATH. */
  executable?: string;
  /** Environment of the process; default process.env. */
  env?: NodeJS.ProcessEnv;
}

export interface StartOptions extends ProgramOptions {
  /** Locale to recognise, e.g. "en-US"; default the user's locale. */
  locale?: string;
  /**
   * How transcripts are written: "written" (the default: capitals, punctuation, digits such as
   * "Go forward 10 meters.") or "spoken" (the recognizer's bare words: "go forward ten meters").
   */
  textForm?: 'written' | 'spoken';
  /** Further members of the "init" line, for options of later earshot versions. */
  options?: Record<string, unknown>;
  /** Called with "status" lines, sent while a missing model is downloaded before "ready". */
  onStatus?: (status: { phase: string; message: string }) => void;
}

/** One "transcript" line, with any further members earshot wrote (timings, confidence). */
export interface Transcript {
  /** The utterance so far (partial) or its settled text (final). */
  text: string;
  /** false: a partial result, replaced by the next one; true: the utterance is closed. */
  isFinal: boolean;
  [member: string]: unknown;
}

export class Transcriber extends EventEmitter implements AsyncIterable<Transcript> {
  /** Starts earshot; resolves once it is ready, rejects with EarshotError otherwise. */
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
   * Sends mono 16-bit samples (a Buffer holds them little-endian) at `sampleRate` Hz;
   * resolves once the pipe to earshot has taken them.
   */
  write(samples: Int16Array | Buffer | Uint8Array, sampleRate: number): Promise<void>;
  /** Ends the current session; resolves once every transcript of the audio before it was delivered. */
  flush(): Promise<void>;
  /** Ends the last session; resolves once every transcript was delivered and earshot has exited. */
  stop(): Promise<void>;
  /** Kills earshot at once, dropping what it has not written yet. */
  close(): Promise<void>;
  /** The results delivered from now on; ends after stop(), throws EarshotError on a failure. */
  [Symbol.asyncIterator](): AsyncIterator<Transcript>;

  on(event: 'transcript', listener: (result: Transcript) => void): this;
  on(event: 'error', listener: (error: EarshotError) => void): this;
  on(event: 'end', listener: () => void): this;
  once(event: 'transcript', listener: (result: Transcript) => void): this;
  once(event: 'error', listener: (error: EarshotError) => void): this;
  once(event: 'end', listener: () => void): this;
}

/** What `earshot --locales` reports. */
export interface Locales {
  available: boolean;
  supported: string[];
  installed: string[];
  reserved?: string[];
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
