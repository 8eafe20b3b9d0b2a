'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const FFP = require('../../../ui/js/fabfilter-ffp.js');

const bell = (freqHz, gainDb, stereo = 'stereo', q = 4) => ({ freqHz, gainDb, q, type: 'bell', stereo });
const deepFreeze = (v) => {
  if (v && typeof v === 'object') Object.values(v).forEach(deepFreeze);
  return Object.freeze(v);
};

test('correctionBands cuts what the room boosts, splitting sides only past the tolerance', () => {
  const cases = [
    { label: 'close sides make one stereo bell', m: { freqHz: 50, boostDbL: 6, boostDbR: 5.6 }, want: [bell(50, -5.8)] },
    { label: 'far sides make a left then a right bell', m: { freqHz: 50, boostDbL: 6, boostDbR: 5.4 }, want: [bell(50, -6, 'left'), bell(50, -5.4, 'right')] },
    { label: 'a move under 0.5 dB is dropped', m: { freqHz: 50, boostDbL: 0.4, boostDbR: 0.4 }, want: [] },
    { label: 'a cut is capped at 30 dB', m: { freqHz: 50, boostDbL: 40, boostDbR: 40 }, want: [bell(50, -30)] },
    { label: 'boostDb alone serves both sides', m: { freqHz: 70, boostDb: 3 }, want: [bell(70, -3)] },
    { label: 'a null side falls back to boostDb', m: { freqHz: 70, boostDbL: null, boostDbR: 1, boostDb: 5 }, want: [bell(70, -5, 'left'), bell(70, -1, 'right')] },
    { label: 'a non-finite side falls back like a missing one', m: { freqHz: 70, boostDbL: NaN, boostDbR: Infinity, boostDb: 2 }, want: [bell(70, -2)] },
    { label: 'a boost is capped by maxBoostDb', m: { freqHz: 70, boostDbL: -9, boostDbR: -9 }, want: [bell(70, 6)] },
    { label: 'gains round on the exact value, halves away from zero', m: { freqHz: 70, boostDbL: 0.625, boostDbR: 0.625 }, opts: { minMoveDb: 0.1 }, want: [bell(70, -0.63)] },
  ];
  for (const { label, m, opts, want } of cases) assert.deepEqual(FFP.correctionBands([m], opts), want, label);
});

test('a balance correction with cuts only keeps just the side that moves', () => {
  const bands = FFP.correctionBands([{ freqHz: 210, q: 3.4, boostDbL: 2.5, boostDbR: 0 }], { splitTolDb: 0.25, maxBoostDb: 0, qFn: (m) => m.q });
  assert.deepEqual(bands, [bell(210, -2.5, 'left', 3.4)]);
});

test('qFn gives each measurement its Q, rounded to 2 decimals', () => {
  const bands = FFP.correctionBands([{ freqHz: 40, boostDb: 3, q: 5.555 }, { freqHz: 80, boostDb: 3 }], { qFn: (m) => m.q || 3.5 });
  assert.deepEqual(bands.map((b) => b.q), [5.55, 3.5]);
  assert.deepEqual(FFP.correctionBands([{ freqHz: 40, boostDb: 3 }]).map((b) => b.q), [4], 'the default Q');
});

test('a measurement without a usable frequency makes no band', () => {
  const junk = [null, 7, { boostDb: 6 }, { freqHz: NaN, boostDb: 6 }, { freqHz: 0, boostDb: 6 }, { freqHz: '100', boostDb: 6 }];
  assert.deepEqual(FFP.correctionBands(junk), []);
  assert.deepEqual(FFP.tonalBands(junk.map((m) => (m && typeof m === 'object' ? { ...m, offsetDb: 5 } : m))), []);
});

test('capBands keeps the 24 strongest, earlier input first among equals, ordered by frequency', () => {
  // 30 bands: gains 1..30 dB in magnitude, frequencies falling, two ties around the cut.
  const bands = Array.from({ length: 30 }, (_, i) => bell(3000 - i * 10, i % 2 ? -(i + 1) : i + 1));
  bands[5] = bell(500, 7);   // ties with bands[6] (|-7|) at the cut: the earlier one stays
  const capped = FFP.capBands(bands);
  assert.equal(capped.length, 24);
  assert.ok(capped.includes(bands[5]) && !capped.includes(bands[6]));
  assert.ok(!capped.includes(bands[0]) && !capped.includes(bands[4]));
  const freqs = capped.map((b) => b.freqHz);
  assert.deepEqual(freqs, freqs.slice().sort((a, b) => a - b));
});

test('capBands keeps severity order among bands at one frequency', () => {
  const a = bell(96, -2, 'right'), b = bell(96, -4, 'left'), c = bell(40, 1);
  assert.deepEqual(FFP.capBands([a, c, b]), [c, b, a]);
});

test('tonalBands makes broad bells from the minimum frequency up, in input order', () => {
  const ranges = [
    { freqHz: 4000, offsetDb: 20 },
    { freqHz: 1000, offsetDb: -15 },
    { freqHz: 2000, offsetDb: 0.9 },
    { freqHz: 300, offsetDb: 5 },
    { freqHz: 800, offsetDb: NaN },
    { freqHz: 500, offsetDb: 2 },
  ];
  assert.deepEqual(FFP.tonalBands(ranges), [bell(4000, -12, 'stereo', 1), bell(1000, 6, 'stereo', 1), bell(500, -2, 'stereo', 1)]);
  assert.deepEqual(FFP.tonalBands([{ freqHz: 600, offsetDb: 3 }], { minFreqHz: 700 }), []);
});

test('preferCuts lowers a list that boosts and returns a list of cuts as it is', () => {
  assert.deepEqual(FFP.preferCuts([bell(100, 2), bell(200, -3)]), [bell(100, 0), bell(200, -5)]);
  const cuts = [bell(100, -1), bell(200, -3)];
  const same = FFP.preferCuts(cuts);
  assert.notEqual(same, cuts);
  assert.equal(same[0], cuts[0]);
  assert.deepEqual(FFP.preferCuts([bell(1, 0.125), bell(2, -0.001)]).map((b) => b.gainDb), [0, -0.13]);
});

test('the list builders leave their arguments alone', () => {
  const booms = deepFreeze([{ freqHz: 45, boostDbL: 8, boostDbR: 2 }, { freqHz: 90, boostDb: 4 }]);
  const bands = deepFreeze([bell(100, 2), bell(50, -3)]);
  assert.doesNotThrow(() => {
    FFP.correctionBands(booms);
    FFP.tonalBands(deepFreeze([{ freqHz: 1000, offsetDb: 3 }]));
    FFP.capBands(bands);
    FFP.preferCuts(bands);
  });
  assert.equal(FFP.NBANDS, 24);
});
