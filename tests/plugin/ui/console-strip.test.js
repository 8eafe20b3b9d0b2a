'use strict';

// The settings strip and its correction panels, in a real browser with the fake host: which cell
// is open, what each cell and panel shows, what each control stores and sends, and what it
// must not send.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const Profile = require('../../../ui/js/profile.js');
const demoProfile = require('../../../plugin/ui/demo-profile.js');
const { ROOT, browserForTests, seedDevices, seedMeter } = require('./browser-harness.js');
const { photograph, assertThemed } = require('./photograph.js');

const withConsole = browserForTests(test);

const DEMO = Profile.toJson(Profile.stateForProfile(Profile.readProfile(demoProfile).profile));
const PREVIEW = { bridge: false, query: '' };
const STREAM_UP = seedDevices();
const STREAM_DOWN = seedDevices({ status: { running: false } });

const key = (k) => `[data-key="${k}"]`;
const band = (freqHz, gainDb, q) => ({ freqHz, gainDb, q, type: 'bell', stereo: 'stereo', on: true });

function room(bands, fields = {}) {
  return Profile.toJson({ ...Profile.stateForProfile({ name: 'Test room', suggestedPct: 65, bands }), ...fields });
}

async function states(page) {
  await page.settle();
  return (await page.emits()).filter(([name]) => name === 'state').map(([, text]) => JSON.parse(text));
}

async function lastState(page) {
  const all = await states(page);
  return all[all.length - 1];
}

// What the strip shows: the cells in order with their value, unit and marks, the open panel and
// whatever is lit.
function strip(page) {
  return page.page.evaluate(() => {
    const cells = {};
    for (const cell of document.querySelectorAll('.scell')) {
      const u = cell.querySelector('v u');
      cells[cell.dataset.key.slice('cell:'.length)] = {
        value: cell.querySelector('v b').textContent,
        unit: u.hidden ? '' : u.textContent,
        warn: cell.classList.contains('warn'),
      };
    }
    const open = document.querySelector('.scell.on');
    const expanded = [...document.querySelectorAll('.scell[aria-expanded="true"]')].map((c) => c.dataset.key);
    return {
      keys: Object.keys(cells),
      cells,
      open: open ? open.dataset.key.slice('cell:'.length) : null,
      expanded,
      panel: (document.querySelector('.cellpanel .cellpanelhead') || {}).textContent || null,
      lit: [...document.querySelectorAll('.lit')].map((n) => `${n.dataset.key || n.tagName} ${n.className}`),
    };
  });
}

const text = (page, selector) => page.page.evaluate((s) => {
  const node = document.querySelector(s);
  return node ? node.textContent : null;
}, selector);

// Moves a slider as a drag does: its value, then one input event.
function slide(page, sliderKey, value) {
  return page.page.evaluate(([k, v]) => {
    const input = document.querySelector(`[data-key="${k}"]`);
    input.value = String(v);
    input.dispatchEvent(new Event('input', { bubbles: true }));
  }, [sliderKey, value]);
}

async function typeInto(page, fieldKey, typed) {
  await page.page.click(key(fieldKey));
  await page.page.keyboard.type(typed);
  await page.page.keyboard.press('Enter');
}

async function openCell(page, cellKey) {
  await page.page.click(key(`cell:${cellKey}`));
}

test('which cell is open', async () => {
  // With the stream down and Routing open, the panel lights its own next action: the start button
  // in its beacon (the reports name both devices).
  const START = 'SPAN beacon lit';
  // [flow, what the strip then shows]
  const cases = [
    ['boot, before any report', async () => {}, { open: 'routing', lit: [] }],
    ['boot, then a report with no stream', (p) => p.hostSend('devices', STREAM_DOWN), { open: 'routing', lit: [START] }],
    // The first render came before the report; its fallback was shown, not stored.
    ['boot, then a report with a stream', (p) => p.hostSend('devices', STREAM_UP), { open: 'amount', lit: [] }],
    ['stream down and Amount opened', async (p) => {
      await p.hostSend('devices', STREAM_DOWN);
      await openCell(p, 'amount');
    }, { open: 'amount', lit: ['cell:routing scell warn beacon block lit'] }],
    ['stream down, "Hide ▾" on Amount', async (p) => {
      await p.hostSend('devices', STREAM_DOWN);
      await openCell(p, 'amount');
      await p.page.click(key('panel:hide'));
    }, { open: 'routing', lit: [START] }],
    ['stream up, "Hide ▾"', async (p) => {
      await p.hostSend('devices', STREAM_UP);
      await p.page.click(key('panel:hide'));
    }, { open: null, lit: [] }],
    ['stream up, the open cell clicked again', async (p) => {
      await p.hostSend('devices', STREAM_UP);
      await openCell(p, 'phase');
      await openCell(p, 'phase');
    }, { open: 'phase', lit: [] }],
    ['the stream stops after "Hide ▾": the next render opens Routing', async (p) => {
      await p.hostSend('devices', STREAM_UP);
      await p.page.click(key('panel:hide'));
      await p.hostSend('devices', STREAM_DOWN);
    }, { open: 'routing', lit: [START] }],
  ];
  for (const [name, flow, want] of cases) {
    await withConsole({}, async (page) => {
      await page.hostSend('restore', DEMO);
      await flow(page);
      await page.settle();
      const got = await strip(page);
      assert.deepEqual({ open: got.open, lit: got.lit }, want, name);
      assert.deepEqual(got.keys, ['amount', 'phase', 'timing', 'output', 'filters', 'routing', 'insert'], name);
      assert.deepEqual(got.expanded, want.open ? [`cell:${want.open}`] : [], `${name}: expanded`);
      assert.equal(got.panel, want.open ? (await text(page, `${key(`cell:${want.open}`)} k`)) : null, `${name}: the panel`);
      // A hidden panel leaves every value on the strip.
      assert.equal(got.cells.amount.value, '65', name);
      assert.equal(got.cells.timing.value, '0.00 / 0.35', name);
    });
  }
});

test('a stale open cell falls back, and the preview has no Routing or Insert cell', async () => {
  // [where the console runs, the stored open cell, the cells, the one open]
  const all = ['amount', 'phase', 'timing', 'output', 'filters'];
  const cases = [
    ['host, stream up', {}, 'gone', [...all, 'routing', 'insert'], 'amount'],
    ['host, stream down', {}, 'gone', [...all, 'routing', 'insert'], 'routing'],
    ['preview', PREVIEW, 'routing', all, 'amount'],
    ['preview', PREVIEW, 'insert', all, 'amount'],
    ['host without the system-wide query', { query: '' }, 'routing', all, 'amount'],
  ];
  const source = fs.readFileSync(path.join(ROOT, 'plugin/ui/plugin.js'), 'utf8');
  assert.ok(source.includes('\n  let openCell;\n'));
  for (const [name, options, stored, keys, open] of cases) {
    const files = { 'plugin.js': source.replace('\n  let openCell;\n', `\n  let openCell = '${stored}';\n`) };
    await withConsole({ ...options, files }, async (page) => {
      if (name.startsWith('host,')) await page.hostSend('devices', name.endsWith('up') ? STREAM_UP : STREAM_DOWN);
      const got = await strip(page);
      assert.deepEqual([got.keys, got.open], [keys, open], `${name}, "${stored}" stored`);
    });
  }
});

test('the travelling rule ends under the open cell', async () => {
  await withConsole({}, async (page) => {
    await page.hostSend('devices', STREAM_UP);
    const place = () => page.page.evaluate(() => new Promise((resolve) => {
      // After the move's frame and its 0.3 s slide.
      requestAnimationFrame(() => requestAnimationFrame(async () => {
        const bar = document.querySelector('.stripbar');
        await Promise.all(bar.getAnimations().map((a) => a.finished));
        const cell = document.querySelector('.scell.on');
        const a = bar.getBoundingClientRect();
        const b = cell.getBoundingClientRect();
        const whole = (v) => Math.round(v) || 0;
        resolve({ left: whole(a.left - b.left), width: whole(a.width - b.width), height: a.height, under: whole(a.bottom - b.bottom) });
      }));
    }));
    const want = { left: 0, width: 0, height: 2, under: 1 };
    assert.deepEqual(await place(), want, 'Amount');
    await openCell(page, 'insert');
    assert.deepEqual(await place(), want, 'Insert');
    await openCell(page, 'timing');
    assert.deepEqual(await place(), want, 'Speaker timing');
    // The next slide starts where the last one ended, not from the strip's left edge.
    const from = await page.page.evaluate(() => document.querySelector('[data-key="cell:timing"]').offsetLeft);
    // Clicked and read in one task and the frame after it: the strip moves its rule in the first
    // frame after the render, so the slide has only just begun however slow the machine is.
    const start = await page.page.evaluate(() => new Promise((resolve) => {
      document.querySelector('[data-key="cell:output"]').click();
      requestAnimationFrame(() => {
        const slide = document.querySelector('.stripbar').getAnimations().find((a) => a.transitionProperty === 'transform');
        resolve(slide ? slide.effect.getKeyframes()[0].transform : null);
      });
    }));
    assert.equal(start, `translateX(${from}px)`);
  });
});

test('a cell, a segment or "Hide ▾" worked from the keyboard keeps focus on its counterpart after the render', async () => {
  const focused = (page) => page.page.evaluate(() => {
    const a = document.activeElement;
    return { key: a.dataset.key || a.tagName, fresh: !a.__old, ring: a.matches(':focus-visible') };
  });
  const mark = (page) => page.page.evaluate(() => {
    for (const node of document.querySelectorAll('#app *')) node.__old = true;
  });
  // [stream, what has focus, the key pressed, where focus is after]
  const cases = [
    [STREAM_UP, 'cell:phase', 'Enter', 'cell:phase'],
    [STREAM_UP, 'cell:insert', 'Space', 'cell:insert'],
    [STREAM_UP, 'seg:phase:linear', 'Enter', 'seg:phase:linear'],
    [STREAM_UP, 'seg:ui:1.25', 'Space', 'seg:ui:1.25'],
    [STREAM_DOWN, 'panel:hide', 'Enter', 'panel:hide'],
    // With nothing left to hide, the keyboard stays on the cell whose panel it hid.
    [STREAM_UP, 'panel:hide', 'Enter', 'cell:amount'],
  ];
  for (const [stream, from, press, to] of cases) {
    await withConsole({}, async (page) => {
      await page.hostSend('restore', DEMO);
      await page.hostSend('devices', stream);
      if (from.startsWith('seg:phase')) await openCell(page, 'phase');
      if (from.startsWith('seg:ui')) await openCell(page, 'output');
      if (from === 'panel:hide' && stream === STREAM_DOWN) await openCell(page, 'amount');
      await mark(page);
      await page.page.focus(key(from));
      await page.page.keyboard.press(press);
      assert.deepEqual(await focused(page), { key: to, fresh: true, ring: true }, `${press} on ${from}`);
    });
  }
});

test('Amount: the note follows the percentage, and bypass turns the cell, the note and the headroom at once', async () => {
  // [percentage, note]
  const notes = [[0, 'nothing applied'], [39, 'a light touch'], [40, 'the usual working range'], [85, 'the usual working range'],
    [86, 'almost all of it'], [100, 'the full measured correction']];
  const amount = (page) => page.page.evaluate(() => ({
    note: document.querySelector('.cellpanel .crow .k small').textContent,
    big: document.querySelector('.bignum.pct').textContent,
    headroom: document.querySelector('.hrread').textContent,
  }));
  await withConsole({}, async (page) => {
    await page.hostSend('restore', DEMO);
    await page.hostSend('devices', STREAM_UP);
    for (const [pct, note] of notes) {
      const before = (await states(page)).length;
      await slide(page, 'slider:amount', pct);
      assert.equal((await states(page)).length, before + 1, `${pct}: one state`);
      assert.equal((await lastState(page)).correctionPct, pct);
      const got = await amount(page);
      assert.deepEqual([got.note, got.big], [note, `${pct}%`], `${pct}`);
      assert.deepEqual((await strip(page)).cells.amount, { value: String(pct), unit: '%', warn: false });
    }
    await page.page.click('#bypassBtn');
    assert.deepEqual((await strip(page)).cells.amount, { value: 'Bypassed', unit: '', warn: true });
    const got = await amount(page);
    assert.deepEqual([got.note, got.headroom], ['bypassed', 'bypassed']);
  });
});

test('Amount: Safe headroom reads what the bands in force need, and the whole row toggles it', async () => {
  const headroom = (page) => page.page.evaluate(() => {
    const row = document.querySelector('.hrread').closest('.crow');
    return [row.querySelector('.hrread').textContent, row.querySelector('small').textContent, row.querySelector('input').checked];
  });
  const CUTS = room([band(63, -6, 4), band(120, -3, 2)]);
  await withConsole({}, async (page) => {
    await page.hostSend('devices', STREAM_UP);
    await page.hostSend('restore', DEMO);
    assert.deepEqual(await headroom(page), ['-1.00 dB', 'attenuating so nothing can', true], 'the demo');
    // A click on the row's name toggles the box: the row is its label.
    await page.page.click('.hrread >> xpath=ancestor::label >> text=Safe headroom');
    assert.equal((await lastState(page)).safeHeadroom, false);
    assert.deepEqual(await headroom(page), ['off', 'a boost can clip', false], 'unticked');
    await page.page.click(key('check:headroom'));
    assert.equal((await lastState(page)).safeHeadroom, true);
    await page.hostSend('restore', CUTS);
    assert.deepEqual(await headroom(page), ['nothing needed', 'this correction only cuts', true], 'cuts only');
  });
});

test('Amount: a double-click on the slider gives the percentage the room was loaded with', async () => {
  await withConsole({}, async (page) => {
    await page.hostSend('devices', STREAM_UP);
    await page.hostSend('restore', room([band(63, -6, 4)], { correctionPct: 80 }));
    await slide(page, 'slider:amount', 30);
    await page.page.dblclick(key('slider:amount'));
    assert.equal((await lastState(page)).correctionPct, 65);
    assert.equal(await page.page.inputValue(key('slider:amount')), '65');
    assert.equal(await text(page, '.bignum.pct'), '65%');
  });
});

test('Phase: the latency at the runtime\'s rate, the Resolution row and the warnings', async () => {
  const DEEP = room([band(45, -6, 12)]);
  const phase = (page) => page.page.evaluate(() => {
    const box = document.querySelector('.warnbox.slim');
    return {
      big: document.querySelector('.bignum.lat').textContent,
      resolution: Boolean(document.querySelector('[data-key="seg:fir:medium"]')),
      box: box.hidden ? null : box.textContent,
    };
  });
  const SYNC = (ms) => `${ms} ms will put video, games and calls out of sync.`;
  const NARROW = 'Too short for your narrowest filter (3.8 Hz) \u2014 it will come out wider and shallower than the curve shows.';
  // [room, clicks on segments, devices report, cell (value, unit, warn), big number, Resolution row, box]
  const cases = [
    ['empty', null, [], STREAM_UP, ['Minimum', '0.31 ms', false], '0.31ms', false, null],
    ['empty at 44.1 kHz', null, [], seedDevices({ sampleRate: 44100 }), ['Minimum', '0.34 ms', false], '0.34ms', false, null],
    ['demo', DEMO, [], STREAM_UP, ['Minimum', '0.67 ms', false], '0.67ms', false, null],
    // The demo's narrowest filter, 45 Hz at Q 5.2, is finer than the short FIR resolves.
    ['demo, linear "low"', DEMO, ['phase:linear', 'fir:low'], STREAM_UP, ['Linear', '65 ms', true], '65ms', true, `${NARROW.replace('3.8', '8.7')} ${SYNC(65)}`],
    ['demo, linear "medium"', DEMO, ['phase:linear'], STREAM_UP, ['Linear', '193 ms', true], '193ms', true, SYNC(193)],
    ['demo, linear "high"', DEMO, ['phase:linear', 'fir:high'], STREAM_UP, ['Linear', '705 ms', true], '705ms', true, SYNC(705)],
    ['45 Hz at Q 12, "medium"', DEEP, ['phase:linear'], STREAM_UP, ['Linear', '192 ms', true], '192ms', true, `${NARROW} ${SYNC(192)}`],
    ['45 Hz at Q 12, "high"', DEEP, ['phase:linear', 'fir:high'], STREAM_UP, ['Linear', '704 ms', true], '704ms', true, SYNC(704)],
    ['back to "Minimum"', DEEP, ['phase:linear', 'phase:minimum'], STREAM_UP, ['Minimum', '0.31 ms', false], '0.31ms', false, null],
    // Long delays pass the limit in minimum phase too: the mark and the message come together.
    ['a 20 ms delay, minimum', room([band(45, -6, 12)], { delayLeftMs: 20 }), [], STREAM_UP, ['Minimum', '20 ms', true], '20ms', false, SYNC(20.3)],
  ];
  for (const [name, restore, clicks, report, cell, big, resolution, box] of cases) {
    await withConsole({}, async (page) => {
      await page.hostSend('devices', report);
      if (restore) await page.hostSend('restore', restore);
      await openCell(page, 'phase');
      for (const click of clicks) {
        const before = (await states(page)).length;
        await page.page.click(key(`seg:${click}`));
        assert.equal((await states(page)).length, before + 1, `${name}: ${click} sends one state`);
      }
      const [field, value] = clicks.length ? clicks[clicks.length - 1].split(':') : [];
      if (field) assert.equal((await lastState(page))[field === 'phase' ? 'phaseMode' : 'firQuality'], value, name);
      const c = (await strip(page)).cells.phase;
      assert.deepEqual([c.value, c.unit, c.warn], cell, `${name}: cell`);
      assert.deepEqual(await phase(page), { big, resolution, box }, name);
    });
  }
});

test('Phase: the chosen segment sends nothing, and outside the system-wide host linear phase never warns of latency', async () => {
  await withConsole({}, async (page) => {
    await page.hostSend('devices', STREAM_UP);
    await openCell(page, 'phase');
    await page.page.click(key('seg:phase:minimum'));
    assert.deepEqual(await states(page), []);
  });
  await withConsole(PREVIEW, async (page) => {
    await openCell(page, 'phase');
    await page.page.click(key('seg:phase:linear'));
    const c = (await strip(page)).cells.phase;
    assert.equal(c.warn, false);
    assert.equal(await page.page.evaluate(() => document.querySelector('.warnbox').hidden), true);
  });
});

test('Speaker timing: typed delays up to 20 ms, the fader over its 5 ms, and the speaker travel', async () => {
  const side = (page, s) => page.page.evaluate((which) => ({
    field: document.querySelector(`[data-key="field:delay:${which}"]`).value,
    fader: document.querySelector(`[data-key="slider:delay:${which}"]`).value,
    travel: [...document.querySelectorAll('.cellpanel .crow')].find((row) => row.querySelector(`.chanpill.${which[0]}`)).querySelector('small').textContent,
  }), s);
  await withConsole({}, async (page) => {
    await page.hostSend('devices', STREAM_UP);
    await page.hostSend('restore', DEMO);
    await openCell(page, 'timing');
    assert.deepEqual(await side(page, 'right'), { field: '0.354', fader: '0.354', travel: '121.4 mm of speaker travel' });
    await typeInto(page, 'field:delay:left', '12');
    assert.equal((await lastState(page)).delayLeftMs, 12);
    assert.deepEqual(await side(page, 'left'), { field: '12.000', fader: '5', travel: '4116 mm of speaker travel' });
    assert.deepEqual((await strip(page)).cells.timing, { value: '12.00 / 0.35', unit: 'ms', warn: false });
    // A decimal comma is the point: 1.5 ms, not 15.
    await typeInto(page, 'field:delay:left', '1,5');
    assert.equal((await lastState(page)).delayLeftMs, 1.5);
    assert.deepEqual(await side(page, 'left'), { field: '1.500', fader: '1.5', travel: '514.5 mm of speaker travel' });
    await typeInto(page, 'field:delay:left', '0.12345');
    assert.equal((await lastState(page)).delayLeftMs, 0.123, 'whole microseconds');
    await slide(page, 'slider:delay:right', 2.5);
    assert.equal((await lastState(page)).delayRightMs, 2.5);
    assert.equal(await page.page.inputValue(key('field:delay:right')), '2.500');
    await page.page.dblclick(key('slider:delay:right'));
    assert.equal((await lastState(page)).delayRightMs, 0.354, 'a double-click gives the delay the room was loaded with');
    assert.deepEqual(await side(page, 'right'), { field: '0.354', fader: '0.354', travel: '121.4 mm of speaker travel' });
  });
});

test('Output: the trim, and the window size that is never sent', async () => {
  await withConsole({}, async (page) => {
    await page.hostSend('devices', STREAM_UP);
    await page.hostSend('restore', DEMO);
    await openCell(page, 'output');
    await typeInto(page, 'field:trim', '-3');
    assert.equal((await lastState(page)).outputDb, -3);
    assert.deepEqual((await strip(page)).cells.output, { value: '-3.0', unit: 'dB', warn: false }, 'a plain hyphen-minus');
    assert.equal(await page.page.inputValue(key('slider:trim')), '-3');
    await slide(page, 'slider:trim', 4.4);
    assert.equal((await lastState(page)).outputDb, 4.4);
    assert.equal(await page.page.inputValue(key('field:trim')), '4.4');
    await page.page.dblclick(key('slider:trim'));
    assert.equal((await lastState(page)).outputDb, 0);
    assert.equal(await page.page.inputValue(key('field:trim')), '0.0');
    assert.equal((await strip(page)).cells.output.value, '0.0');

    const sent = (await states(page)).length;
    await page.page.click(key('seg:ui:1.25'));
    const scale = await page.page.evaluate(() => ({
      ui: document.documentElement.style.getPropertyValue('--ui'),
      stored: localStorage.getItem('brindle.plugin.ui.v1'),
      on: document.querySelector('.seggroup .segbtn.on').dataset.key,
    }));
    assert.deepEqual(scale, { ui: '1.25', stored: '1.25', on: 'seg:ui:1.25' });
    assert.equal((await states(page)).length, sent, 'no state for the window size');
    assert.equal(await page.page.evaluate(() => document.querySelector('.utilrow')), null, 'no noise under a host');
  });
});

test('Output in the preview: the noise buttons play, show what plays and stop', async () => {
  const noise = (page) => page.page.evaluate(() => ({
    buttons: [...document.querySelectorAll('.utilrow button')].map((b) => `${b.textContent}${b.className ? ` .${b.className}` : ''}`),
    live: document.getElementById('brandDot').classList.contains('live'),
  }));
  await withConsole(PREVIEW, async (page) => {
    await openCell(page, 'output');
    assert.deepEqual(await noise(page), { buttons: ['\u25B6 Pink noise', '\u25B6 Brown noise'], live: false });
    await page.page.click(key('noise:pink'));
    assert.deepEqual(await noise(page), { buttons: ['\u23F9 Pink noise .sel', '\u25B6 Brown noise', '\u23F9 Stop .warm'], live: true });
    await page.page.click(key('noise:brown'));
    assert.deepEqual(await noise(page), { buttons: ['\u25B6 Pink noise', '\u23F9 Brown noise .sel', '\u23F9 Stop .warm'], live: true });
    await page.page.click(key('noise:stop'));
    assert.deepEqual(await noise(page), { buttons: ['\u25B6 Pink noise', '\u25B6 Brown noise'], live: false });
    await page.page.click(key('noise:pink'));
    await page.page.click(key('noise:pink'));
    assert.deepEqual(await noise(page), { buttons: ['\u25B6 Pink noise', '\u25B6 Brown noise'], live: false }, 'a click on the one playing stops it');
  });
  // A browser without Web Audio says so and plays nothing.
  await withConsole(PREVIEW, async (page) => {
    await page.page.evaluate(() => { window.AudioContext = undefined; window.webkitAudioContext = undefined; });
    await openCell(page, 'output');
    await page.page.click(key('noise:pink'));
    assert.deepEqual(await noise(page), { buttons: ['\u25B6 Pink noise', '\u25B6 Brown noise'], live: false });
    assert.equal(await text(page, '.utilrow [role="alert"]'), 'This browser has no Web Audio, so the preview cannot play.');
  });
});

test('Insert: the chain ends at the reported output device, and the slot does nothing', async () => {
  // [report, last stage]
  const cases = [
    [STREAM_UP, 'Speakers'],
    [seedDevices({ selected: { ...STREAM_UP.selected, outputDevice: '' } }), 'your speakers'],
    [seedDevices({ selected: null }), 'your speakers'],
  ];
  for (const [report, last] of cases) {
    await withConsole({}, async (page) => {
      await page.hostSend('devices', report);
      await openCell(page, 'insert');
      const got = await page.page.evaluate(() => ({
        chain: document.querySelector('.chainmap').textContent,
        us: document.querySelector('.chainmap b.us').textContent,
        slot: document.querySelector('.slot.empty button').disabled,
        label: document.querySelector('.slot.empty button').textContent,
      }));
      assert.deepEqual(got, { chain: `System audio\u2192Tonwell\u2192Your plugin\u2192${last}`, us: 'Tonwell', slot: true, label: 'Load a plugin\u2026 (coming next)' });
      assert.deepEqual((await strip(page)).cells.insert, { value: 'Empty', unit: '', warn: false });
      await page.page.click('.slot.empty button', { force: true });
      await page.settle();
      assert.deepEqual(await page.emits(), [['ready', {}]], 'nothing sent');
    });
  }
});

test('a "meter" repaints the Routing cell in place; the beacon waits for a render', async () => {
  // [meter, Routing cell]
  const steps = [
    [seedMeter({ latencyMs: 41.25 }), { value: 'Correcting', unit: '41.3 ms', warn: false }],
    [seedMeter({ latencyMs: Number.NaN }), { value: 'Correcting', unit: '0.0 ms', warn: false }],
    [seedMeter({ latencyMs: 'fast' }), { value: 'Correcting', unit: '0.0 ms', warn: false }],
    [seedMeter({ latencyMs: undefined }), { value: 'Correcting', unit: '0.0 ms', warn: false }],
    [seedMeter({ latencyMs: Number.POSITIVE_INFINITY }), { value: 'Correcting', unit: '0.0 ms', warn: false }],
    [seedMeter({ running: false }), { value: 'Not correcting', unit: 'set it up', warn: true }],
    // Not an object: the status inside the last report stands.
    ['running', { value: 'Correcting', unit: '12.5 ms', warn: false }],
  ];
  await withConsole({}, async (page) => {
    await page.hostSend('devices', STREAM_UP);
    // With a room loaded, so that the rail's load button is not the lit control.
    await page.hostSend('restore', DEMO);
    await openCell(page, 'phase');
    await page.page.evaluate(() => {
      for (const node of document.querySelectorAll('#app *')) node.__old = true;
    });
    for (const [status, cell] of steps) {
      await page.hostSend('meter', status);
      assert.deepEqual((await strip(page)).cells.routing, cell, JSON.stringify(status));
    }
    const kept = await page.page.evaluate(() => [...document.querySelectorAll('.scell, .cellpanel *')].every((n) => n.__old));
    assert.equal(kept, true, 'nothing rebuilt');
    await page.hostSend('meter', seedMeter({ running: false }));
    assert.deepEqual((await strip(page)).lit, [], 'no ring until a render');
    await page.hostSend('devices', STREAM_DOWN);
    assert.deepEqual((await strip(page)).lit, ['cell:routing scell warn beacon block lit']);
  });
});

test('the strip\'s look: equal cells, the marks, the rule, rows, sliders and segments', async () => {
  await withConsole({}, async (page) => {
    await page.page.addStyleTag({ content: '* { transition: none !important; }' });
    await page.hostSend('devices', STREAM_DOWN);
    await page.hostSend('restore', DEMO);
    await openCell(page, 'timing');
    await page.page.mouse.move(0, 0);
    const look = await page.page.evaluate(() => {
      const s = (sel) => getComputedStyle(document.querySelector(sel));
      // The cells whose name and widest value fit an equal share share the row equally.
      const widths = ['output', 'filters', 'insert'].map((k) => Math.round(document.querySelector(`[data-key="cell:${k}"]`).getBoundingClientRect().width));
      return {
        equalCells: new Set(widths).size === 1,
        lastDivider: s('.scell:last-of-type').borderRightStyle,
        divider: s('.scell').borderRightWidth,
        openName: s('.scell.on k').color,
        openChevron: s('.scell.on v i').color,
        warnValue: s('.scell.warn v b').color,
        unitBelow: document.querySelector('.scell v u').getBoundingClientRect().top >= document.querySelector('.scell v b').getBoundingClientRect().bottom - 1,
        litCell: s('.scell.lit').boxShadow,
        rowHeight: s('.cellpanel .crow').minHeight,
        slider: s('[data-key="slider:delay:left"]').width,
        pill: s('.cellpanel .chanpill').marginRight,
        typed: s('[data-key="field:delay:left"]').width,
      };
    });
    assert.deepEqual(look, {
      equalCells: true, lastDivider: 'none', divider: '1px', openName: 'rgb(220, 75, 46)', openChevron: 'rgb(220, 75, 46)',
      warnValue: 'rgb(228, 89, 43)', unitBelow: true, litCell: 'rgb(220, 75, 46) 0px 0px 0px 2px', rowHeight: '37px',
      slider: '104px', pill: '8px', typed: '88px',
    });
    await openCell(page, 'phase');
    await page.page.click(key('seg:phase:linear'));
    await page.page.mouse.move(0, 0);
    const phase = await page.page.evaluate(() => {
      const s = (sel) => getComputedStyle(document.querySelector(sel));
      return {
        chosen: `${s('.segbtn.on').color} ${s('.segbtn.on').borderBottomWidth} ${s('.segbtn.on').borderBottomColor} ${s('.segbtn.on').fontWeight}`,
        other: `${s('.segbtn:not(.on)').borderBottomColor}`,
        subIndent: s('.crow.sub > .k').paddingLeft,
        warn: `${s('.warnbox.slim').backgroundColor} ${s('.warnbox.slim').color} ${s('.warnbox.slim').padding} ${s('.warnbox.slim').fontSize}`,
        lat: `${s('.bignum.lat').fontSize} ${s('.bignum.lat u').fontSize}`,
      };
    });
    assert.deepEqual(phase, {
      chosen: 'rgb(220, 75, 46) 2px rgb(220, 75, 46) 700', other: 'rgba(0, 0, 0, 0)', subIndent: '16px',
      warn: 'rgb(247, 232, 222) rgb(138, 58, 23) 9px 11px 12px', lat: '19px 11.5px',
    });
    await openCell(page, 'amount');
    const amount = await page.page.evaluate(() => {
      const s = (sel) => getComputedStyle(document.querySelector(sel));
      return [s('[data-key="slider:amount"]').width, s('.bignum.pct').fontSize, s('.bignum.pct').color, s('.crow input[type="checkbox"]').width];
    });
    assert.deepEqual(amount, ['132px', '26px', 'rgb(220, 75, 46)', '17px']);
  });
});

// The strip's rule and the panels' transitions run to their end (after the frame that starts
// the rule's); the page's endless animations do not count.
async function transitionsEnded(page) {
  await page.settle();
  await page.page.waitForFunction(() => document.getAnimations()
    .every((a) => a.effect.getComputedTiming().iterations === Infinity || a.playState !== 'running'));
}

test('the strip is photographed with each panel open', async () => {
  const dir = path.join(ROOT, 'build', 'page-screenshots');
  fs.mkdirSync(dir, { recursive: true });
  const shots = [
    ['amount', DEMO, []],
    ['phase-linear', DEMO, ['seg:phase:linear']],
    ['timing', DEMO, []],
    ['output', DEMO, []],
    ['filters', DEMO, []],
    ['routing', DEMO, []],
    ['insert', DEMO, []],
  ];
  for (const [name, restore, clicks] of shots) {
    await withConsole({ viewport: { width: 1120, height: 860 } }, async (page) => {
      await page.hostSend('devices', STREAM_UP);
      await page.hostSend('restore', restore);
      await openCell(page, name.split('-')[0]);
      for (const click of clicks) await page.page.click(key(click));
      await page.page.mouse.move(0, 0);
      await transitionsEnded(page);
      assertThemed(await photograph(page, path.join(dir, `strip-${name}.png`)), name);
    });
  }
  // The lit Routing cell, and the preview's noise row while pink noise plays.
  await withConsole({}, async (page) => {
    await page.hostSend('devices', STREAM_DOWN);
    await page.hostSend('restore', DEMO);
    await openCell(page, 'amount');
    await page.page.mouse.move(0, 0);
    await transitionsEnded(page);
    assertThemed(await photograph(page, path.join(dir, 'strip-routing-lit.png')), 'the lit Routing cell');
  });
  await withConsole(PREVIEW, async (page) => {
    await openCell(page, 'output');
    await page.page.click(key('noise:pink'));
    await page.page.mouse.move(0, 0);
    await transitionsEnded(page);
    assertThemed(await photograph(page, path.join(dir, 'strip-preview-output.png')), 'the preview\'s noise row');
  });
});
