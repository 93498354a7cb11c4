import { startEarshot, unexpectedEnd } from './child.js';
import { EarshotError } from './error.js';

// Runs a one-shot mode to its end. `onMessage` sees every line and returns a
// value to settle with once the program has exited with status 0.
function runMode(args, { executable, env } = {}, onMessage) {
  return new Promise((resolve, reject) => {
    let failure = null;
    let outcome;
    let settled = false;
    startEarshot(
      { executable, env, args },
      (message) => {
        if (message.type === 'error') {
          failure ??= new EarshotError(String(message.message));
        } else if (!settled) {
          const value = onMessage(message);
          if (value !== undefined) {
            outcome = value;
            settled = true;
          }
        }
      },
      (startFailure, code, signal) => {
        failure ??= startFailure;
        if (!failure && code === 0 && settled) resolve(outcome);
        else reject(failure ?? unexpectedEnd(code, signal));
      },
    );
  });
}

// What `earshot --locales` says, without its "type".
export function listLocales(options) {
  return runMode(['--locales'], options, (message) => {
    if (message.type !== 'locales') return undefined;
    const { type, ...locales } = message;
    return locales;
  });
}

// Installs a locale's speech model; `onProgress(fraction)` follows the
// download. Resolves with the installed locale in BCP 47 form.
export function install(locale, onProgress, options) {
  return runMode(['--install', String(locale)], options, (message) => {
    if (message.type === 'install-progress') {
      onProgress?.(message.fraction);
      return undefined;
    }
    return message.type === 'install-done' ? message.locale : undefined;
  });
}

// Gives up a locale's reservation. Resolves true when something was released.
export function release(locale, options) {
  return runMode(['--release', String(locale)], options, (message) =>
    message.type === 'release-done' ? message.released === true : undefined,
  );
}
