'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const Fit = require('../../../ui/js/eq-fit.js');
const B = require('../../../ui/js/biquad.js');

const bell = (freqHz, gainDb, q = 4, stereo = 'stereo') => ({ freqHz, gainDb, q, type: 'bell', stereo });
const peakDb = (f0, q, g, f, fs = 48000) => B.magnitudeDb(B.designPeak(f0, fs, q, g), f, fs);
const close = (actual, expected, tol, label) =>
  assert.ok(Math.abs(actual - expected) <= tol, `${label}: ${actual} is not within ${tol} of ${expected}`);
const deepFreeze = (v) => {
  if (v && typeof v === 'object') Object.values(v).forEach(deepFreeze);
  return Object.freeze(v);
};

const { seeded } = require('../../../tools/seeded-random.js');

test('responseDb sums the bells that reach a channel and nothing else', () => {
  const bands = [
    bell(100, -6, 2),
    bell(100, 3, 2, 'left'),
    { freqHz: 100, gainDb: 4, q: 2, type: 'lowshelf', stereo: 'stereo' },
    { freqHz: 100, gainDb: 2, q: 0 },            // missing type and placement: a stereo bell, Q taken as 1
  ];
  const shared = peakDb(100, 2, -6, 100) + peakDb(100, 1, 2, 100);
  close(Fit.responseDb(bands, 100, 'left', 48000), shared + peakDb(100, 2, 3, 100), 1e-12, 'left');
  close(Fit.responseDb(bands, 100, 'right', 48000), shared, 1e-12, 'right');
  close(Fit.responseDb(bands, 100, 'right', 0), shared, 1e-12, 'a rate of 0 is 48000');
  close(Fit.responseDb([bell(10000, 6, 1)], 10000, 'left', 96000), peakDb(10000, 1, 6, 10000, 96000), 1e-12, 'at 96 kHz');
  assert.equal(Fit.responseDb([], 100, 'left'), 0);
  assert.equal(Fit.responseDb(undefined, 100, 'left'), 0);
});

test('targetLoss weighs each side it is given and penalises every gain', () => {
  const bands = [bell(100, -4, 3), { freqHz: 2000, gainDb: 2, q: 1, type: 'highshelf' }];
  const r = Fit.responseDb(bands, 100, 'left');
  const penalty = 0.002 * (16 + 4);
  close(Fit.targetLoss(bands, [{ freqHz: 100, gainDbL: -6, gainDbR: null }]), (r + 6) ** 2 + penalty, 1e-12, 'null right side');
  close(Fit.targetLoss(bands, [{ freqHz: 100, gainDbL: -6, gainDbR: -5, weight: 0.5 }]), 0.5 * ((r + 6) ** 2 + (r + 5) ** 2) + penalty, 1e-12, 'weighted');
  close(Fit.targetLoss(bands, [{ freqHz: 100, gainDbR: -5 }], { gainPenalty: 0 }), (r + 5) ** 2, 1e-12, 'no penalty');
});

test('fitBandGains without targets returns unchanged copies of the bands', () => {
  const bands = deepFreeze([bell(100, 0.3, 2.345), { freqHz: 300, gainDb: -1.234, q: 3 }]);
  const out = Fit.fitBandGains(bands, []);
  assert.deepEqual(out, [bell(100, 0.3, 2.345), { freqHz: 300, gainDb: -1.234, q: 3, type: 'bell', stereo: 'stereo' }]);
  assert.notEqual(out[0], bands[0]);
  assert.deepEqual(Fit.fitBandGains([], [{ freqHz: 100, gainDbL: -3, gainDbR: -3 }]), []);
});

test('fitting moves gains toward the targets and rounds the result', () => {
  const out = Fit.fitBandGains([bell(100, -2, 3.333)], [{ freqHz: 100, gainDbL: -6, gainDbR: -6 }]);
  assert.equal(out.length, 1);
  close(out[0].gainDb, -6, 0.11, 'fitted gain');
  assert.equal(out[0].q, 3.33);
  assert.equal(out[0].gainDb, Number(out[0].gainDb.toFixed(2)));
});

test('a band keeps the sign it came in with and is dropped once it shrinks away', () => {
  const wantBoost = [{ freqHz: 100, gainDbL: 6, gainDbR: 6 }];
  const wantCut = [{ freqHz: 100, gainDbL: -6, gainDbR: -6 }];
  const keepAll = { minMoveDb: 0 };
  assert.deepEqual(Fit.fitBandGains([bell(100, -3)], wantBoost, keepAll).map((b) => b.gainDb), [0], 'a cut ends at 0, not above');
  assert.deepEqual(Fit.fitBandGains([bell(100, 3)], wantCut, keepAll).map((b) => b.gainDb), [0], 'a boost ends at 0, not below');
  assert.deepEqual(Fit.fitBandGains([bell(100, 0)], wantCut, keepAll).map((b) => b.gainDb), [0], 'a 0 dB band is held');
  assert.deepEqual(Fit.fitBandGains([bell(100, -3), bell(100, 0)], wantBoost), [], 'and pruned by default');
  const capped = Fit.fitBandGains([bell(100, 1)], [{ freqHz: 100, gainDbL: 20, gainDbR: 20 }], { maxBoostDb: 4 });
  assert.equal(capped[0].gainDb, 4);
});

test('an empty step list only prunes and rounds', () => {
  const out = Fit.fitBandGains([bell(100, -0.4), bell(200, -2.345, 1.005)], [{ freqHz: 100, gainDbL: -9 }], { steps: [] });
  assert.deepEqual(out, [bell(200, -2.35, 1)].map((b) => ({ ...b, gainDb: Number((-2.345).toFixed(2)), q: Number((1.005).toFixed(2)) })));
});

// A plain coordinate descent over targetLoss: the fit must land on exactly the same gains.
function referenceFit(bands, targets, maxBoostDb) {
  const work = bands.map((b) => ({ ...b }));
  const ranges = work.map((b) => (b.gainDb < 0 ? [-30, 0] : b.gainDb > 0 ? [0, maxBoostDb] : [0, 0]));
  const loss = () => Fit.targetLoss(work, targets);
  for (const step of [2, 1, 0.5, 0.25, 0.1]) {
    let changed = true;
    for (let pass = 0; pass < 12 && changed; pass++) {
      changed = false;
      work.forEach((band, i) => {
        const g = band.gainDb;
        let best = g;
        let bestLoss = loss();
        for (const raw of [g - step, g + step]) {
          band.gainDb = Math.min(ranges[i][1], Math.max(ranges[i][0], raw));
          const l = loss();
          if (l + 1e-9 < bestLoss) [best, bestLoss] = [band.gainDb, l];
        }
        band.gainDb = best;
        if (Math.abs(best - g) > 1e-9) changed = true;
      });
    }
  }
  return work.filter((b) => Math.abs(b.gainDb) >= 0.5).map((b) => ({ ...b, gainDb: Number(b.gainDb.toFixed(2)), q: Number(b.q.toFixed(2)) }));
}

test('the fit equals a plain descent over the whole-list loss', () => {
  const rand = seeded(20260618);
  for (let run = 0; run < 6; run++) {
    const bands = Array.from({ length: 6 }, () =>
      bell(30 + rand() * 300, (rand() < 0.8 ? -1 : 1) * (0.5 + rand() * 8), 1 + rand() * 6, ['stereo', 'left', 'right'][Math.floor(rand() * 3)]));
    const targets = Array.from({ length: 10 }, () => ({
      freqHz: 30 + rand() * 300,
      gainDbL: rand() < 0.1 ? null : -rand() * 9,
      gainDbR: -rand() * 9 + 1,
      weight: rand() < 0.5 ? 1 : 0.45,
    }));
    assert.deepEqual(Fit.fitBandGains(bands, targets, { maxBoostDb: 3 }), referenceFit(bands, targets, 3), `run ${run}`);
  }
});

test('targets: centres, a midpoint guard between close neighbours, and only the outer edges of an overlap', () => {
  const booms = deepFreeze([
    { freqHz: 48, lowHz: 45.3, highHz: 50.9, boostDbL: 7, boostDbR: 7 },
    { freqHz: 45, lowHz: 42.4, highHz: 47.7, boostDbL: 8.5, boostDbR: 8.5 },
  ]);
  const targets = Fit.targetsFromMeasurements(booms);
  assert.deepEqual(targets.map((t) => [t.freqHz, t.gainDbL, t.weight]), [
    [42.4, -4.25, 0.45],
    [45, -8.5, 1],
    [Math.sqrt(45 * 48), -7.75, 0.8],
    [48, -7, 1],
    [50.9, -3.5, 0.45],
  ]);
  assert.equal(Number(targets[2].freqHz.toFixed(2)), 46.48);
});

test('a midpoint guard needs neighbours within half an octave', () => {
  const guards = (a, b) => Fit.targetsFromMeasurements([{ freqHz: a, boostDb: 3 }, { freqHz: b, boostDb: 3 }]).filter((t) => t.weight === 0.8);
  assert.deepEqual(guards(48, 63).map((t) => Number(t.freqHz.toFixed(2))), [54.99]);
  assert.deepEqual(guards(63, 96), []);
});

test('wanted gains are scaled, clamped, and never boosts unless boosts are allowed', () => {
  const m = [{ freqHz: 100, boostDbL: 40, boostDbR: -4 }];
  const [cutsOnly] = Fit.targetsFromMeasurements(m);
  assert.deepEqual([cutsOnly.gainDbL, cutsOnly.gainDbR], [-30, 0]);
  const [boosts] = Fit.targetsFromMeasurements(m, { allowBoosts: true, strength: 2, maxBoostDb: 6 });
  assert.deepEqual([boosts.gainDbL, boosts.gainDbR], [-30, 6]);
  const [half] = Fit.targetsFromMeasurements([{ freqHz: 100, boostDb: 5, boostDbR: NaN }], { strength: 0.5 });
  assert.deepEqual([half.gainDbL, half.gainDbR], [-2.5, -2.5], 'boostDb serves a missing or non-finite side');
});

test('a measurement without a usable frequency gives no target', () => {
  const targets = Fit.targetsFromMeasurements([{ freqHz: NaN, boostDb: 6 }, { boostDb: 6 }, null, { freqHz: -5, boostDb: 6 }, { freqHz: 80, boostDb: 6 }]);
  assert.deepEqual(targets, [{ freqHz: 80, gainDbL: -6, gainDbR: -6, weight: 1 }]);
});
