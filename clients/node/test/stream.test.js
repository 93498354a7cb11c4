// transcriber.writable(): a microphone-like stream piped into earshot, with
// back-pressure, and chunks that split samples.
import assert from 'node:assert/strict';
import { Readable } from 'node:stream';
import { pipeline } from 'node:stream/promises';
import { test } from 'node:test';
import { afterReady, conversation, withTranscriber } from './stand_in.js';

test('a source faster than earshot reads is held back by the pipe, not buffered', () =>
  // The stand-in reads nothing after the handshake.
  withTranscriber(afterReady('! hang'), async (transcriber) => {
    let pulled = 0;
    const chunk = Buffer.alloc(64 * 1024);
    const source = new Readable({
      read() {
        pulled += chunk.length;
        this.push(pulled <= 64 * 1024 * 1024 ? chunk : null);
      },
    });
    const piping = pipeline(source, transcriber.writable(16000));
    await new Promise((resolve) => setTimeout(resolve, 500));
    const held = pulled;
    await new Promise((resolve) => setTimeout(resolve, 300));
    assert.equal(pulled, held, 'the source is paused');
    // The pipe (64 KiB) and the streams' own buffers, in Base64: far below the 64 MiB offered.
    assert.ok(pulled < 1024 * 1024, `pulled ${pulled} bytes`);
    assert.ok(transcriber.bufferedBytes < 256 * 1024, `${transcriber.bufferedBytes} bytes queued`);
    await transcriber.close();
    await assert.rejects(piping, { code: 'closed' });
  }));

test('chunks that split samples are joined, and all of them arrive', () =>
  withTranscriber(conversation({ name: 'goforward' }), async (transcriber, stand) => {
    const sizes = [3, 5, 1, 7, 3200, 1, 999, 1000, 4];
    const total = sizes.reduce((a, b) => a + b);
    assert.equal(total % 2, 0);
    await pipeline(Readable.from(sizes.map((size) => Buffer.alloc(size, 7))), transcriber.writable(16000));
    await transcriber.stop();
    const audio = stand.sent().filter((line) => line.startsWith('audio'));
    assert.ok(audio.every((line) => line.startsWith('audio 16000 ')), audio.join());
    assert.equal(audio.reduce((sum, line) => sum + Number(line.split(' ')[2]), 0), total);
  }));

test('a stream that ends inside a sample fails with a RangeError', () =>
  withTranscriber(conversation({ name: 'goforward' }), async (transcriber) => {
    await assert.rejects(pipeline(Readable.from([Buffer.alloc(3)]), transcriber.writable(16000)), RangeError);
    await transcriber.stop();
  }));
