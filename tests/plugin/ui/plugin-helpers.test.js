'use strict';

// The console script's pure helpers, loaded by require: it must not boot outside a page.
const test = require('node:test');
const assert = require('node:assert/strict');
const C = require('../../../plugin/ui/plugin.js');

test('loaded by require the console script hands out its helpers and builds nothing', () => {
  assert.equal(typeof C.fmtHz, 'function');
  assert.equal(globalThis.document, undefined);
  assert.equal(C.UI_STORE, 'brindle.plugin.ui.v1');
  assert.equal(C.STORE, 'brindle.plugin.v1');
  assert.deepEqual(C.UI_STEPS.map((s) => [s.key, s.label]), [['fit', 'Fit'], ['1', '100%'], ['1.25', '125%'], ['1.5', '150%']]);
});

test('formatters, colours and routes', () => {
  const cases = [
    [C.fmtHz, [10000], '10k'], [C.fmtHz, [12500], '12.5k'], [C.fmtHz, [20000], '20k'], [C.fmtHz, [1000], '1.0k'],
    [C.fmtHz, [1250], '1.25k'], [C.fmtHz, [1500], '1.5k'], [C.fmtHz, [96], '96'], [C.fmtHz, [96.25], '96.3'],
    [C.fmtDb, [-6.44], '\u22126.4'], [C.fmtDb, [3], '+3.0'], [C.fmtDb, [0], '0.0'], [C.fmtDb, [-0.04], '\u22120.0'],
    [C.fmtDb, [-3], '\u22123.0'], [C.fmtDb, [2.345, 2], '+2.35'],
    [C.noteName, [440], 'A4'], [C.noteName, [96], 'G2'], [C.noteName, [45], 'F\u266F1'], [C.noteName, [20], 'D\u266F0'],
    [C.mmFor, [0.354], 121.4], [C.mmFor, [1], 343], [C.mmFor, [0], 0],
    [C.hexA, ['#abc', 0.5], 'rgba(170,187,204,0.5)'], [C.hexA, ['#F2694A', 0.2], 'rgba(242,105,74,0.2)'],
    [C.hexA, ['rgb(1,2,3)', 0.5], 'rgb(1,2,3)'], [C.hexA, ['#abcd', 0.5], '#abcd'],
    [C.uiScaleFor, ['fit', 560, 860], 0.75], [C.uiScaleFor, ['fit', 1400, 1000], 1.163], [C.uiScaleFor, ['2'], 1.75],
    [C.uiScaleFor, ['x'], 1], [C.uiScaleFor, ['1.25'], 1.25],
  ];
  for (const [fn, args, want] of cases) assert.equal(fn(...args), want, `${fn.name}(${args.join(', ')})`);
});

test('a route copy takes the defaults, and a pending route is live while it matches the running one', () => {
  assert.deepEqual(C.copyRoute(undefined), { deviceType: '', inputDevice: '', outputDevice: '', sampleRate: 48000, bufferSize: 256, queueMs: 30 });
  assert.deepEqual(C.copyRoute({ deviceType: 'ALSA', sampleRate: 0, bufferSize: 'x', queueMs: '40', extra: 1 }),
    { deviceType: 'ALSA', inputDevice: '', outputDevice: '', sampleRate: 48000, bufferSize: 256, queueMs: 40 });
  const selected = { deviceType: 'ALSA', inputDevice: 'Cable', outputDevice: 'Speakers', sampleRate: 48000, bufferSize: 256, queueMs: 30 };
  const report = { selected };
  assert.equal(C.routeIsLive(null, report), true, 'no pending route');
  assert.equal(C.routeIsLive(C.copyRoute(selected), null), true, 'no report');
  assert.equal(C.routeIsLive(C.copyRoute(selected), report), true);
  assert.equal(C.routeIsLive({ ...C.copyRoute(selected), queueMs: '30' }, report), true, 'compared as text');
  assert.equal(C.routeIsLive({ ...C.copyRoute(selected), outputDevice: 'Headphones' }, report), false);
  assert.equal(C.routeIsLive({ ...C.copyRoute(selected), bufferSize: 512 }, report), false);
});

test('the palette falls back to its own colours where no style sheet is there to read', () => {
  assert.deepEqual([C.C_ACCENT(), C.C_CHAN_L(), C.C_CHAN_R(), C.C_INK(), C.C_INK_DIM(), C.C_WELL()],
    ['#f2694a', '#7d92ff', '#ff8f57', '#ece8de', '#9c968b', '#16181c']);
  assert.equal(C.PLOT_FONT, "'Space Grotesk',system-ui,sans-serif");
});

test('the meta line names the filters, the amount, the delays and an edit', () => {
  const P = require('../../../ui/js/profile.js');
  const band = { freqHz: 80, gainDb: -4, q: 3, type: 'bell', stereo: 'stereo' };
  const s = (fields) => P.sanitizeState({ ...P.defaultState(), ...fields });
  const plain = s({ bands: [band] });
  const cases = [
    [s({}), 'Load a profile to correct your room'],
    [s({ bands: [band], baseline: { bands: plain.bands, correctionPct: 65, delayLeftMs: 0, delayRightMs: 0 } }), '1 filter · 65% correction'],
    [s({ bands: [band, band], correctionPct: 80, delayLeftMs: 1.25 }), '2 filters · 80% correction · delay 1.250 / 0.000 ms · edited'],
  ];
  for (const [state, want] of cases) assert.equal(C.metaLine(state), want);
});
