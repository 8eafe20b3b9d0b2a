'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const P = require('../../../ui/js/protocol.js');
const I = require('../../../ui/js/iso226.js');

const close = (actual, expected, tol, label) =>
  assert.ok(Math.abs(actual - expected) <= tol, `${label}: ${actual} is not within ${tol} of ${expected}`);
const range = (n) => Array.from({ length: n }, (_, i) => i);

// Recovers the swap index of each of the first steps of a shuffle of 0..n-1: the
// shuffle runs from the last index down, and each step fixes its position for good.
function firstSwaps(shuffled, steps) {
  const n = shuffled.length;
  const cur = range(n);
  const pos = range(n);
  const swaps = [];
  for (let i = n - 1; i > n - 1 - steps; i--) {
    const j = pos[shuffled[i]];
    swaps.push(j);
    [cur[i], cur[j]] = [cur[j], cur[i]];
    pos[cur[i]] = i;
    pos[cur[j]] = j;
  }
  return swaps;
}

test('the shuffle draws the generator\'s 32-bit sequence for each seed', () => {
  // On 100000 entries the first steps scale each draw by about 100000, so every
  // draw shows in full; a float multiply in the generator gives other draws.
  const n = 100000;
  const sequences = [
    { seed: 0, draws: [0.65813, 0.8034, 0.82761, 0.92868, 0.43621] },
    { seed: 1, draws: [0.65814, 0.03157, 0.40113, 0.29289, 0.67516] },
  ];
  for (const { seed, draws } of sequences) {
    const expected = draws.map((d, k) => Math.floor(d * (n - k)));
    assert.deepEqual(firstSwaps(P.seededShuffle(range(n), seed), draws.length), expected, `seed ${seed}`);
  }
});

test('seededShuffle gives the known order, repeats itself and returns a new list', () => {
  const list = Object.freeze([1, 2, 3, 4, 5, 6, 7, 8, 9, 10]);
  assert.deepEqual(P.seededShuffle(list, 1), [6, 2, 10, 9, 8, 5, 3, 4, 1, 7]);
  assert.deepEqual(P.seededShuffle(list, 1), P.seededShuffle(list, 1));
  assert.deepEqual(P.seededShuffle(list, 1 + 2 ** 32), P.seededShuffle(list, 1), 'the seed is taken modulo 2^32');
  assert.notDeepEqual(P.seededShuffle(list, 2), P.seededShuffle(list, 1));
  for (const short of [[], ['only']]) {
    const copy = P.seededShuffle(short, 5);
    assert.deepEqual(copy, short);
    assert.notEqual(copy, short);
  }
  assert.deepEqual(P.seededShuffle(null, 1), []);
});

test('the reference level puts the loudest loudness-matching tone on the ceiling', () => {
  assert.equal(Number(P.REF_DBFS.toFixed(4)), -34.3246);
  close(P.REF_DBFS + I.equalLoudnessGainDb(40, 80) + Math.max(...P.R1_OFFSETS), P.HEADROOM_CEIL, 1e-12, 'loudest tone');
  assert.deepEqual([P.PHON, P.HEADROOM_CEIL, P.R1_REPS, P.R1_REF_SEED, P.LADDER_TRIM], [80, -3, 3, 1234, 3]);
});

test('the loudness-matching trials: five offsets three times each, shuffled per frequency', () => {
  const lists = P.r1Trials();
  assert.deepEqual(lists.map((l) => l.freq), [40, 60, 100, 1000, 3000]);
  close(lists[0].baseDb, -9.0, 1e-9, 'base at 40 Hz');
  for (const { freq, baseDb, trials } of lists) {
    close(baseDb, P.REF_DBFS + I.equalLoudnessGainDb(freq, 80), 1e-12, `base at ${freq}`);
    assert.deepEqual(trials.map((t) => t.trial), range(15).map((i) => i + 1));
    const offsets = trials.map((t) => t.offsetDb);
    assert.deepEqual(offsets.slice().sort((a, b) => a - b), [-6, -6, -6, -3, -3, -3, 0, 0, 0, 3, 3, 3, 6, 6, 6]);
    const inOrder = [-6, -6, -6, -3, -3, -3, 0, 0, 0, 3, 3, 3, 6, 6, 6];
    assert.deepEqual(offsets, P.seededShuffle(inOrder, freq * 31 + 7), `order at ${freq}`);
    for (const t of trials) assert.equal(t.toneDb, baseDb + t.offsetDb);
  }
  lists[0].trials.length = 0;
  assert.equal(P.r1Trials()[0].trials.length, 15, 'each call is afresh');
});

test('ladder tone levels take their defaults for a missing extra and trim', () => {
  const cases = [
    { args: [1000, 0], db: P.REF_DBFS - 3 },
    { args: [1000, 0, null, null], db: P.REF_DBFS - 3 },
    { args: [1000, 6, 1], db: P.REF_DBFS - 3 + 7 },
    { args: [40, -3, 0, 0], db: P.REF_DBFS + I.equalLoudnessGainDb(40, 80) - 3 },
  ];
  for (const { args, db } of cases) close(P.ladderToneLevelDb(...args), db, 1e-12, args.join(', '));
});

test('the K-weighting approximation rolls off the bass and lifts the top by 4 dB', () => {
  close(P.kGain(38), -6.02, 0.01, 'at the high-pass corner');
  assert.ok(P.kGain(10) < -20);
  close(P.kGain(20000), 4, 0.01, 'top of the shelf');
  assert.ok(P.kGain(1000) > 0 && P.kGain(1000) < 1);
});

test('R6 levels by method, and an unknown method is raised with its name', () => {
  for (const f of P.R6_LADDER) {
    assert.equal(P.r6LevelDb('equal_dbfs', f), P.REF_DBFS);
    assert.equal(P.r6LevelDb('equal_iso226', f), P.REF_DBFS + I.equalLoudnessGainDb(f, 80));
    assert.equal(P.r6LevelDb('equal_kweight', f), P.REF_DBFS + P.kGain(1000) - P.kGain(f));
  }
  assert.equal(P.r6LevelDb('equal_kweight', 1000), P.REF_DBFS);
  for (const name of ['equal_aweight', 'EQUAL_DBFS', 'toString', '']) {
    assert.throws(() => P.r6LevelDb(name, 1000), (e) => e instanceof Error && e.message === name, name);
  }
});

test('R6 hides each method behind a shuffled label and pairs shuffled deltas', () => {
  assert.deepEqual(P.R6_LABELS, P.seededShuffle(['X', 'Y', 'Z'], 20260720));
  assert.deepEqual(P.R6_LABELS.slice().sort(), ['X', 'Y', 'Z']);
  assert.deepEqual(Object.keys(P.R6_MAPPING), P.R6_LABELS);
  P.R6_LABELS.forEach((label, i) => assert.equal(P.R6_MAPPING[label], P.R6_METHODS[i]));
  const deltas = P.seededShuffle([2, 4, 6, 10, 2, 4, 6, 10], 99);
  assert.deepEqual(
    P.R6_PAIRS,
    deltas.map((deltaDb, i) => ({ trial: i + 1, deltaDb, aDb: P.REF_DBFS, bDb: P.REF_DBFS + deltaDb }))
  );
});

test('the sweeps map time and frequency both ways and peak at the level of their start', () => {
  for (const [name, sweep, f1, dur] of [['R4', P.R4, 200, 45], ['SWEEP', P.SWEEP, 500, 60]]) {
    assert.deepEqual([sweep.f0, sweep.f1, sweep.durSec], [30, f1, dur], name);
    close(sweep.peakDb, -3.72, 0.005, `${name} peak`);
    close(sweep.freqAtTime(0), 30, 1e-9, `${name} start`);
    close(sweep.freqAtTime(dur), f1, 1e-9, `${name} end`);
    close(sweep.freqAtTime(dur / 2), Math.sqrt(30 * f1), 1e-9, `${name} geometric middle`);
    close(sweep.timeAtFreq(sweep.freqAtTime(17)), 17, 1e-9, `${name} round trip`);
  }
  assert.deepEqual(P.R4.designs.map((d) => [d.id, d.bumps.length]), [['01', 0], ['02', 1], ['03', 2], ['04', 1], ['05', 2], ['06', 1]]);
  assert.deepEqual(P.R4.designs[4].bumps, [{ f: 45, gainDb: 9, q: 16 }, { f: 130, gainDb: 9, q: 16 }]);
});

test('the tonal pass: ranges and their centres, the threshold, and the warble stage', () => {
  const T = P.TONAL;
  assert.deepEqual(
    T.ranges.map((r) => [r.key, r.loHz, r.hiHz, r.centerHz]),
    [
      ['b20', 20, 40, 28], ['b40', 40, 60, 49], ['b60', 60, 80, 69], ['b80', 80, 100, 89],
      ['b100', 100, 120, 110], ['b120', 120, 160, 139], ['b160', 160, 200, 179], ['lowmid', 200, 500, 316],
      ['highmid', 1500, 3000, 2121], ['high', 3000, 6000, 4243], ['air8k', 6000, 10000, 7746], ['air12k', 10000, 20000, 14142],
    ]
  );
  assert.deepEqual(T.ranges.slice(0, 2).map((r) => r.label).concat(T.ranges.slice(7).map((r) => r.label)),
    ['20\u201340 Hz', '40\u201360 Hz', 'low-mid', 'high-mid', 'high', '8 kHz', '12.5 kHz']);
  assert.equal(T.centerHz({ loHz: 2, hiHz: 4.5 }), 3, 'a half rounds up');
  assert.equal(T.minCorrectionHz, 500);
  assert.equal(T.level, P.REF_DBFS - 6);

  const S = T.sweep;
  assert.equal(S.levelDb(8000), S.levelDb(12500), 'flat above 4 kHz');
  close(S.levelDb(1000), P.REF_DBFS - 6 + I.listeningWarbleGainDb(1000, 1 / 6, 80), 1e-12, 'level at 1 kHz');
  assert.ok(S.levelDb(63) > S.levelDb(1000) + 15, 'the bass gets its contour');
  const labels = [[99, 'sub'], [100, 'low'], [314, 'low'], [315, 'mid'], [1199, 'mid'], [1200, 'presence'], [4999, 'presence'], [5000, 'air']];
  for (const [f, label] of labels) assert.equal(S.label(f), label, `${f} Hz`);
  assert.deepEqual(S.centers.map(S.fmt), ['63 Hz', '125 Hz', '250 Hz', '500 Hz', '1 kHz', '2 kHz', '4 kHz', '8 kHz', '12.5 kHz']);
});

test('the hidden R3 colouration reads its three bells', () => {
  close(P.r3EqMagAt(100), 6, 0.3, '100 Hz');
  close(P.r3EqMagAt(315), -6, 0.3, '315 Hz');
  close(P.r3EqMagAt(4000), 5, 0.3, '4 kHz');
  close(P.r3EqMagAt(20), 0, 0.3, 'far below');
});

test('the shared definitions cannot be changed by a caller', () => {
  assert.ok(Object.isFrozen(P) && Object.isFrozen(P.TONAL) && Object.isFrozen(P.TONAL.ranges[0]) && Object.isFrozen(P.ARRIVAL.fineTune));
  assert.throws(() => {
    P.TONAL.minCorrectionHz = 100;
  }, TypeError);
  assert.equal(P.TONAL.minCorrectionHz, 500);
});
