'use strict';

// The plain selects (the filter table's Side, the routing panel's engine row) in both engines,
// WebKitGTK above all, the engine the application shows its console in: they are painted as the
// page's own plain input, not as the platform's combo box, and stay usable by keys and pointer.
const test = require('node:test');
const assert = require('node:assert/strict');
const { browserForTests, seedDevices, seedRestore } = require('./browser-harness.js');
const { webkitForTests } = require('./webkit-harness.js');
const { readPng } = require('./png-picture.js');

// Each plain select in sight with the table's number input of its row (none in the engine row),
// where both are painted: a point inside the left padding, before any text, in the window's pixels.
function selects() {
  const paintedAt = (node) => {
    let zoom = 1;
    for (let n = node; n; n = n.parentElement) zoom *= Number(getComputedStyle(n).zoom) || 1;
    const r = node.getBoundingClientRect();
    return { x: (r.left + 5) * zoom, y: (r.top + r.height / 2) * zoom };
  };
  const inSight = (node) => {
    const at = paintedAt(node);
    return document.elementFromPoint(at.x, at.y) === node;
  };
  return [...document.querySelectorAll('[data-key$=":side"], select.inline')].filter(inSight).map((select) => {
    const number = select.closest('tr') && select.closest('tr').querySelector('input[type="number"]');
    const style = getComputedStyle(select);
    return {
      key: select.dataset.key,
      appearance: style.appearance,
      chevron: style.backgroundImage,
      height: select.offsetHeight,
      numberHeight: number ? number.offsetHeight : null,
      select: paintedAt(select),
      number: number ? paintedAt(number) : null,
    };
  });
}

const engines = {
  Chromium: {
    withConsole: browserForTests(test),
    run: (page, fn) => page.page.evaluate(fn),
    screenshot: (page) => page.page.screenshot(),
  },
  WebKitGTK: {
    withConsole: webkitForTests(test),
    run: (page, fn) => page.run(fn),
    screenshot: (page) => page.screenshot(),
  },
};

for (const [engine, { withConsole, run, screenshot }] of Object.entries(engines)) {
  test(`${engine}: a plain select is painted white as the number inputs are, as tall, with the console's chevron`, async () => {
    await withConsole({ viewport: { width: 1120, height: 860 } }, async (page) => {
      await page.hostSend('devices', seedDevices());
      await page.hostSend('restore', seedRestore());
      await page.click('[data-key="cell:filters"]');
      // The engine row's selects are read from the Routing panel, the Side selects from Filters.
      const found = [];
      let white = null;
      for (const cell of ['filters', 'routing']) {
        await page.click(`[data-key="cell:${cell}"]`);
        await page.settle();
        const picture = readPng(await screenshot(page));
        for (const s of (await run(page, selects)).filter((s) => (cell === 'filters') === s.key.endsWith(':side'))) {
          const fill = picture.at(s.select.x, s.select.y);
          // Beside a number input its fill is that input's, under the same grain; in the engine
          // row, the number inputs' white.
          if (s.number) white = picture.at(s.number.x, s.number.y);
          found.push({
            key: s.key, appearance: s.appearance, chevron: s.chevron,
            tall: s.numberHeight === null || s.height === s.numberHeight,
            fill: fill.every((v, i) => Math.abs(v - white[i]) <= 2) && fill.every((v) => v >= 240) ? 'white' : `rgb(${fill})`,
          });
        }
      }
      // The chevron the route rows draw for their own selects.
      const chevron = await run(page, () => getComputedStyle(document.querySelector('.routerow select:not(.inline)')).backgroundImage);
      assert.ok(found.filter((f) => f.key.endsWith(':side')).length >= 4 && found.length >= 8, `${found.length} selects in sight`);
      for (const s of found) assert.deepEqual(s, { key: s.key, appearance: 'none', chevron, tall: true, fill: 'white' }, s.key);
    });
  });
}

test('WebKitGTK: a plain select opens its list by real keys and by a real click, and the choice is sent', async () => {
  // The list is the engine's own pop-up: while it is open the page has no keyboard focus, and the
  // keys go to the list.
  const withWebKit = engines.WebKitGTK.withConsole;
  const listOpen = () => !document.hasFocus();
  await withWebKit({}, async (page) => {
    await page.hostSend('devices', seedDevices());
    await page.hostSend('restore', seedRestore());
    await page.click('[data-key="cell:filters"]');
    const sides = () => page.run(() => [...document.querySelectorAll('[data-key$=":side"]')].slice(0, 2).map((s) => s.value));
    assert.deepEqual(await sides(), ['stereo', 'stereo']);

    await page.run(() => document.querySelector('[data-key="row:b0:side"]').focus());
    await page.press('space', { toPage: false });
    await page.waitFor(listOpen);
    await page.press('Down', { toPage: false });
    await page.press('Return', { toPage: false });
    await page.waitFor(() => document.querySelector('[data-key="row:b0:side"]').value === 'left');

    await page.click('[data-key="row:b1:side"]');
    await page.waitFor(listOpen);
    for (const key of ['Down', 'Down', 'Return']) await page.press(key, { toPage: false });
    await page.waitFor(() => document.querySelector('[data-key="row:b1:side"]').value === 'right');
    await page.waitFor(() => document.hasFocus());

    assert.deepEqual(await sides(), ['left', 'right']);
    const sent = (await page.emits()).filter(([name]) => name === 'state').map(([, text]) => JSON.parse(text).bands.slice(0, 2).map((b) => b.stereo));
    assert.deepEqual(sent, [['left', 'stereo'], ['left', 'right']]);
  });
});
