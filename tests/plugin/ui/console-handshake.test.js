'use strict';

// The console page's handshake with the host, in a real browser.
const test = require('node:test');
const assert = require('node:assert/strict');
const { launchBrowser, openConsole } = require('./browser-harness.js');

let browser;
test.before(async () => {
  browser = await launchBrowser();
});
test.after(async () => {
  if (browser) await browser.close();
});

test('under the host the page listens to its four events in order and says only "ready"', async () => {
  const page = await openConsole(browser);
  try {
    await page.settle();
    assert.deepEqual(await page.registrations(), ['restore', 'devices', 'meter', 'library']);
    assert.deepEqual(await page.emits(), [['ready', {}]]);
    await page.invariants();
  } finally {
    await page.close();
  }
});

test('the fake origin serves the bundle by flat names and nothing else', async () => {
  const page = await openConsole(browser);
  try {
    const status = (name) => page.page.evaluate((n) => fetch(n).then((r) => r.status), name);
    assert.equal(await status('plugin.js?v=1'), 200);
    assert.equal(await status(''), 200);
    assert.equal(await status('ui/js/profile.js'), 404);
    assert.equal(await status('missing.js'), 404);
    assert.ok(page.aborted.some((url) => url.includes('fonts.googleapis.com')), 'the font sheet is aborted');
  } finally {
    await page.close();
  }
});
