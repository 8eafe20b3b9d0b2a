'use strict';

// The plot's canvas under the window's zoom, in both engines: its backing store follows the
// painted size, and a pointer on it maps to layout pixels. The engines report the canvas's
// rectangle in different units (window pixels in Chromium, the zoomed layout's in WebKit).
const test = require('node:test');
const assert = require('node:assert/strict');
const { browserForTests } = require('./browser-harness.js');
const { webkitForTests } = require('./webkit-harness.js');
const { pluginWith } = require('./plugin-probe.js');

// The plot's place taken by its bare canvas, which reports where each press lands.
const POINTED_PLUGIN = pluginWith({
  eqPlot: `
  function eqPlot() {
    const surface = plate(() => {});
    surface.el.addEventListener('pointerdown', (e) => { root.__pressedAt = surface.local(e); });
    return { el: surface.el, start: surface.start, stop: surface.stop, selected: () => null, select() {} };
  }`,
});

const engines = {
  Chromium: {
    withConsole: browserForTests(test),
    run: (page, fn) => page.page.evaluate(fn),
    click: (page, selector) => page.page.click(selector),
  },
  WebKitGTK: {
    withConsole: webkitForTests(test),
    run: (page, fn) => page.run(fn),
    click: (page, selector) => page.click(selector),
  },
};

for (const [engine, { withConsole, run, click }] of Object.entries(engines)) {
  test(`${engine}: the canvas is backed at its painted size and a press maps to layout pixels at every scale`, async () => {
    for (const key of ['0.75', '1', '1.75']) {
      const options = { viewport: { width: 1600, height: 1000 }, storageSeed: { 'brindle.plugin.ui.v1': key }, files: { 'plugin.js': POINTED_PLUGIN } };
      await withConsole(options, async (page) => {
        const canvas = await run(page, () => {
          const c = document.querySelector('.plotwrap canvas');
          return { layoutW: c.clientWidth, layoutH: c.clientHeight, w: c.width, h: c.height };
        });
        const zoom = Number(key);
        assert.ok(Math.abs(canvas.w - canvas.layoutW * zoom) <= 1, `${key}: backing width ${canvas.w} for ${canvas.layoutW} layout px`);
        assert.ok(Math.abs(canvas.h - canvas.layoutH * zoom) <= 1, `${key}: backing height ${canvas.h} for ${canvas.layoutH} layout px`);
        await click(page, '.plotwrap canvas');
        const at = await run(page, () => window.__pressedAt);
        // The pointer lands on a whole window pixel next to the centre.
        const near = 1 / zoom + 0.5;
        assert.ok(Math.abs(at.x - canvas.layoutW / 2) <= near, `${key}: x ${at.x} for the centre of ${canvas.layoutW}`);
        assert.ok(Math.abs(at.y - canvas.layoutH / 2) <= near, `${key}: y ${at.y} for the centre of ${canvas.layoutH}`);
      });
    }
  });
}
