'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const A = require('../../../ui/js/arrival.js');
const Protocol = require('../../../ui/js/protocol.js');

const close = (actual, expected, tol, label) =>
  assert.ok(Math.abs(actual - expected) <= tol, `${label}: ${actual} is not within ${tol} of ${expected}`);
const repeat = (answer, n) => Array.from({ length: n }, () => answer);

// A listener with a true offset on one side: "same" while the probe cannot reveal
// it, then the side; in the narrow phase the candidate nearer the truth wins.
function listen(side, offset, options) {
  const answers = [];
  for (;;) {
    const s = A.searchState(answers, options);
    if (s.done) return { state: s, answers };
    let answer;
    if (s.phase === 'coarse') answer = s.probeSamples < offset ? 'same' : side === 'left' ? 'a' : 'b';
    else {
      const da = Math.abs(s.cand.a - offset);
      const db = Math.abs(s.cand.b - offset);
      answer = da < db ? 'a' : db < da ? 'b' : 'same';
    }
    answers.push(answer);
  }
}

test('with no answers the search probes 10 samples each way', () => {
  assert.deepEqual(A.searchState([]), {
    done: false, round: 1, phase: 'coarse', probeSamples: 10, lo: 0, hi: 100,
    trial: { a: { dL: 10, dR: 0 }, b: { dL: 0, dR: 10 } },
  });
  assert.deepEqual(A.searchState(), A.searchState([]));
  assert.deepEqual(A.searchProgress([]), { done: false, phase: 'coarse', label: 'Which speaker is early', step: 1, total: 10, qualifier: 'up to' });
});

test('its defaults are the listening-test definitions\' timing constants', () => {
  const s = A.searchState([]);
  assert.deepEqual([s.probeSamples, s.hi], [Protocol.ARRIVAL.coarseStepSamples, Protocol.ARRIVAL.coarseMaxSamples]);
  assert.equal(A.usToMm(1000), Protocol.ARRIVAL.speedOfSoundMps);
});

test('"same" up to the largest probe bypasses the test, and later answers change nothing', () => {
  const nine = A.searchState(repeat('same', 9));
  assert.deepEqual([nine.done, nine.round, nine.probeSamples], [false, 10, 100]);
  assert.deepEqual(A.searchProgress(repeat('same', 9)).step, 10);
  const bypassed = { done: true, delayChannel: null, delaySamples: 0, bypassed: true };
  assert.deepEqual(A.searchState(repeat('same', 10)), bypassed);
  assert.deepEqual(A.searchState(repeat('same', 10).concat(['a', 'b', 'a'])), bypassed);
  assert.deepEqual(A.searchProgress(repeat('same', 10)), { done: true, phase: 'done', label: '', step: 0, total: 0, qualifier: '' });
});

test('the narrow phase walks its brackets to the answer', () => {
  const answers = ['b', 'a', 'b', 'same', 'b'];
  const steps = [
    { lo: 0, hi: 10, cand: [3, 7] },
    { lo: 0, hi: 7, cand: [2, 5] },
    { lo: 2, hi: 7, cand: [4, 5] },
    { lo: 4, hi: 5, cand: [4, 5] },
  ];
  steps.forEach(({ lo, hi, cand }, k) => {
    const given = answers.slice(0, k + 1);
    const s = A.searchState(given);
    assert.deepEqual(
      [s.phase, s.side, s.round, s.lo, s.hi, s.cand.a, s.cand.b],
      ['narrow', 'right', k + 2, lo, hi, cand[0], cand[1]],
      `after ${given.join(', ')}`
    );
    assert.deepEqual(s.trial, { a: { dL: 0, dR: cand[0] }, b: { dL: 0, dR: cand[1] } });
    assert.deepEqual(A.searchProgress(given), { done: false, phase: 'narrow', label: 'Pinning the amount \u00b7 right', step: k + 1, total: 5, qualifier: 'about' });
  });
  assert.deepEqual(A.searchState(answers), { done: true, delayChannel: 'right', delaySamples: 5, bypassed: false });
});

test('the left side delays the left channel, and a stray answer counts by phase', () => {
  const left = A.searchState(['same', 'a']);
  assert.deepEqual([left.side, left.lo, left.hi], ['left', 10, 20]);
  assert.deepEqual(left.trial, { a: { dL: 13, dR: 0 }, b: { dL: 17, dR: 0 } });
  assert.deepEqual(A.searchState(['maybe']), A.searchState(['b']), 'in the coarse phase anything else is "b"');
  assert.deepEqual(A.searchState(['b', 'maybe']), A.searchState(['b', 'same']), 'in the narrow phase anything else is "same"');
});

test('the last comparison settles the final whole numbers', () => {
  // Widths 2 and 1 as the first narrow bracket, through a step of that size.
  const cases = [
    { step: 2, last: 'a', samples: 0 },
    { step: 2, last: 'b', samples: 2 },
    { step: 2, last: 'same', samples: 1 },
    { step: 1, last: 'same', samples: 0 },
    { step: 1, last: 'b', samples: 1 },
  ];
  for (const { step, last, samples } of cases) {
    const s = A.searchState(['a', last], { coarseStep: step });
    assert.deepEqual([s.done, s.delayChannel, s.delaySamples], [true, 'left', samples], `width ${step}, "${last}"`);
  }
  const open = A.searchState(['a'], { coarseStep: 2 });
  assert.deepEqual([open.cand.a, open.cand.b], [0, 2], 'at width 2 the candidates are the ends');
});

test('a listener is led to every offset the test can reach, within the worst case', () => {
  const worst = A.narrowWorstCase(10);
  for (const side of ['left', 'right']) {
    for (let offset = 1; offset <= 100; offset++) {
      const { state, answers } = listen(side, offset);
      assert.deepEqual([state.delayChannel, state.delaySamples, state.bypassed], [side, offset, false], `${side} ${offset}`);
      const coarse = Math.ceil(offset / 10);
      assert.ok(answers.length - coarse <= worst, `${side} ${offset} took ${answers.length - coarse} narrow answers`);
      // The counter climbs by one per narrow answer and never passes its total.
      for (let k = coarse; k < answers.length; k++) assert.equal(A.searchProgress(answers.slice(0, k)).step, k - coarse + 1);
    }
    const { state } = listen(side, 101);
    assert.deepEqual([state.delayChannel, state.delaySamples, state.bypassed], [null, 0, true], `${side} beyond reach`);
  }
});

test('narrowWorstCase is the longest answer sequence a bracket can take', () => {
  const table = [[1, 1], [2, 1], [3, 2], [4, 3], [5, 3], [7, 4], [10, 5]];
  for (const [width, count] of table) assert.equal(A.narrowWorstCase(width), count, `width ${width}`);
  // Every sequence of answers from a bracket of the given width, longest first found.
  const longest = (width) => {
    let most = 0;
    const walk = (answers) => {
      if (A.searchState(answers, { coarseStep: width }).done) {
        most = Math.max(most, answers.length - 1);
        return;
      }
      for (const answer of ['a', 'b', 'same']) walk(answers.concat([answer]));
    };
    walk(['b']);
    return most;
  };
  for (let width = 1; width <= 12; width++) assert.equal(longest(width), A.narrowWorstCase(width), `width ${width}`);
});

test('search options take their defaults when 0, missing or unusable', () => {
  assert.deepEqual(A.searchState(['same'], { coarseStep: 0, coarseMax: 0 }), A.searchState(['same']));
  assert.deepEqual(A.searchState(['same'], { coarseStep: -5, coarseMax: NaN }), A.searchState(['same']));
  const o = { coarseStep: 5, coarseMax: 20 };
  assert.deepEqual([A.searchState(repeat('same', 3), o).probeSamples, A.searchState([], o).hi], [20, 20]);
  assert.equal(A.searchState(repeat('same', 4), o).bypassed, true);
  assert.deepEqual([A.searchProgress([], o).total, A.searchProgress(['b'], o).total], [4, A.narrowWorstCase(5)]);
});

test('the conversions are exact, with defaults for the speed of sound', () => {
  close(A.samplesToUs(17, 48000), 354.1666666, 1e-6, 'samples to µs');
  assert.equal(A.usToMs(354), 0.354);
  assert.equal(A.usToMm(1000), 343);
  assert.equal(A.usToMm(1000, null), 343);
  assert.equal(A.usToMm(1000, 340), 340);
  assert.equal(A.mmToUs(343), 1000);
  close(A.mmToUs(340, 340), 1000, 1e-9, 'mm to µs at another speed');
  const rounding = [[12.5, 1e6, 13], [-12.5, 1e6, -12], [12.49, 1e6, 12], [354.17, 44100, 16]];
  for (const [us, rate, samples] of rounding) assert.equal(A.usToSamples(us, rate), samples, `${us} µs at ${rate}`);
});

test('applyDelayPair delays each channel by whole samples into new buffers', () => {
  const mono = Object.freeze([1, 2, 3]);
  const { left, right } = A.applyDelayPair(mono, 2, 0);
  assert.ok(left instanceof Float32Array && right instanceof Float32Array);
  assert.deepEqual(Array.from(left), [0, 0, 1, 2, 3]);
  assert.deepEqual(Array.from(right), [1, 2, 3, 0, 0]);
  assert.deepEqual(Array.from(A.applyDelayPair(new Float32Array([0.5]), undefined, 1).right), [0, 0.5]);
  // Delays are whole samples and never negative, so no sample is lost off either end.
  const odd = A.applyDelayPair(mono, -3, 1.6);
  assert.deepEqual([Array.from(odd.left), Array.from(odd.right)], [[1, 2, 3, 0, 0], [0, 0, 1, 2, 3]]);
  assert.equal(A.applyDelayPair(null, 1, 0).left.length, 1);
});

test('buildResult records the offset in every unit, keys in order', () => {
  const r = A.buildResult({ channel: 'right', samples: 17, sampleRate: 48000, verified: true, applied: 1, fineTuned: 0, at: '2026-06-18T19:40:00.000Z' });
  assert.deepEqual(Object.keys(r), ['method', 'delayChannel', 'delaySamples', 'sampleRate', 'delayUs', 'delayMs', 'equivalentDistanceMm', 'verified', 'applied', 'fineTuned', 'at']);
  assert.deepEqual(r, {
    method: 'ear', delayChannel: 'right', delaySamples: 17, sampleRate: 48000,
    delayUs: 354.17, delayMs: 0.354, equivalentDistanceMm: 121.5,
    verified: true, applied: true, fineTuned: false, at: '2026-06-18T19:40:00.000Z',
  });
  const cases = [
    { label: 'no samples, no channel', opts: { channel: 'left', samples: 0 }, want: { delayChannel: null, delaySamples: 0, delayUs: 0 } },
    { label: 'rate 0 is 48 kHz', opts: { channel: 'left', samples: 48, sampleRate: 0 }, want: { sampleRate: 48000, delayUs: 1000, delayMs: 1 } },
    { label: 'nothing given', opts: undefined, want: { delayChannel: null, sampleRate: 48000, verified: null, applied: false, fineTuned: false, at: null } },
    { label: 'verified false is kept', opts: { verified: false }, want: { verified: false } },
    { label: 'another speed of sound', opts: { channel: 'left', samples: 48, speedMps: 340 }, want: { equivalentDistanceMm: 340 } },
    { label: 'an exact half rounds up', opts: { channel: 'left', samples: 1, sampleRate: 64000 }, want: { delayUs: 15.63, delayMs: 0.016, equivalentDistanceMm: 5.4 } },
  ];
  for (const { label, opts, want } of cases) {
    const got = A.buildResult(opts);
    for (const key of Object.keys(want)) assert.equal(got[key], want[key], `${label}: ${key}`);
  }
});

test('samplesAtRates carries the rate-independent time to each rate', () => {
  const r = A.buildResult({ channel: 'right', samples: 17, sampleRate: 48000 });
  assert.deepEqual(A.samplesAtRates(r), { 44100: 16, 48000: 17, 96000: 34 });
  assert.deepEqual(A.samplesAtRates(r, [192000]), { 192000: 68 });
  assert.deepEqual(A.samplesAtRates(null), { 44100: 0, 48000: 0, 96000: 0 });
});

test('describeResult sums a result up in one line', () => {
  const right = A.buildResult({ channel: 'right', samples: 17, sampleRate: 48000, verified: true });
  const cases = [
    { result: undefined, text: 'not tested' },
    { result: null, text: 'not tested' },
    { result: right, text: 'delay RIGHT by 0.35 ms (17 smp @ 48k \u00b7 \u2248 122 mm)' },
    { result: A.buildResult({ channel: 'left', samples: 40, sampleRate: 44100 }), text: 'delay LEFT by 0.91 ms (40 smp @ 44k \u00b7 \u2248 311 mm)' },
    { result: { ...right, verified: false }, text: 'inconclusive \u2014 no correction applied' },
    { result: A.buildResult({ channel: 'left', samples: 0 }), text: 'no offset \u2014 speakers already aligned' },
    { result: { ...right, delayChannel: null }, text: 'no offset \u2014 speakers already aligned' },
  ];
  for (const { result, text } of cases) assert.equal(A.describeResult(result), text);
});
