'use strict';

// The console window as one whole, in a real browser with the fake host: with any panel open the
// parts keep their places (the stage scrolls when they need more than the window, the plot keeps
// its minimum and nothing runs over it), and in every state the window keeps its own rules: one
// key per focusable control, no key twice, at most one control lit.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const Profile = require('../../../ui/js/profile.js');
const demoProfile = require('../../../plugin/ui/demo-profile.js');
const { ROOT, browserForTests, layoutState, seedDevices, seedLibrary } = require('./browser-harness.js');

const withConsole = browserForTests(test);

const key = (k) => `[data-key="${k}"]`;
const band = (freqHz, gainDb, q) => ({ freqHz, gainDb, q, type: 'bell', stereo: 'stereo', on: true });

const DEMO = Profile.toJson(Profile.stateForProfile(Profile.readProfile(demoProfile).profile));
const MANY = Profile.toJson(Profile.stateForProfile({
  name: 'Many filters', suggestedPct: 65, bands: Array.from({ length: 24 }, (_, i) => band(30 * 1.25 ** i, -3, 2)),
}));
const ROUTE = seedDevices().selected;
const STREAM_UP = seedDevices();
// No loopback source and nothing chosen: the routing panel's tallest form, with the setup card.
const NO_SOURCE = seedDevices({ loopbackInputs: [], selected: { ...ROUTE, inputDevice: '' }, status: { running: false } });
// A cable the host did not recognise: every input listed, a hint under the row and the way out.
const UNKNOWN_CABLE = seedDevices({ selected: { ...ROUTE, inputDevice: 'Built-in Microphone' }, status: { running: false } });

// Brings the window into one state: a report, the host's library, a room, a band selected from
// the filter table, then the panel open, any further clicks and a choice in a select.
async function showState(page, { devices, library, restore, band: bandId, cell, clicks = [], choose }) {
  if (devices) await page.hostSend('devices', devices);
  if (library) await page.hostSend('library', seedLibrary(library));
  if (restore) await page.hostSend('restore', restore);
  if (bandId) {
    await page.page.click(key('cell:filters'));
    await page.page.click(`${key(`row:${bandId}`)} td.who`);
  }
  if (cell) await page.page.click(key(`cell:${cell}`));
  for (const click of clicks) await page.page.click(key(click));
  if (choose) await page.page.selectOption(key(choose[0]), choose[1]);
  await page.page.mouse.move(0, 0);
  await page.settle();
}

const PANELS = [
  { name: 'routing with the setup card', devices: NO_SOURCE, restore: Profile.toJson(Profile.defaultState()), cell: 'routing' },
  { name: 'routing with every input', devices: UNKNOWN_CABLE, restore: DEMO, band: 'b3', cell: 'routing' },
  { name: 'amount', devices: STREAM_UP, restore: DEMO, band: 'b3', cell: 'amount' },
  { name: 'phase, linear', devices: STREAM_UP, restore: DEMO, band: 'b3', cell: 'phase', clicks: ['seg:phase:linear'] },
  { name: 'speaker timing', devices: STREAM_UP, restore: DEMO, band: 'b3', cell: 'timing' },
  { name: 'output', devices: STREAM_UP, restore: DEMO, band: 'b3', cell: 'output' },
  { name: '24 filters', devices: STREAM_UP, restore: MANY, band: 'b23', cell: 'filters' },
  { name: 'insert', devices: STREAM_UP, restore: DEMO, band: 'b3', cell: 'insert' },
];

test('with any panel open nothing runs over the plot, which keeps its minimum while the stage scrolls to the panel\'s end', async () => {
  const shots = path.join(ROOT, 'build', 'page-screenshots');
  fs.mkdirSync(shots, { recursive: true });
  let scrolled = 0;
  for (const viewport of [{ width: 1120, height: 860 }, { width: 1120, height: 700 }, { width: 620, height: 860 }]) {
    await withConsole({ viewport, reducedMotion: 'reduce' }, async (page) => {
      for (const panel of PANELS) {
        await showState(page, panel);
        const where = `${panel.name} at ${viewport.width}×${viewport.height}`;
        const got = await page.page.evaluate(layoutState);
        assert.deepEqual(got.overlapping, [], `${where}: nothing runs over the plot`);
        assert.ok(got.canvas >= got.canvasMin - 0.5, `${where}: the plot is ${got.canvas} px, its minimum ${got.canvasMin}`);
        // The well gives up its height before anything scrolls.
        if (got.stageScrolls) assert.ok(got.canvas <= got.canvasMin + 1, `${where}: the stage scrolls while the plot is ${got.canvas} px`);
        assert.equal(got.panelShown, true, `${where}: scrolling the stage shows the panel to its last control`);
        assert.equal(got.documentScroll, 0, `${where}: the document itself never scrolls`);
        if (got.stageScrolls) scrolled += 1;
        if (viewport.width === 620 || viewport.height === 700) {
          const name = panel.name.replace(/[^a-z0-9]+/gi, '-').toLowerCase();
          await page.page.screenshot({ path: path.join(shots, `window-${viewport.width}x${viewport.height}-${name}.png`) });
        }
      }
    });
  }
  // The tall panels do need the scroll at these sizes, or the test would not test it.
  assert.ok(scrolled >= 3, `the stage scrolled in ${scrolled} of the cases`);
});

test('at a fixed scale a taller window only gives the well more height; a long room list scrolls in the rail', async () => {
  const heights = (page) => page.page.evaluate(() => {
    const h = (s) => Math.round(document.querySelector(s).getBoundingClientRect().height);
    const rail = document.querySelector('.conrail');
    const stage = document.getElementById('stage');
    return {
      well: h('.curvewrap'), bar: h('.bandbar'), strip: h('.strip'), panel: h('.cellpanel'),
      railScrolls: rail.scrollHeight > rail.clientHeight, stageScrolls: stage.scrollHeight > stage.clientHeight,
    };
  });
  await withConsole({ storageSeed: { 'brindle.plugin.ui.v1': '1' } }, async (page) => {
    await showState(page, { devices: STREAM_UP, restore: DEMO, band: 'b3', cell: 'amount' });
    const short = await heights(page);
    await page.page.setViewportSize({ width: 1120, height: 960 });
    const tall = await heights(page);
    assert.deepEqual({ ...tall, well: tall.well - 100 }, short);
    assert.deepEqual([short.railScrolls, short.stageScrolls], [false, false]);
    const names = Array.from({ length: 40 }, (_, i) => `Room ${i + 1}`);
    await page.hostSend('library', seedLibrary(names));
    await page.settle();
    assert.deepEqual(await heights(page), { ...tall, railScrolls: true }, 'forty rooms leave the sheet as it was');
  });
});

// In the page: the window's keys, the focusable controls that have none, and what is lit.
function keysAndLights() {
  const keys = [...document.querySelectorAll('[data-key]')].map((n) => n.getAttribute('data-key'));
  const focusable = 'button:not(:disabled), input:not(:disabled), select:not(:disabled), textarea:not(:disabled), a[href], [tabindex]:not([tabindex="-1"])';
  return {
    keys,
    twice: [...new Set(keys.filter((k, i) => keys.indexOf(k) !== i))],
    keyless: [...document.querySelectorAll(`#app :is(${focusable})`)].filter((n) => !n.hasAttribute('data-key'))
      .map((n) => `${n.tagName.toLowerCase()} ${n.textContent.trim().slice(0, 30)}`),
    lit: document.querySelectorAll('.lit').length,
  };
}

test('in every state each focusable control has a key, no key is used twice, and at most one control is lit', async () => {
  const STREAM_DOWN = seedDevices({ status: { running: false } });
  const stored = { 'brindle.profiles.v1': JSON.stringify({ Attic: demoProfile, Den: demoProfile }) };
  // [where, console options, the state, keys that must be among the window's]
  const cases = [
    ['the empty console before a report', {}, {}, ['rail:load', 'rail:demo', 'cell:routing', 'panel:hide']],
    ['the setup card', {}, { devices: NO_SOURCE }, ['setup:get', 'setup:settings', 'route:inputDevice', 'route:every-input', 'route:apply']],
    ['the Routing cell lit over Amount', {}, { devices: STREAM_DOWN, restore: DEMO, cell: 'amount' }, ['cell:routing', 'slider:amount', 'check:headroom']],
    ...PANELS.slice(1).map((panel) => [panel.name, {}, panel, []]),
    ['a band selected', {}, { devices: STREAM_UP, restore: DEMO, band: 'b3' }, ['knob:freq', 'field:gain', 'band:b3:on', 'band:close', 'row:b3', 'row:b3:side']],
    ['rooms from the host and the browser, one name twice', { storageSeed: stored }, {
      devices: STREAM_UP, library: ['Den', 'Attic', 'Den'], restore: DEMO, band: 'b3',
    }, ['room:current', 'room:library:Den', 'room:library:Attic', 'room:browser:Den', 'rail:reset', 'rail:unload']],
    // Two candidates for the light: the rail's load button (no room, audio running) and the
    // routing panel's action (a route not yet applied).
    ['no room and a route not applied', {}, { devices: STREAM_UP, cell: 'routing', choose: ['route:bufferSize', '512'] }, ['rail:load', 'route:apply']],
    ['the preview playing noise', { bridge: false, query: '' }, { cell: 'output', clicks: ['noise:pink'] }, ['noise:pink', 'noise:brown', 'noise:stop', 'seg:ui:fit']],
  ];
  for (const [where, options, shown, expected] of cases) {
    await withConsole(options, async (page) => {
      await showState(page, shown);
      const got = await page.page.evaluate(keysAndLights);
      assert.deepEqual(got.twice, [], `${where}: keys used twice`);
      assert.deepEqual(got.keyless, [], `${where}: focusable controls without a key`);
      assert.ok(got.lit <= 1, `${where}: ${got.lit} controls lit`);
      for (const k of expected) assert.ok(got.keys.includes(k), `${where}: ${k} is among the keys`);
    });
  }
});
