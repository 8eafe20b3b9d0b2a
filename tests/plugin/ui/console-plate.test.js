'use strict';

// The plot's canvas scaffolding in a real browser: its backing store follows the painted size,
// it is rewritten only when that changes, and its drawing loop goes on while the page is hidden.
const test = require('node:test');
const assert = require('node:assert/strict');
const { browserForTests } = require('./browser-harness.js');
const { PROBED_PLUGIN } = require('./plugin-probe.js');

const withConsole = browserForTests(test);

const canvasSize = (page) => page.page.evaluate(() => {
  const c = document.querySelector('.plotwrap canvas');
  return { layoutW: c.clientWidth, layoutH: c.clientHeight, paintedW: c.getBoundingClientRect().width, w: c.width, h: c.height };
});

test('the backing store is the layout size times the painted scale, at most 3', async () => {
  // [UI scale key, device scale, backing pixels per layout pixel]
  const cases = [['1', 1, 1], ['0.75', 1, 0.75], ['1.25', 1, 1.25], ['1', 2, 2], ['1.25', 2, 2.5], ['1.5', 2, 3], ['2', 2, 3], ['1.5', 3, 3]];
  for (const [key, deviceScaleFactor, scale] of cases) {
    await withConsole({ deviceScaleFactor, storageSeed: { 'brindle.plugin.ui.v1': key } }, async (page) => {
      const got = await canvasSize(page);
      const label = `scale ${key} at device scale ${deviceScaleFactor}`;
      assert.ok(Math.abs(got.w - got.layoutW * scale) <= 1, `${label}: width ${got.w} for ${got.layoutW} layout px`);
      assert.ok(Math.abs(got.h - got.layoutH * scale) <= 1, `${label}: height ${got.h} for ${got.layoutH} layout px`);
    });
  }
});

test('the drawing gets the layout size, and the backing store is rewritten only when the size or scale changes', async () => {
  await withConsole({ files: { 'plugin.js': PROBED_PLUGIN } }, async (page) => {
    // Counts writes of the canvas size, each of which clears it.
    await page.page.evaluate(() => {
      const canvas = document.querySelector('.plotwrap canvas');
      const width = Object.getOwnPropertyDescriptor(HTMLCanvasElement.prototype, 'width');
      window.__sizeWrites = 0;
      Object.defineProperty(canvas, 'width', {
        get() { return width.get.call(this); },
        set(v) { window.__sizeWrites += 1; width.set.call(this, v); },
      });
    });
    const lastDraw = () => page.page.evaluate(() => window.__probe.draws.at(-1));
    let size = await canvasSize(page);
    assert.deepEqual(await lastDraw().then((d) => [d.width, d.height]), [size.layoutW, size.layoutH]);
    await page.page.evaluate(() => { for (let i = 0; i < 3; i += 1) window.dispatchEvent(new Event('resize')); });
    await page.settle();
    assert.equal(await page.page.evaluate(() => window.__sizeWrites), 0, 'an unchanged size writes nothing');
    await page.page.setViewportSize({ width: 980, height: 860 });
    await page.page.waitForFunction(() => window.__sizeWrites > 0);
    await page.settle();
    size = await canvasSize(page);
    assert.ok(Math.abs(size.w - size.paintedW) <= 1, 'the new size is taken');
    assert.deepEqual(await lastDraw().then((d) => [d.width, d.height]), [size.layoutW, size.layoutH]);
    const writes = await page.page.evaluate(() => window.__sizeWrites);
    await page.page.evaluate(() => window.dispatchEvent(new Event('resize')));
    await page.settle();
    assert.equal(await page.page.evaluate(() => window.__sizeWrites), writes);
  });
});

// Emulates a hidden document: the flag and its event, and animation frames held back while hidden
// (as browsers do), including a frame asked for before the page was hidden.
function emulateVisibility() {
  const request = window.requestAnimationFrame;
  let hidden = false;
  let nextId = 1;
  const pending = new Map();
  const parked = [];
  window.requestAnimationFrame = (fn) => {
    const id = nextId;
    nextId += 1;
    pending.set(id, fn);
    request((t) => {
      if (!pending.has(id)) return;
      pending.delete(id);
      if (hidden) parked.push(fn);
      else fn(t);
    });
    return id;
  };
  window.cancelAnimationFrame = (id) => pending.delete(id);
  Object.defineProperty(document, 'hidden', { configurable: true, get: () => hidden });
  Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => (hidden ? 'hidden' : 'visible') });
  window.__frames = 0;
  const counted = window.requestAnimationFrame;
  window.requestAnimationFrame = (fn) => {
    window.__frames += 1;
    return counted(fn);
  };
  window.__setHidden = (value) => {
    hidden = value;
    document.dispatchEvent(new Event('visibilitychange'));
    if (!hidden) parked.splice(0).forEach((fn) => request(fn));
  };
}

test('while the page is hidden a 120 ms timer draws the plot, and frames take over again when it shows', async () => {
  await withConsole({ files: { 'plugin.js': PROBED_PLUGIN } }, async (page) => {
    await page.page.evaluate(emulateVisibility);
    await page.settle();
    // Watches until the page has drawn `draws` times and asked for `frames` frames (20 s at
    // most, for a loaded machine); what it counts says how the plot was driven meanwhile.
    const watch = (wanted) => page.page.evaluate((want) => new Promise((resolve) => {
      const from = window.__probe.draws.length;
      const frames = window.__frames;
      const started = performance.now();
      const look = () => {
        const draws = window.__probe.draws.slice(from);
        const enough = draws.length >= want.draws && window.__frames - frames >= want.frames;
        if (!enough && performance.now() - started < 20000) return setTimeout(look, 20);
        const gaps = draws.slice(1).map((d, i) => d.at - draws[i].at);
        return resolve({ draws: draws.length, frames: window.__frames - frames, minGap: Math.min(...gaps) });
      };
      look();
    }), wanted);

    await page.page.evaluate(() => window.__setHidden(true));
    const hidden = await watch({ draws: 5, frames: 0 });
    assert.ok(hidden.draws >= 5, `${hidden.draws} draws hidden`);
    assert.ok(hidden.minGap >= 100, `draws ${hidden.minGap} ms apart while hidden`);
    assert.equal(hidden.frames, 0, 'no frames asked for while hidden');

    await page.page.evaluate(() => window.__setHidden(false));
    const shown = await watch({ draws: 6, frames: 6 });
    assert.ok(shown.frames > 5, `${shown.frames} frames shown`);
    assert.ok(shown.draws > 5, `${shown.draws} draws shown`);
  });
});
