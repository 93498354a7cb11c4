import { accessSync, constants, statSync } from 'node:fs';
import { delimiter, join } from 'node:path';
import { EarshotError } from './error.js';

export function isExecutableFile(path) {
  try {
    accessSync(path, constants.X_OK);
    return statSync(path).isFile();
  } catch {
    return false;
  }
}

// The program to run: the explicit path, else $EARSHOT_EXECUTABLE, else
// "earshot" on PATH.
export function findExecutable(explicit, env = process.env) {
  if (explicit) return explicit;
  if (env.EARSHOT_EXECUTABLE) return env.EARSHOT_EXECUTABLE;
  for (const folder of (env.PATH ?? '').split(delimiter)) {
    if (!folder) continue;
    const candidate = join(folder, 'earshot');
    if (isExecutableFile(candidate)) return candidate;
  }
  throw new EarshotError(
    'Cannot find the earshot program: pass "executable", set EARSHOT_EXECUTABLE or put earshot on PATH',
    { code: 'program-not-found' },
  );
}
