'use strict';

// Rebuilds must not work against the user: host renders wait for a gesture to end, and focus
// survives a render. In a real browser, with the window's parts played by probes.
const test = require('node:test');
const assert = require('node:assert/strict');
const { seedDevices, seedLibrary, seedRestore, browserForTests } = require('./browser-harness.js');
const { PROBED_PLUGIN } = require('./plugin-probe.js');

const withConsole = browserForTests(test);
const probed = (options = {}) => ({ ...options, files: { 'plugin.js': PROBED_PLUGIN } });

const renders = (page) => page.page.evaluate(() => window.__probe.renders);
const libraryNames = (page) => page.page.evaluate(() => window.__probe.read().libraryNames);

async function pressOn(page, selector) {
  const box = await page.page.locator(selector).boundingBox();
  const point = { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  await page.page.mouse.move(point.x, point.y);
  await page.page.mouse.down();
  return point;
}

// Each way a pointer gesture ends. `end` runs with the pointer pressed on `on`; `after` (when
// given) lifts the pointer once the render has been checked.
const POINTER_ENDS = [
  { name: 'lifted on the bypass button', on: '#bypassBtn', end: (page) => page.page.mouse.up() },
  { name: 'lifted on the plot', on: '.plotwrap canvas', end: (page) => page.page.mouse.up() },
  {
    name: 'cancelled', on: '.plotwrap canvas',
    end: (page) => page.page.evaluate(() => document.querySelector('canvas').dispatchEvent(new PointerEvent('pointercancel', { pointerId: 1, bubbles: true }))),
    after: (page) => page.page.mouse.up(),
  },
  {
    name: 'its capture lost', on: '.plotwrap canvas',
    before: (page) => page.page.evaluate(() => document.querySelector('canvas').addEventListener('pointerdown', (e) => e.target.setPointerCapture(e.pointerId), { once: true })),
    end: async (page, point) => {
      // The capture takes hold at the next pointer event.
      await page.page.mouse.move(point.x + 4, point.y + 4);
      assert.equal(await page.page.evaluate(() => document.querySelector('canvas').hasPointerCapture(1)), true);
      await page.page.evaluate(() => document.querySelector('canvas').releasePointerCapture(1));
      // And is lost at the next one.
      await page.page.mouse.move(point.x + 8, point.y + 8);
    },
    after: (page) => page.page.mouse.up(),
  },
  {
    name: 'the window losing focus', on: '.plotwrap canvas',
    end: (page) => page.page.evaluate(() => window.dispatchEvent(new Event('blur'))),
    after: (page) => page.page.mouse.up(),
  },
  {
    name: 'a move with no button down (a release the page missed)', on: '#bypassBtn',
    end: (page) => page.page.evaluate(() => window.dispatchEvent(new PointerEvent('pointermove', { pointerId: 1, buttons: 0 }))),
    after: (page) => page.page.mouse.up(),
  },
];

test('a host render waits while a pointer is pressed in the window, and runs once when the gesture ends', async () => {
  for (const { name, on, before, end, after } of POINTER_ENDS) {
    await withConsole(probed(), async (page) => {
      if (before) await before(page);
      const start = await renders(page);
      const point = await pressOn(page, on);
      await page.hostSend('devices', seedDevices());
      await page.hostSend('library', seedLibrary(['Den']));
      await page.settle();
      assert.deepEqual(await libraryNames(page), ['Den'], `${name}: the state changes at once`);
      assert.equal(await renders(page), start, `${name}: no render while pressed`);
      await end(page, point);
      await page.settle();
      assert.equal(await renders(page), start + 1, `${name}: one render for both messages`);
      if (after) await after(page);
      await page.settle();
      assert.equal(await renders(page), start + 1, `${name}: nothing more once the pointer is up`);
    });
  }
});

test('the render after a press comes after its click, which reaches the control it was aimed at', async () => {
  await withConsole(probed(), async (page) => {
    await page.page.evaluate(() => {
      const canvas = document.querySelector('canvas');
      canvas.addEventListener('click', () => { window.__clickedAttached = canvas.isConnected; });
    });
    await pressOn(page, '.plotwrap canvas');
    await page.hostSend('devices', seedDevices());
    await page.page.mouse.up();
    await page.settle();
    assert.equal(await page.page.evaluate(() => window.__clickedAttached), true);
    assert.equal(await page.page.evaluate(() => window.__probe.renders), 2, 'and then the render ran');
  });
  // The bypass button under a held render: its click goes out as usual.
  await withConsole(probed(), async (page) => {
    await pressOn(page, '#bypassBtn');
    await page.hostSend('devices', seedDevices());
    await page.page.mouse.up();
    await page.settle();
    const emits = await page.emits();
    assert.deepEqual(emits.map(([n]) => n), ['ready', 'state']);
    assert.equal(await page.page.getAttribute('#bypassBtn', 'aria-pressed'), 'true');
  });
});

test('"restore" renders at once during a gesture, and a pointer pressed outside the window holds nothing', async () => {
  await withConsole(probed(), async (page) => {
    await pressOn(page, '.plotwrap canvas');
    await page.hostSend('restore', seedRestore());
    assert.equal(await renders(page), 2, 'restore renders at once');
    assert.equal(await page.page.textContent('.curvehead h1'), 'Living room');
    await page.hostSend('devices', seedDevices());
    assert.equal(await renders(page), 2, 'the gesture still holds the devices render');
    await page.page.mouse.up();
    await page.settle();
    assert.equal(await renders(page), 3);
  });
  await withConsole(probed(), async (page) => {
    // The document's root, outside app and the top bar.
    await page.page.evaluate(() => {
      document.documentElement.dispatchEvent(new PointerEvent('pointerdown', { pointerId: 7, bubbles: true }));
    });
    await page.hostSend('devices', seedDevices());
    assert.equal(await renders(page), 2);
  });
});

test('a host render waits while a typed field holds text not committed', async () => {
  // [what is typed, how the text ends: committed by Enter (a change), put back by Escape, or the
  // field left with a change or with the text as it was (no change event, only the leaving)]
  const cases = [['7', 'Enter', '657'], ['7', 'Escape', '657'], ['7', 'Tab', '657'], ['7\b', 'Tab', '65']];
  for (const [typed, key, shown] of cases) {
    const label = `${JSON.stringify(typed)} then ${key}`;
    await withConsole(probed(), async (page) => {
      await page.page.click('[data-key="field:pct"]');
      await page.page.keyboard.press('End');
      for (const ch of typed) await page.page.keyboard.press(ch === '\b' ? 'Backspace' : ch);
      await page.hostSend('library', seedLibrary(['Den']));
      await page.settle();
      assert.deepEqual(await libraryNames(page), ['Den']);
      assert.equal(await renders(page), 1, `${label}: no render while the text is open`);
      assert.equal(await page.page.inputValue('[data-key="field:pct"]'), shown, `${label}: the text is kept`);
      await page.page.keyboard.press(key);
      await page.settle();
      assert.equal(await renders(page), 2, `${label}: one render after it`);
    });
  }
  // Focus alone, with nothing typed, holds nothing.
  await withConsole(probed(), async (page) => {
    await page.page.click('[data-key="field:pct"]');
    await page.hostSend('library', seedLibrary(['Den']));
    assert.equal(await renders(page), 2);
  });
});

test('a render that removes a held control ends its hold', async () => {
  // A field holding text, and a part holding renders for a gesture on its own control.
  const holders = [
    async (page) => {
      await page.page.click('[data-key="field:pct"]');
      await page.page.keyboard.type('1');
    },
    (page) => page.page.evaluate(() => window.__probe.holdOn('knob:freq')),
  ];
  for (const hold of holders) {
    await withConsole(probed(), async (page) => {
      await hold(page);
      await page.hostSend('library', seedLibrary(['Den']));
      assert.equal(await renders(page), 1, 'held');
      await page.hostSend('restore', seedRestore());
      assert.equal(await renders(page), 2);
      await page.hostSend('library', seedLibrary(['Den']));
      assert.equal(await renders(page), 3, 'the new controls hold nothing');
    });
  }
});

test('focus moves to the rebuilt control with the same key', async () => {
  // [the focused control (a data-key, or an id outside the window), where focus is after a render]
  const cases = [
    ['cell:delay', 'cell:delay'],
    ['knob:freq', 'knob:freq'],
    ['own:control', 'own:control'],
    ['rail:load', 'rail:load'],
    ['#bypassBtn', '#bypassBtn'],
    // A control without a key cannot be found again.
    ['.strip button:not([data-key])', 'BODY'],
  ];
  const where = (page) => page.page.evaluate(() => {
    const a = document.activeElement;
    return { key: a.dataset.key || (a.id ? `#${a.id}` : a.tagName), fresh: !a.__old, visible: a.matches(':focus-visible') };
  });
  for (const message of [['devices', seedDevices()], ['restore', seedRestore()]]) {
    await withConsole(probed(), async (page) => {
      for (const [from, to] of cases) {
        await page.page.evaluate((at) => {
          for (const node of document.querySelectorAll('#app *')) node.__old = true;
          const node = document.querySelector(at.startsWith('#') || at.includes('[') ? at : `[data-key="${at}"]`);
          node.focus();
        }, from);
        await page.page.keyboard.press('ArrowRight');
        await page.hostSend(...message);
        const got = await where(page);
        const label = `${message[0]} with focus on ${from}`;
        assert.equal(got.key, to, label);
        if (!to.startsWith('#') && to !== 'BODY') {
          assert.equal(got.fresh, true, `${label}: a new control`);
          assert.equal(got.visible, true, `${label}: still showing keyboard focus`);
        }
      }
    });
  }
});
