'use strict';

// The host's "devices", "meter" and "library" messages, the beacon decision of a render and the
// Enter key, in a real browser with the window's parts played by probes.
const test = require('node:test');
const assert = require('node:assert/strict');
const { seedDevices, seedMeter, seedLibrary, seedRestore, browserForTests } = require('./browser-harness.js');
const { PROBED_PLUGIN } = require('./plugin-probe.js');
const C = require('../../../plugin/ui/plugin.js');

const withConsole = browserForTests(test);
const probed = (options = {}) => ({ ...options, files: { 'plugin.js': PROBED_PLUGIN } });

const probe = (page) => page.page.evaluate(() => ({
  ...window.__probe.read(), renders: window.__probe.renders, hooks: window.__probe.hooks,
}));

// Marks the window's root, so that a render (which replaces it) shows.
const markWindow = (page) => page.page.evaluate(() => { document.querySelector('.win').__mark = true; });
const windowKept = (page) => page.page.evaluate(() => document.querySelector('.win').__mark === true);

test('"devices", "meter" and "library" update the module state; the first and the last render, "meter" only runs its hooks', async () => {
  const d1 = seedDevices();
  const d2 = seedDevices({ selected: { ...d1.selected, outputDevice: 'Headphones' }, status: { running: false } });
  const chosen = { ...C.copyRoute(d2.selected), sampleRate: 96000 };
  const d3 = seedDevices({ selected: { ...d2.selected, bufferSize: 512 }, status: { dropouts: 4 } });
  const d4 = seedDevices({ selected: { ...d1.selected, inputDevice: 'Built-in Microphone' } });
  const m1 = seedMeter({ dropouts: 2 });
  // Each step: what arrives, then what the state holds (only the fields named) and whether it rendered.
  const steps = [
    [null, { devices: null, pendingRoute: null, meter: null, libraryNames: [] }],
    [['devices', d1], { devices: d1, pendingRoute: C.copyRoute(d1.selected), meter: d1.status }, true],
    [['meter', m1], { meter: m1, devices: d1 }, false],
    [['meter', 'running'], { meter: null }, false],
    [['meter', [m1]], { meter: null }, false],
    // The pending route was the running one, so it follows the new report.
    [['devices', d2], { devices: d2, pendingRoute: C.copyRoute(d2.selected), meter: d2.status }, true],
    // The routing panel chose a route not applied yet: later reports leave it alone.
    ['choose', { pendingRoute: chosen }],
    [['devices', d3], { devices: d3, pendingRoute: chosen, meter: d3.status }, true],
    [['devices', [d3]], { devices: null, pendingRoute: chosen, meter: d3.status }, true],
    // With no report nothing is running to differ from: the next report seeds the route again.
    [['devices', { ...d4, status: 'running' }], { devices: { ...d4, status: 'running' }, pendingRoute: C.copyRoute(d4.selected), meter: d3.status }, true],
    [['devices', 'nonsense'], { devices: null }, true],
    [['library', seedLibrary()], { libraryNames: ['Den', 'Living room'] }, true],
    [['library', { names: 'Den' }], { libraryNames: [] }, true],
    [['library', seedLibrary(['Den'])], { libraryNames: ['Den'] }, true],
    [['library', null], { libraryNames: [] }, true],
  ];
  await withConsole(probed(), async (page) => {
    for (const [message, want, renders] of steps) {
      const before = await probe(page);
      await markWindow(page);
      if (message === 'choose') await page.page.evaluate((route) => window.__probe.setPending(route), want.pendingRoute);
      else if (message) await page.hostSend(...message);
      await page.settle();
      const after = await probe(page);
      const label = message === 'choose' ? 'choose' : JSON.stringify(message);
      for (const [key, value] of Object.entries(want)) assert.deepEqual(after[key], value, `${label}: ${key}`);
      if (!message || message === 'choose') continue;
      assert.equal(after.renders - before.renders, renders ? 1 : 0, `${label}: renders`);
      assert.equal(await windowKept(page), !renders, `${label}: the window was ${renders ? '' : 'not '}rebuilt`);
      assert.equal(after.hooks - before.hooks, message[0] === 'meter' ? 1 : 0, `${label}: meter hooks`);
    }
    assert.deepEqual(await page.emits(), [['ready', {}]], 'none of these sends anything back');
  });
});

test('a meter hook that throws does not keep the others from running', async () => {
  await withConsole(probed(), async (page) => {
    await page.page.evaluate(() => { window.__probe.throwingHook = true; });
    await page.hostSend('library', seedLibrary());
    await page.hostSend('meter', seedMeter());
    assert.equal((await probe(page)).hooks, 1);
  });
});

test('a render lights the rail\'s load button only with no room while audio runs, or in the preview', async () => {
  const running = seedDevices();
  const stopped = seedDevices({ status: { running: false } });
  const cases = [
    { name: 'preview, no room', options: { bridge: false, query: '' }, lit: true },
    { name: 'bridge without the host query, no room', options: { query: '' }, lit: true },
    { name: 'host, no report yet', options: {}, lit: false },
    { name: 'host, audio running', options: {}, send: [['devices', running]], lit: true },
    { name: 'host, audio stopped', options: {}, send: [['devices', stopped]], lit: false },
    // The status is read at a render: a running meter shows at the next one.
    { name: 'host, stopped then a running meter', options: {}, send: [['devices', stopped], ['meter', seedMeter()]], lit: false },
    { name: 'host, then a library render', options: {}, send: [['devices', stopped], ['meter', seedMeter()], ['library', seedLibrary()]], lit: true },
    { name: 'host, a room loaded', options: {}, send: [['devices', running], ['restore', seedRestore()]], lit: false },
  ];
  for (const { name, options, send = [], lit } of cases) {
    await withConsole(probed(options), async (page) => {
      for (const message of send) await page.hostSend(...message);
      const got = await page.page.evaluate(() => [...document.querySelectorAll('.lit')].map((n) => n.querySelector('button').dataset.key));
      assert.deepEqual(got, lit ? ['rail:load'] : [], name);
    });
  }
});

test('Enter presses the lit button, unless focus is on a control of its own or the button is disabled', async () => {
  // [where focus is (a data-key, an id, or null for the page's body), presses of the lit button]
  const cases = [
    [null, 1],
    ['#bypassBtn', 0],
    ['#loadBtn', 0],
    ['field:pct', 0],
    ['knob:freq', 0],
    ['own:control', 0],
    ['cell:amount', 0],
  ];
  await withConsole(probed({ bridge: false, query: '' }), async (page) => {
    // The file picker of the load button would stop the page; only the presses are counted.
    await page.page.evaluate(() => { document.getElementById('fileInput').click = () => {}; });
    for (const [where, presses] of cases) {
      const before = await page.page.evaluate(() => window.__probe.loads);
      const onBody = await page.page.evaluate((at) => {
        if (document.activeElement) document.activeElement.blur();
        if (at) document.querySelector(at.startsWith('#') ? at : `[data-key="${at}"]`).focus();
        window.__prevented = null;
        window.addEventListener('keydown', (e) => { window.__prevented = e.defaultPrevented; }, { once: true });
        return document.activeElement === document.body;
      }, where);
      assert.equal(onBody, where === null, `focus placed for ${where}`);
      await page.page.keyboard.press('Enter');
      const after = await page.page.evaluate(() => [window.__probe.loads, window.__prevented]);
      assert.equal(after[0] - before, presses, `Enter with focus on ${where}`);
      if (where === null) assert.equal(after[1], true, 'the key\'s default is prevented');
      await page.invariants();
    }
  });
  // Lit but disabled: nothing happens, and nothing fails.
  await withConsole(probed(), async (page) => {
    await page.page.evaluate(() => { window.__probe.disableLoad = true; });
    await page.hostSend('devices', seedDevices());
    assert.equal(await page.page.locator('.lit button[disabled]').count(), 1);
    await page.page.evaluate(() => {
      window.addEventListener('keydown', (e) => { window.__prevented = e.defaultPrevented; }, { once: true });
    });
    await page.page.keyboard.press('Enter');
    assert.deepEqual(await page.page.evaluate(() => [window.__probe.loads, window.__prevented]), [0, false]);
  });
});

test('with nothing lit, Enter does nothing and sends nothing', async () => {
  // A room loaded and audio running as routed: nothing is the next action.
  await withConsole({}, async (page) => {
    await page.hostSend('restore', seedRestore());
    await page.hostSend('devices', seedDevices());
    assert.equal(await page.page.locator('.lit').count(), 0);
    await page.page.keyboard.press('Enter');
    await page.settle();
    assert.deepEqual(await page.emits(), [['ready', {}]]);
  });
});
