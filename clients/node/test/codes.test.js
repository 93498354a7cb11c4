// Every error text docs/protocol.md documents has the code its table of
// codes gives it, and the library's own failures have theirs.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { describe, test } from 'node:test';
import { EarshotError, Transcriber, codeOf, listLocales } from '../src/index.js';
import { afterReady, conversation, tenth, withTranscriber } from './stand_in.js';

const documented = JSON.parse(
  execFileSync('python3', [fileURLToPath(new URL('../../../tests/clients/documented_errors.py', import.meta.url))]),
);

test('every documented error text maps to the code of the table beside it', () => {
  assert.ok(documented.length >= 20, 'the texts were found');
  for (const { text, code } of documented) assert.equal(codeOf(text), code, text);
  assert.equal(codeOf('a recognizer failure of its own'), 'engine-failed');
});

describe('codes as the transcriber and the one-shot modes report them', () => {
  for (const { text, code } of documented.filter((_, index) => index % 4 === 0)) {
    test(`"${text.slice(0, 40)}…" is ${code}`, async () => {
      const line = `< ${JSON.stringify({ type: 'error', message: text })}`;
      const live = conversation({ text: `> init\n${line}\n! exit 1\n` });
      const oneShot = conversation({ text: `${line}\n! exit 1\n` });
      try {
        await assert.rejects(Transcriber.start({ executable: live.executable, env: live.env }), { name: 'EarshotError', message: text, code });
        await assert.rejects(listLocales({ executable: oneShot.executable, env: oneShot.env }), { message: text, code });
      } finally {
        live.remove();
        oneShot.remove();
      }
    });
  }

  const ends = [
    ['an exit without an error line', '! exit 3', 'program-exited', 'earshot exited with status 3 without an error message'],
    ['a status 0 without "stopped"', '! exit 0', 'program-exited', 'earshot exited with status 0 without an error message'],
    ['death by a signal', '! kill SIGSEGV', 'program-exited', 'earshot was killed by SIGSEGV without an error message'],
  ];
  for (const [what, entry, code, message] of ends) {
    test(`${what} is ${code}`, () =>
      withTranscriber(afterReady('> audio', entry), async (transcriber) => {
        await transcriber.write(tenth, 16000).catch(() => {});
        await assert.rejects(transcriber.stop(), { name: 'EarshotError', code, message });
      }));
  }

  test('a missing program is program-not-found', async () => {
    const plain = join(mkdtempSync(join(tmpdir(), 'earshot-plain-')), 'earshot');
    writeFileSync(plain, '#!/bin/sh\n', { mode: 0o644 });
    for (const executable of ['/nonexistent/earshot', plain, '/tmp']) {
      await assert.rejects(Transcriber.start({ executable }), (error) => {
        assert.ok(error instanceof EarshotError);
        assert.equal(error.code, 'program-not-found');
        assert.match(error.message, new RegExp(`^Cannot run ${executable}: `));
        return true;
      });
    }
    await assert.rejects(listLocales({ env: { PATH: '/nonexistent' } }), { code: 'program-not-found', message: /EARSHOT_EXECUTABLE/ });
  });

  test('a transcriber closed while a call waits rejects it with closed', () =>
    withTranscriber(afterReady('> flush', '! hang'), async (transcriber) => {
      const flushing = transcriber.flush();
      await new Promise((resolve) => setTimeout(resolve, 50));
      await transcriber.close();
      await assert.rejects(flushing, { name: 'EarshotError', code: 'closed' });
    }));
});
