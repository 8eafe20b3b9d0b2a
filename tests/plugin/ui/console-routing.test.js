'use strict';

// The routing panel and the source setup card under this program's host, in a real browser with
// the fake host: what the panel offers for each report, what it sends, what it lights, and the
// status line that "meter" repaints.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { ROOT, seedDevices, seedMeter, seedRestore, browserForTests } = require('./browser-harness.js');
const { photograph, assertThemed } = require('./photograph.js');

const withConsole = browserForTests(test);


// The download page as the page's source names it; the host's own check runs on the same text
// (tests/console/VendorLinkTest.cpp).
const VENDOR_URL = /const SOURCE_SETUP[\s\S]*?url: '([^']*)'/.exec(fs.readFileSync(path.join(ROOT, 'plugin/ui/plugin.js'), 'utf8'))[1];

const ROUTE = seedDevices().selected;
const stopped = (overrides = {}) => seedDevices({ ...overrides, status: { running: false, ...(overrides.status || {}) } });

// A "devices" report, with the panel in view: the Routing cell opens by itself while no stream
// runs; with one running Amount is open, and the panel is a click on the cell away (focus is then
// taken off the cell, so that Enter reaches the lit control).
async function sendDevices(page, devices) {
  await page.hostSend('devices', devices);
  if (await page.page.locator('.routing').count()) return;
  await page.page.click('[data-key="cell:routing"]');
  await page.page.evaluate(() => document.activeElement.blur());
}

// What the panel shows, read in one go.
function readPanel(page) {
  return page.page.evaluate(() => {
    const panel = document.querySelector('.routing');
    const select = (key) => {
      const node = panel.querySelector(`select[data-key="route:${key}"]`);
      if (!node) return null;
      return { options: [...node.options].map((o) => o.text), value: node.value, shown: node.selectedOptions[0].text };
    };
    const lit = document.querySelector('.lit');
    const action = panel.querySelector('[data-key="route:apply"]');
    const escape = panel.querySelector('.routehint.escape button');
    return {
      text: panel.innerText,
      status: panel.querySelector('.routestat') ? panel.querySelector('.routestat').textContent : null,
      card: Boolean(panel.querySelector('.setupcard')),
      input: select('inputDevice'),
      output: select('outputDevice'),
      engine: ['deviceType', 'sampleRate', 'bufferSize', 'queueMs'].map(select),
      hints: [...panel.querySelectorAll('.routehint:not(.escape)')].map((n) => n.textContent),
      escape: escape ? escape.textContent : null,
      action: action ? { text: action.textContent, disabled: action.disabled } : null,
      // What is lit, by the keys of the controls inside it.
      lit: lit ? [...lit.querySelectorAll('[data-key]')].map((n) => n.dataset.key) : [],
      escapeLit: Boolean(escape && escape.closest('.lit')),
    };
  });
}

const choose = (page, key, value) => page.page.selectOption(`select[data-key="route:${key}"]`, String(value));
const sent = async (page, name) => (await page.emits()).filter(([n]) => n === name).map(([, payload]) => payload);

test('before the first report the panel only says it is asking', async () => {
  await withConsole({}, async (page) => {
    const panel = await page.page.evaluate(() => ({
      text: document.querySelector('.routing').textContent,
      note: document.querySelectorAll('.routing .pctnote').length,
      controls: document.querySelectorAll('.routing select, .routing button').length,
    }));
    assert.deepEqual(panel, { text: 'Asking the system what audio devices it has\u2026', note: 1, controls: 0 });
  });
});

test('the source row offers loopback inputs, every input or nothing, with the hint and the way out that fit', async () => {
  const inputs = ['Loopback Cable', 'Line In', 'Built-in Microphone'];
  const noInput = { ...ROUTE, inputDevice: '' };
  const { loopbackInputs, ...withoutLoopInfo } = seedDevices({ inputs });
  const VIRTUAL = 'The virtual device everything on this PC plays into \u2014 not your interface.';
  const EVERY = 'Showing every input, microphones included. Only a loopback device carries what this PC plays.';
  const cases = [
    { name: 'a loopback input chosen', report: seedDevices({ inputs }), options: ['Loopback Cable'], hints: [], escape: null, card: false },
    {
      name: 'no loopbackInputs key', report: withoutLoopInfo, options: inputs, hints: [VIRTUAL], escape: null, card: false,
    },
    {
      name: 'an empty list and no input', report: stopped({ inputs, loopbackInputs: [], selected: noInput }),
      options: ['Choose\u2026'], hints: [VIRTUAL], escape: 'My cable is not listed \u2014 show every input', card: true,
      status: 'Not correcting. Nothing is feeding audio in yet.',
    },
    {
      name: 'a saved Line In that is not a loopback input', report: seedDevices({ inputs, selected: { ...ROUTE, inputDevice: 'Line In' } }),
      options: inputs, value: 'Line In', hints: [EVERY], escape: 'Show only system sources', card: false,
    },
    {
      name: 'loopback inputs but none chosen', report: stopped({ inputs, selected: noInput }),
      options: ['Choose\u2026', 'Loopback Cable'], hints: [VIRTUAL], escape: 'My cable is not listed \u2014 show every input', card: false,
      status: 'Not correcting. Choose where audio comes from and where it goes.',
    },
  ];
  for (const c of cases) {
    await withConsole({}, async (page) => {
      await sendDevices(page, c.report);
      const got = await readPanel(page);
      assert.deepEqual(got.input.options, c.options, `${c.name}: options`);
      if (c.value) assert.equal(got.input.value, c.value, `${c.name}: the chosen input`);
      assert.deepEqual(got.hints, c.hints, `${c.name}: hints`);
      assert.equal(got.escape, c.escape, `${c.name}: the way out`);
      assert.equal(got.card, c.card, `${c.name}: the setup card`);
      if (c.status) assert.equal(got.status, c.status, `${c.name}: status`);
    });
  }
});

test('with no loopback source the setup card is lit: Enter gets the cable, and the other button opens the sound settings', async () => {
  const report = stopped({ loopbackInputs: [], selected: { ...ROUTE, inputDevice: '' } });
  await withConsole({}, async (page) => {
    await sendDevices(page, report);
    const panel = await readPanel(page);
    assert.deepEqual(panel.lit, ['setup:get', 'setup:settings'], 'the card is the lit control');
    assert.equal(panel.escapeLit, false, 'the way out stands outside the light');
    const card = await page.page.locator('.setupcard').innerText();
    assert.match(card, /^Nothing is handing this PC’s audio over yet\. Tonwell corrects audio that is given to it, so it needs a virtual output device to read back — the list below has only real inputs, like a microphone\./);
    assert.match(card, /Install VB-CABLE \(donationware\), then set "CABLE Input" as this PC’s playback device in Sound settings\. It will appear here as "CABLE Output"\./);
    assert.equal(await page.page.locator('.setupcard b').first().textContent(), 'Nothing is handing this PC’s audio over yet.');

    await page.page.keyboard.press('Enter');
    await page.page.click('[data-key="setup:settings"]');
    assert.deepEqual(await page.emits(), [
      ['ready', {}],
      ['shell', { action: 'openurl', url: VENDOR_URL }],
      ['shell', { action: 'soundsettings' }],
    ]);
    assert.match(VENDOR_URL, /^https:\/\/[^/]+\/Cable\/$/);
  });
});

test('the way out cannot hide a chosen input that is not a loopback input', async () => {
  const report = seedDevices({ inputs: ['Loopback Cable', 'Line In'], selected: { ...ROUTE, inputDevice: 'Line In' } });
  await withConsole({}, async (page) => {
    await sendDevices(page, report);
    await page.page.focus('[data-key="route:every-input"]');
    await page.page.keyboard.press('Enter');
    const panel = await readPanel(page);
    assert.deepEqual([panel.input.options, panel.input.value], [['Loopback Cable', 'Line In'], 'Line In']);
    assert.equal(panel.escape, 'Show only system sources');
    assert.equal(await page.page.evaluate(() => document.activeElement.dataset.key), 'route:every-input', 'focus stays on the link');

    // Once a loopback input is chosen the list can narrow again.
    await choose(page, 'inputDevice', 'Loopback Cable');
    assert.equal((await readPanel(page)).escape, 'Show only system sources');
    await page.page.click('[data-key="route:every-input"]');
    const narrowed = await readPanel(page);
    assert.deepEqual([narrowed.input.options, narrowed.escape, narrowed.hints], [['Loopback Cable'], null, []]);
    assert.deepEqual(await sent(page, 'route'), [], 'choosing sends no route');
  });
});

test('a back-end change clears both devices, sends only "rescan", keeps the rest, and the next report leaves the half-made route alone', async () => {
  await withConsole({}, async (page) => {
    await sendDevices(page, seedDevices());
    await choose(page, 'queueMs', 80);
    // From the keyboard, as on the target's engine: a closed select changes at each arrow key.
    await page.page.focus('select[data-key="route:deviceType"]');
    await page.page.keyboard.press('ArrowDown');
    let panel = await readPanel(page);
    assert.equal(await page.page.evaluate(() => document.activeElement.dataset.key), 'route:deviceType', 'focus kept on the select');
    assert.deepEqual([panel.input.shown, panel.output.shown], ['Choose\u2026', 'Choose\u2026']);
    assert.deepEqual(panel.engine.map((s) => s.shown), ['JACK', '48 kHz', '256 smp', '80 ms']);
    const rescans = await page.page.evaluate(() => window.__rec.emits.filter((e) => e.name === 'rescan').map((e) => JSON.stringify(e.payload)));
    assert.deepEqual(rescans, ['{"deviceType":"JACK"}']);
    assert.deepEqual((await page.emits()).map(([n]) => n), ['ready', 'rescan']);

    // The host answers with JACK's lists; the route in force is still ALSA's.
    await sendDevices(page, seedDevices({ inputs: ['system:capture'], outputs: ['system:playback'], loopbackInputs: ['system:capture'], rates: [], bufferSizes: [] }));
    panel = await readPanel(page);
    assert.deepEqual([panel.input.shown, panel.output.shown], ['Choose\u2026', 'Choose\u2026']);
    assert.deepEqual(panel.input.options, ['Choose\u2026', 'system:capture']);
    // Left as it is: a rescanned report offers no rates or sizes until a route is applied.
    assert.deepEqual(panel.engine.map((s) => s.shown), ['JACK', '48000 (not available)', '256 (not available)', '80 ms']);
  });
});

test('what the panel lights: the card, the source row, the output row, the button, or nothing', async () => {
  const cases = [
    { name: 'no source, no input', report: stopped({ loopbackInputs: [], selected: { ...ROUTE, inputDevice: '' } }), lit: ['setup:get', 'setup:settings'], disabled: true },
    { name: 'no input', report: stopped({ selected: { ...ROUTE, inputDevice: '' } }), lit: ['route:inputDevice'], disabled: true },
    // The button cannot be pressed here: the row that lacks its value is lit instead.
    { name: 'input chosen, no output', report: stopped({ selected: { ...ROUTE, outputDevice: '' } }), lit: ['route:outputDevice'], disabled: true },
    { name: 'both chosen, not running', report: stopped(), lit: ['route:apply'] },
    { name: 'running as chosen', report: seedDevices(), lit: [] },
  ];
  for (const c of cases) {
    await withConsole({}, async (page) => {
      await page.hostSend('restore', seedRestore());
      await sendDevices(page, c.report);
      const panel = await readPanel(page);
      assert.deepEqual(panel.lit, c.lit, c.name);
      assert.equal(panel.escapeLit, false, `${c.name}: the way out stands outside the light`);
      assert.equal(panel.action.disabled, Boolean(c.disabled), `${c.name}: the button's state`);
      assert.equal(await page.page.locator('.lit :disabled, .lit:disabled').count(), 0, `${c.name}: nothing disabled is lit`);
      // Enter presses a lit button only; a lit row has none, and sends nothing.
      await page.page.keyboard.press('Enter');
      const after = (await page.emits()).slice(1).map(([n]) => n);
      assert.deepEqual(after, c.lit[0] === 'setup:get' ? ['shell'] : c.lit[0] === 'route:apply' ? ['route'] : [], `${c.name}: Enter`);
    });
  }
});

test('running with a room loaded: a new buffer size offers "Apply this routing →", lit, which sends the six keys in order', async () => {
  await withConsole({}, async (page) => {
    await page.hostSend('restore', seedRestore());
    await sendDevices(page, seedDevices());
    assert.deepEqual([(await readPanel(page)).action.text, (await readPanel(page)).lit], ['Restart the stream', []]);

    await choose(page, 'bufferSize', 512);
    let panel = await readPanel(page);
    assert.deepEqual([panel.action, panel.lit], [{ text: 'Apply this routing \u2192', disabled: false }, ['route:apply']]);
    assert.deepEqual((await page.emits()).map(([n]) => n), ['ready'], 'a choice alone sends nothing');
    const widths = await page.page.evaluate(() => [document.querySelector('.lit'), document.querySelector('.lit button')].map((n) => n.getBoundingClientRect().width));
    assert.equal(widths[0], widths[1], 'the ring hugs the button');

    await page.page.click('[data-key="route:apply"]');
    const texts = await page.page.evaluate(() => window.__rec.emits.filter((e) => e.name === 'route').map((e) => JSON.stringify(e.payload)));
    assert.deepEqual(texts, ['{"deviceType":"ALSA","inputDevice":"Loopback Cable","outputDevice":"Speakers","sampleRate":48000,"bufferSize":512,"queueMs":30}']);

    // The host answers with the route in force.
    await sendDevices(page, seedDevices({ selected: { ...ROUTE, bufferSize: 512 } }));
    panel = await readPanel(page);
    assert.deepEqual([panel.action.text, panel.lit, panel.engine[2].shown], ['Restart the stream', [], '512 smp']);
  });
});

test('not running: "Start correcting →", and a saved rate that is not offered is named and sent unchanged', async () => {
  const report = stopped({ rates: [48000, 96000], selected: { ...ROUTE, sampleRate: 44100 }, status: { error: 'The device could not be opened' } });
  await withConsole({}, async (page) => {
    await sendDevices(page, report);
    const panel = await readPanel(page);
    assert.equal(panel.action.text, 'Start correcting \u2192');
    assert.deepEqual(panel.engine[1], { options: ['44100 (not available)', '48 kHz', '96 kHz'], value: '44100', shown: '44100 (not available)' });
    assert.equal(panel.status, 'Not correcting. The device could not be opened');
    await page.page.click('[data-key="route:apply"]');
    assert.deepEqual(await sent(page, 'route'), [{ ...ROUTE, sampleRate: 44100 }]);
  });
});

test('the status line, repainted by every "meter" without rebuilding a select', async () => {
  const cases = [
    [
      'two devices', { latencyMs: 20.34, fillFrames: 1411, targetFrames: 1440, correctionPpm: -12.44, dropouts: 3, overruns: 0 },
      '20.3 ms latency \u00b7 queue 98% \u00b7 drift -12.4 ppm \u00b7 3 dropouts', ['3 dropouts'],
    ],
    ['duplex', { duplex: true, latencyMs: 5, dropouts: 0, overruns: 2 }, '5.0 ms latency \u00b7 2 overruns', ['2 overruns']],
    ['both counts', { dropouts: 1, overruns: 4 }, '12.5 ms latency \u00b7 queue 100% \u00b7 drift 3.2 ppm \u00b7 1 dropout \u00b7 4 overruns', ['1 dropout', '4 overruns']],
    ['one overrun', { duplex: true, overruns: 1 }, '12.5 ms latency \u00b7 1 overrun', ['1 overrun']],
    // A drift that rounds to zero has no sign.
    ['a drift just below zero', { correctionPpm: -0.04 }, '12.5 ms latency \u00b7 queue 100% \u00b7 drift 0.0 ppm', []],
    ['an empty queue target', { fillFrames: 300, targetFrames: 0 }, '12.5 ms latency \u00b7 queue 0% \u00b7 drift 3.2 ppm', []],
    ['a host error', { running: false, error: '<b>x</b>' }, 'Not correcting. <b>x</b>', []],
    ['not running', { running: false }, 'Not correcting. Choose where audio comes from and where it goes.', []],
    [
      'a status without numbers',
      { latencyMs: undefined, fillFrames: null, targetFrames: 'many', correctionPpm: 'fast', dropouts: null, overruns: {} },
      '0.0 ms latency \u00b7 queue 0% \u00b7 drift 0.0 ppm', [],
    ],
  ];
  await withConsole({}, async (page) => {
    await sendDevices(page, stopped({ selected: { ...ROUTE, inputDevice: '' } }));
    await page.page.evaluate(() => { for (const s of document.querySelectorAll('.routing select')) s.__kept = true; });
    for (const [name, fields, text, bad] of cases) {
      await page.hostSend('meter', seedMeter(fields));
      const got = await page.page.evaluate(() => {
        const line = document.querySelector('.routestat');
        return {
          text: line.textContent,
          bold: [...line.querySelectorAll('b')].map((n) => n.textContent),
          bad: [...line.querySelectorAll('u.bad')].map((n) => n.textContent),
          elements: line.querySelectorAll('*').length,
          kept: [...document.querySelectorAll('.routing select')].every((s) => s.__kept),
        };
      });
      assert.equal(got.text, text, name);
      assert.deepEqual(got.bad, bad, `${name}: marked counts`);
      assert.equal(got.elements, got.bold.length + bad.length, `${name}: only the page's own bold parts and counts are elements`);
      assert.ok(got.kept, `${name}: no select was rebuilt`);
      assert.doesNotMatch(got.text, /NaN|undefined|null/, name);
    }
  });
});

test('device names and back ends written as markup are shown as text', async () => {
  const tag = '<img src=x onerror="window.__ran=1">';
  const report = seedDevices({
    types: [tag], inputs: [tag], outputs: [`${tag} out`], loopbackInputs: [tag],
    selected: { ...ROUTE, deviceType: tag, inputDevice: tag, outputDevice: `${tag} gone` },
  });
  await withConsole({}, async (page) => {
    await sendDevices(page, report);
    const panel = await readPanel(page);
    assert.deepEqual(panel.input.options, [tag]);
    assert.deepEqual(panel.output.options, [`${tag} gone (not available)`, `${tag} out`]);
    assert.equal(panel.engine[0].shown, tag);
    assert.equal(await page.page.evaluate(() => [document.querySelectorAll('.routing img').length, window.__ran]).then(String), '0,');
  });
});

test('a long device name ends in an ellipsis inside its select, which stays within 300 px', async () => {
  const long = 'Speakers (High Definition Audio Device with a name far longer than any row)';
  await withConsole({}, async (page) => {
    await sendDevices(page, seedDevices({ outputs: [long], selected: { ...ROUTE, outputDevice: long } }));
    const got = await page.page.evaluate(() => {
      const select = document.querySelector('select[data-key="route:outputDevice"]');
      const style = getComputedStyle(select);
      return { width: select.getBoundingClientRect().width, overflow: style.textOverflow, box: style.borderTopWidth };
    });
    assert.ok(got.width <= 300 && got.width >= 150, `width ${got.width}`);
    assert.deepEqual([got.overflow, got.box], ['ellipsis', '0px']);
  });
});

test('a route row\'s name takes the free width; at 900 px and below it starts from 54 px and the hints are indented 64 px', async () => {
  const report = seedDevices({ selected: { ...ROUTE, inputDevice: 'Built-in Microphone' } });
  for (const [width, basis, indent] of [[1120, 'auto', '0px'], [901, 'auto', '0px'], [900, '54px', '64px'], [560, '54px', '64px']]) {
    await withConsole({ viewport: { width, height: 860 } }, async (page) => {
      await sendDevices(page, report);
      const got = await page.page.evaluate(() => {
        const style = (selector) => getComputedStyle(document.querySelector(selector));
        return {
          names: [...document.querySelectorAll('.routerow > span:not(.beacon)')].map((n) => getComputedStyle(n).flexBasis),
          hints: [style('.routehint:not(.escape)').marginLeft, style('.routehint.escape').marginLeft],
        };
      });
      assert.deepEqual(got, { names: [basis, basis, basis], hints: [indent, indent] }, `${width} px`);
    });
  }
});

test('the setup card is photographed, lit, at 1120 px', async () => {
  const dir = path.join(ROOT, 'build', 'page-screenshots');
  fs.mkdirSync(dir, { recursive: true });
  await withConsole({ reducedMotion: 'reduce' }, async (page) => {
    await sendDevices(page, stopped({ loopbackInputs: [], selected: { ...ROUTE, inputDevice: '' } }));
    await page.settle();
    assertThemed(await photograph(page, path.join(dir, 'console-routing-setup-card-1120.png')), 'the setup card');
  });
});
