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

function onPath(name, env) {
  for (const folder of (env.PATH ?? '').split(delimiter)) {
    if (!folder) continue;
    const candidate = join(folder, name);
    if (isExecutableFile(candidate)) return candidate;
  }
  return null;
}

// The program to run: the explicit path, else $EARSHOT_EXECUTABLE, else
// "earshot" on PATH. A bare name is looked up on PATH as a shell would.
export function findExecutable(explicit, env = process.env) {
  const given = explicit || env.EARSHOT_EXECUTABLE;
  if (given) return given.includes('/') ? given : (onPath(given, env) ?? given);
  const found = onPath('earshot', env);
  if (found) return found;
  throw new EarshotError(
    'Cannot find the earshot program: pass "executable", set EARSHOT_EXECUTABLE or put earshot on PATH',
    { code: 'program-not-found' },
  );
}
