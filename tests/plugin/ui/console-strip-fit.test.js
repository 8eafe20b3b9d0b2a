'use strict';

// The settings strip's cells in the fonts this platform renders (the web font never loads here),
// in both engines: at the design size no cell cuts its name or value in any state the end-to-end
// run passes through, and no cell moves as the values change; in a narrower window a cut cell
// still gives its whole name and value to the pointer and to assistive technology.
const test = require('node:test');
const assert = require('node:assert/strict');
const Profile = require('../../../ui/js/profile.js');
const demoProfile = require('../../../plugin/ui/demo-profile.js');
const { STUDY, LIVING_ROOM } = require('../../e2e/rooms.js');
const { browserForTests, seedDevices } = require('./browser-harness.js');
const { webkitForTests } = require('./webkit-harness.js');

const DEMO = JSON.parse(Profile.toJson(Profile.stateForProfile(Profile.readProfile(demoProfile).profile)));
const STREAM_DOWN = seedDevices({ status: { running: false } });
const STREAM_UP = seedDevices({ status: { latencyMs: 13.2 } });

// [state, report]: the end-to-end run's rooms and steps, and the widest figures a state can hold.
const STATES = [
  ['no room, no stream', Profile.defaultState(), STREAM_DOWN],
  ['the demo room, not routed', DEMO, STREAM_DOWN],
  ['the demo room, correcting', DEMO, STREAM_UP],
  ['the demo room in linear phase', { ...DEMO, phaseMode: 'linear' }, STREAM_UP],
  ['the demo room bypassed', { ...DEMO, bypass: true }, STREAM_UP],
  ['the seeded study in linear phase', { ...STUDY, phaseMode: 'linear' }, STREAM_UP],
  ['the library room', LIVING_ROOM, STREAM_UP],
  ['the widest figures', { ...DEMO, delayLeftMs: 20, delayRightMs: 12.5, outputDb: -24, phaseMode: 'linear', firQuality: 'high' }, STREAM_UP],
];

// Each cell: its width, whether its name or value is cut, and what it gives the pointer and
// assistive technology.
function cells() {
  return [...document.querySelectorAll('.scell')].map((cell) => {
    // Text a fraction of a pixel wider than its box already ends in an ellipsis, which the
    // whole-pixel scroll width does not show: the text's own width is measured too.
    const cut = (node) => {
      const text = document.createRange();
      text.selectNodeContents(node);
      return node.scrollWidth > node.clientWidth || text.getBoundingClientRect().width > node.getBoundingClientRect().width + 0.01;
    };
    const u = cell.querySelector('v u');
    return {
      key: cell.dataset.key,
      width: cell.offsetWidth,
      whole: `${cell.querySelector('k').textContent}: ${cell.querySelector('v b').textContent}${u.hidden ? '' : ` ${u.textContent}`}`,
      cut: [cut(cell.querySelector('k')) && 'name', cut(cell.querySelector('v b')) && 'value'].filter(Boolean),
      title: cell.title,
      label: cell.getAttribute('aria-label'),
    };
  });
}

// Where the travelling rule stands against the open cell, in layout pixels.
function rule() {
  const on = document.querySelector('.scell.on');
  const bar = document.querySelector('.stripbar');
  return on && bar.getAnimations().length === 0 ? [bar.offsetLeft + new DOMMatrix(getComputedStyle(bar).transform).m41 - on.offsetLeft, bar.offsetWidth - on.offsetWidth] : null;
}

const engines = {
  Chromium: {
    withConsole: browserForTests(test),
    run: (page, fn) => page.page.evaluate(fn),
    resize: (page, size) => page.page.setViewportSize(size),
    waitFor: (page, fn) => page.page.waitForFunction(fn),
  },
  WebKitGTK: {
    withConsole: webkitForTests(test),
    run: (page, fn) => page.run(fn),
    resize: (page, size) => page.setViewport(size),
    waitFor: (page, fn) => page.waitFor(fn),
  },
};

async function show(page, [, state, report]) {
  await page.hostSend('devices', report);
  await page.hostSend('restore', JSON.stringify(state));
  await page.settle();
}

for (const [engine, { withConsole, run, resize, waitFor }] of Object.entries(engines)) {
  test(`${engine}: at 1120 × 860 no cell cuts its name or value, and none moves, in any state of the end-to-end run`, async () => {
    await withConsole({ viewport: { width: 1120, height: 860 } }, async (page) => {
      let widths = null;
      for (const entry of STATES) {
        await show(page, entry);
        const got = await run(page, cells);
        assert.deepEqual(got.filter((c) => c.cut.length).map((c) => `${c.whole} (${c.cut.join(', ')})`), [], entry[0]);
        widths = widths || got.map((c) => c.width);
        assert.deepEqual(got.map((c) => c.width), widths, `${entry[0]}: the cells keep their widths`);
      }
    });
  });

  test(`${engine}: at 620 px a cut cell names its whole value to the pointer and to assistive technology, and the rule follows a resize`, async () => {
    await withConsole({ viewport: { width: 620, height: 860 } }, async (page) => {
      const cut = new Set();
      for (const entry of STATES) {
        await show(page, entry);
        for (const cell of await run(page, cells)) {
          if (cell.cut.length) cut.add(cell.key);
          assert.deepEqual([cell.title, cell.label], [cell.whole, cell.whole], `${entry[0]}: ${cell.key}`);
        }
      }
      assert.ok(cut.has('cell:timing') && cut.has('cell:routing'), `the narrow strip cuts the longest texts (${[...cut]})`);
      for (const size of [{ width: 1120, height: 860 }, { width: 620, height: 860 }]) {
        await resize(page, size);
        await page.settle();
        await waitFor(page, rule);
        assert.deepEqual(await run(page, rule), [0, 0], `at ${size.width} px the rule stands under the open cell`);
      }
    });
  });
}
