// The errors of the library. EarshotError is every failure that comes from
// earshot or from its process; `code` says which kind, from a small set that
// docs/protocol.md tables beside earshot's own error texts.
export class EarshotError extends Error {
  constructor(message, { code, cause } = {}) {
    super(message, cause === undefined ? undefined : { cause });
    this.name = 'EarshotError';
    this.code = code ?? codeOf(message);
  }
}

// earshot's documented "error" texts by their beginning; the first match
// wins. Texts of the parts earshot builds on that are not listed here (a
// recognizer's own failure) are "engine-failed".
const textCodes = [
  ['Apple Speech requires ', 'unsupported-system'],
  ['Apple Speech does not support language ', 'unsupported-locale'],
  ['No downloadable speech model for ', 'unsupported-locale'],
  ['Apple speech model is unavailable for ', 'model-unavailable'],
  ['Speech model for ', 'model-unavailable'],
  ['Cannot install the speech model for ', 'install-failed'],
  ['Could not install the speech model for ', 'install-failed'],
  ['Could not release ', 'release-failed'],
  ['Expected init message', 'invalid-init'],
  ['Invalid init member ', 'invalid-init'],
  ['attributeOptions ', 'invalid-init'],
  ['contextualStrings ', 'invalid-init'],
  ['Each phrase of contextualStrings ', 'invalid-init'],
  ['Contextual phrases could not be added', 'invalid-init'],
  ['textForm ', 'invalid-init'],
  ['speakerAdaptation ', 'invalid-init'],
  ['speakerProfile ', 'invalid-init'],
  ['Invalid audio message', 'invalid-audio'],
  ['Expected mono Int16 PCM ', 'invalid-audio'],
  ['Unsupported input audio format', 'invalid-audio'],
  ['Audio conversion ', 'audio-conversion-failed'],
  ['Audio converter ', 'audio-conversion-failed'],
  ['Audio resampling failed', 'audio-conversion-failed'],
  ['Empty: no JSON found', 'protocol-error'],
  ['Problem while parsing ', 'protocol-error'],
  ['The JSON document has an improper structure', 'protocol-error'],
];

// The code of one of earshot's "error" texts.
export function codeOf(text) {
  const found = textCodes.find(([beginning]) => String(text).startsWith(beginning));
  return found ? found[1] : 'engine-failed';
}

// A call that the transcriber's state does not allow (write after stop, stop
// twice): the host's mistake, not earshot's.
export function usageError(message) {
  const error = new Error(message);
  error.code = 'ERR_INVALID_STATE';
  return error;
}

// What a call rejects with when its AbortSignal fired.
export class AbortError extends Error {
  constructor(reason) {
    super('The operation was aborted', reason === undefined ? undefined : { cause: reason });
    this.name = 'AbortError';
    this.code = 'ABORT_ERR';
  }
}
