'use strict';

// The console page's handshake with the host and its state flow, in a real browser.
const test = require('node:test');
const assert = require('node:assert/strict');
const { seedRestore, browserForTests } = require('./browser-harness.js');
const flows = require('./console-smoke-flows.js');

const withConsole = browserForTests(test);
const { chrome } = flows;

test('under the host the page listens to its four events in order and says only "ready"', () => flows.handshake(withConsole));

test('the fake origin serves the bundle by flat names and nothing else', async () => {
  await withConsole({}, async (page) => {
    const status = (name) => page.page.evaluate((n) => fetch(n).then((r) => r.status), name);
    assert.equal(await status('plugin.js?v=1'), 200);
    assert.equal(await status(''), 200);
    assert.equal(await status('ui/js/profile.js'), 404);
    assert.equal(await status('missing.js'), 404);
    assert.ok(page.aborted.some((url) => url.includes('fonts.googleapis.com')), 'the font sheet is aborted');
  });
});

test('the window is built in its order of parts', async () => {
  // A cell keeps its widest values and units in unseen lines (`fit`).
  const cell = (className, values = 1, units = 1) => [className, [
    ['k', []], ['v', [['b', []], ['u', []], ['i', []]]], ['fit', [...Array(values).fill(['b', [['i', []]]]), ...Array(units).fill(['u', []])]],
  ]];
  await withConsole({}, async (page) => {
    const tree = await page.page.evaluate(() => {
      const shape = (node) => [node.className || node.tagName.toLowerCase(), [...node.children].map(shape)];
      return shape(document.getElementById('app').firstElementChild);
    });
    assert.deepEqual(tree, ['win', [['conbody', [
      ['conrail', [
        ['conrailhead', [['add', []]]], ['beacon block', [['primary', []]]], ['row', [['linkish', []], ['linkish', []]]],
        ['conrailfoot', []], ['conrailrule', []], ['conrailfoot', [['br', []]]], ['conrailacts', [['linkish', []], ['linkish', []]]],
      ]],
      ['conmain', [
        ['curvewrap', [['curvehead', [['h1', []], ['curvemeta', [['plotread', [['u', []]]]]]]], ['plotwrap', [['canvas', []]]]]],
        ['bandbar empty', [['bb-hint', []]]],
        ['settings', [
          ['strip', [
            cell('scell', 2, 1), cell('scell', 2, 2), ...Array(3).fill(cell('scell')), cell('scell on warn', 2, 2), cell('scell', 1, 0),
            ['stripbar', []],
          ]],
          ['cellpanel', [['cellpanelbar', [['cellpanelhead', []], ['panelhide', []]]], ['routing', [['pctnote', []]]]]],
        ]],
      ]],
    ]]]]);
    const tip = await page.page.getAttribute('.curvewrap', 'title');
    assert.match(tip, /^Click a filter to edit it · drag a dot to move it · Shift for gain only/);
  });
});

test('a restore renders the room and sends nothing back; one that does not parse gives the default state', async () => {
  await withConsole({}, async (page) => {
    await flows.restoreShowsTheRoom(page);
    await page.hostSend('restore', '{not json');
    const c = await chrome(page);
    assert.equal(c.name, 'No room loaded');
    assert.equal(c.h1, 'Untitled room');
    await page.settle();
    assert.deepEqual(await page.emits(), [['ready', {}]]);
  });
});

test('Bypass sends one state and repaints the top bar, the tint and the read-out', () => flows.bypass(withConsole));

test('a repaint that throws does not stop the state or the other repaints', async () => {
  await withConsole({}, async (page) => {
    await page.hostSend('restore', seedRestore({ bypass: true }));
    await page.page.evaluate(() => {
      window.BrindleProfile.peakMoveDb = () => { throw new Error('figure failed'); };
    });
    await page.page.click('#bypassBtn');
    const emits = await page.emits();
    assert.equal(emits.length, 2);
    assert.match(emits[1][1], /"bypass":false/);
    const c = await chrome(page);
    assert.deepEqual([c.bypass, c.pressed, c.tinted], ['Bypass', 'false', false]);
  });
});

test('the top bar and the read-out say what the state holds', async () => {
  const oneBand = [{ freqHz: 80, gainDb: -4, q: 3, type: 'bell', stereo: 'stereo' }];
  // Seven narrow bands far apart, one of them the largest move: a 6.44 dB cut at full strength.
  const seven = [-6.44, -1, 1, -1, 1, -1, 1].map((gainDb, i) => ({ freqHz: 40 * 2.5 ** i, gainDb, q: 8, type: 'bell', stereo: 'stereo' }));
  const cases = [
    { restore: null, name: 'No room loaded', meta: 'Load a profile to correct your room', h1: 'Untitled room', readout: '0.0 dB <u>nothing applied</u>' },
    { restore: { profileName: 'Den', bands: oneBand }, name: 'Den', meta: '1 filter · 65% correction · edited', h1: 'Den', readout: /^−\d\.\d dB <u>biggest move · 1 filter<\/u>$/ },
    {
      restore: { bands: seven, delayRightMs: 0.354 }, name: 'Living room',
      meta: '7 filters · 65% correction · delay 0.000 / 0.354 ms · edited', h1: 'Living room', readout: /<u>biggest move · 7 filters<\/u>$/,
    },
    { restore: { bands: seven, correctionPct: 100 }, readout: '−6.4 dB <u>biggest move · 7 filters</u>' },
    { restore: { bands: seven, correctionPct: 0 }, meta: '7 filters · 0% correction · edited', readout: '0.0 dB <u>nothing applied</u>' },
    { restore: { bands: seven, bypass: true }, readout: '<b>Bypassed</b>' },
  ];
  await withConsole({}, async (page) => {
    for (const want of cases) {
      if (want.restore) await page.hostSend('restore', seedRestore(want.restore));
      const c = await chrome(page);
      for (const key of ['name', 'meta', 'h1', 'readout']) {
        if (want[key] === undefined) continue;
        if (want[key] instanceof RegExp) assert.match(c[key], want[key], key);
        else assert.equal(c[key], want[key], key);
      }
    }
  });
});

test('a room name from outside shows as text and never as markup', () => flows.hostileName(withConsole));

test('in the browser preview the state is stored and read back, and refusing storage changes nothing else', async () => {
  await withConsole({ bridge: false, query: '' }, async (page) => {
    await page.settle();
    const stored = await page.page.evaluate(() => localStorage.getItem('brindle.plugin.v1'));
    assert.match(stored, /^\{"version":1,/, 'boot stores the state');
    assert.deepEqual(page.aborted.filter((url) => !/fonts\.(googleapis|gstatic)\.com/.test(url)), [], 'nothing but the fonts is asked for');
    await page.page.click('#bypassBtn');
    await page.reload();
    await page.settle();
    assert.deepEqual((await chrome(page)).pressed, 'true', 'a reload reads the stored state back');
  });
  await withConsole({ bridge: false, query: '', storage: 'throws', storageSeed: null }, async (page) => {
    await page.settle();
    const ui = await page.page.evaluate(() => document.documentElement.style.getPropertyValue('--ui'));
    assert.equal(ui, '1', 'fit at the design size');
    const c = await chrome(page);
    assert.deepEqual([c.name, c.pressed], ['No room loaded', 'false']);
  });
});

test('under the host the preview\'s stored state is neither read nor written', async () => {
  const stored = seedRestore({ bypass: true });
  await withConsole({ storageSeed: { 'brindle.plugin.v1': stored } }, async (page) => {
    assert.deepEqual((await chrome(page)).pressed, 'false', 'not read at boot');
    await page.page.click('#bypassBtn');
    assert.equal(await page.page.evaluate(() => localStorage.getItem('brindle.plugin.v1')), stored, 'not written by a change');
  });
});

test('the brand dot breathes while the preview plays noise, never under the host', async () => {
  const live = (page) => page.page.evaluate(() => document.getElementById('brandDot').classList.contains('live'));
  await withConsole({ bridge: false, query: '' }, async (page) => {
    await page.page.evaluate(() => window.BrindleRuntime.audition('pink'));
    await page.page.click('#bypassBtn');
    assert.equal(await live(page), true, 'playing');
    assert.equal(await page.page.evaluate(() => getComputedStyle(document.getElementById('brandDot')).animationName), 'brand-breathe');
    await page.page.evaluate(() => window.BrindleRuntime.stopAudition());
    await page.page.click('#bypassBtn');
    assert.equal(await live(page), false, 'stopped');
  });
  await withConsole({}, async (page) => {
    await page.page.evaluate(() => { window.BrindleRuntime.auditioning = () => 'pink'; });
    await page.page.click('#bypassBtn');
    assert.equal(await live(page), false);
  });
});

test('the UI scale follows the stored key, clamped, and fit follows the window', async () => {
  const cases = [
    { key: '2', viewport: { width: 1120, height: 860 }, ui: '1.75' },
    { key: 'x', viewport: { width: 1120, height: 860 }, ui: '1' },
    { key: '1.25', viewport: { width: 1120, height: 860 }, ui: '1.25' },
    { key: 'fit', viewport: { width: 560, height: 860 }, ui: '0.75' },
    { key: 'fit', viewport: { width: 1400, height: 1000 }, ui: '1.163' },
    { key: null, viewport: { width: 1680, height: 1290 }, ui: '1.5' },
  ];
  for (const { key, viewport, ui } of cases) {
    const storageSeed = key === null ? null : { 'brindle.plugin.ui.v1': key };
    await withConsole({ viewport, storageSeed }, async (page) => {
      const got = await page.page.evaluate(() => document.documentElement.style.getPropertyValue('--ui'));
      assert.equal(got, ui, `key ${key} at ${viewport.width}×${viewport.height}`);
      if (key === 'fit') {
        await page.page.setViewportSize({ width: 1120, height: 860 });
        await page.page.waitForFunction(() => document.documentElement.style.getPropertyValue('--ui') === '1');
      }
    });
  }
});

test('"ready" arrives while the font service never answers', async () => {
  const readyAt = (page) => page.emitTimes().then((times) => times.find(([name]) => name === 'ready')[1]);
  // A font that held the page up would hold it for good; a loaded machine slows one boot more
  // than the next, so the bound stands far above the boot with the font refused at once (the
  // boot's time is tools/bench's).
  let refused = 0;
  await withConsole({}, async (page) => {
    refused = await readyAt(page);
  });
  await withConsole({ hangFonts: true }, async (page) => {
    const held = await readyAt(page);
    assert.ok(held < Math.max(10000, 10 * refused), `ready after ${held} ms (${refused} ms with the font refused)`);
  });
});
