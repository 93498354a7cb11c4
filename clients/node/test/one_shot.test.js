// Listing, installing and releasing locales through the library, against a
// loopback catalog in a throwaway home.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { install, listLocales, release } from '../src/index.js';
import { throwawayHome } from './support.js';

let home;
before(async () => {
  home = await throwawayHome();
});
after(() => home.close());

test('install reports rising progress up to 1, then the locale is installed and can be released', async () => {
  const options = { env: home.env };
  const before = await listLocales(options);
  assert.deepEqual(before.supported.sort(), ['en-US', home.locale].sort());
  assert.deepEqual(before.installed, ['en-US']);
  assert.deepEqual(before.reserved, []);

  const fractions = [];
  const installed = await install(home.locale.replace('-', '_'), (f) => fractions.push(f), options);
  assert.equal(installed, home.locale);
  assert.ok(fractions.length >= 3, `progress ${fractions}`);
  assert.ok(fractions.some((f) => f > 0 && f < 1), `progress ${fractions}`);
  assert.equal(fractions.at(-1), 1);
  assert.deepEqual([...fractions].sort((a, b) => a - b), fractions, 'never goes back');

  const now = await listLocales(options);
  assert.deepEqual(now.installed.sort(), ['en-US', home.locale].sort());
  assert.deepEqual(now.reserved, [home.locale]);
  assert.equal(typeof now.maxReserved, 'number');

  assert.equal(await release(home.locale, options), true);
  assert.equal(await release(home.locale, options), false);
  assert.deepEqual((await listLocales(options)).reserved, []);
});

test('a locale no catalog lists rejects install with earshot\'s text', async () => {
  const progress = [];
  await assert.rejects(install('xx-YY', (f) => progress.push(f), { env: home.env }), {
    name: 'EarshotError',
    message: 'Apple Speech does not support language xx-YY.',
  });
  assert.deepEqual(progress, []);
});
