// Whether the processes the library starts still run, as /proc tells.
import { readdirSync, readFileSync } from 'node:fs';

// The parent of `pid` while it runs; undefined once it has ended (a zombie
// has).
function parentWhileRunning(pid) {
  try {
    const stat = readFileSync(`/proc/${pid}/stat`, 'latin1');
    // The command name, in parentheses, may hold spaces and parentheses itself.
    const [state, parent] = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
    return state === 'Z' ? undefined : Number(parent);
  } catch {
    return undefined; // ended meanwhile
  }
}

// Running and not a zombie.
export const isRunning = (pid) => parentWhileRunning(pid) !== undefined;

// Waits up to `seconds` for `pid` to end; true when it did.
export async function ends(pid, seconds = 10) {
  for (let waited = 0; waited < seconds * 1000; waited += 20) {
    if (!isRunning(pid)) return true;
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  return false;
}

// The processes this one started that still run (its children, zombies
// left out).
export function children() {
  const pids = readdirSync('/proc').filter((entry) => /^\d+$/.test(entry)).map(Number);
  return pids.filter((pid) => parentWhileRunning(pid) === process.pid);
}
