'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const B = require('../../../ui/js/biquad.js');

const FS = 48000;
const close = (actual, expected, tol, label) =>
  assert.ok(Math.abs(actual - expected) <= tol, `${label}: ${actual} is not within ${tol} of ${expected}`);

test('a 0 dB peak or shelf passes everything unchanged', () => {
  for (const design of [B.designPeak, B.designLowShelf, B.designHighShelf]) {
    const c = design(1000, FS, 0.7, 0);
    close(c.b1, c.a1, 1e-12, `${design.name} b1/a1`);
    close(c.b2, c.a2, 1e-12, `${design.name} b2/a2`);
    close(c.b0, 1, 1e-12, `${design.name} b0`);
    for (const f of [20, 1000, 15000]) close(B.magnitudeDb(c, f, FS), 0, 1e-9, `${design.name} at ${f} Hz`);
  }
});

test('each designer reads its defining gains where the cookbook puts them', () => {
  const cases = [
    { label: 'peak +6 at f0', c: B.designPeak(1000, FS, 2, 6), f: 1000, db: 6 },
    { label: 'peak -9 at f0', c: B.designPeak(250, FS, 5, -9), f: 250, db: -9 },
    { label: 'low shelf +4 at 0 Hz', c: B.designLowShelf(200, FS, 0.707, 4), f: 0, db: 4 },
    { label: 'low shelf +4 at Nyquist', c: B.designLowShelf(200, FS, 0.707, 4), f: FS / 2, db: 0 },
    { label: 'high shelf -5 at 0 Hz', c: B.designHighShelf(4000, FS, 0.707, -5), f: 0, db: 0 },
    { label: 'high shelf -5 at Nyquist', c: B.designHighShelf(4000, FS, 0.707, -5), f: FS / 2, db: -5 },
    { label: 'band-pass at f0', c: B.designBandpass(700, FS, 3), f: 700, db: 0 },
    { label: 'low-pass at 0 Hz', c: B.designLowpass(700, FS, 0.707), f: 0, db: 0 },
    { label: 'low-pass at its corner, Q 0.707', c: B.designLowpass(1000, FS, Math.SQRT1_2), f: 1000, db: -3.0103 },
    { label: 'high-pass at Nyquist', c: B.designHighpass(700, FS, 0.707), f: FS / 2, db: 0 },
  ];
  for (const { label, c, f, db } of cases) close(B.magnitudeDb(c, f, FS), db, 1e-3, label);
});

test('the pass filters ignore gain and have true zeros at their stop ends', () => {
  assert.deepEqual(B.designLowpass(500, FS, 1, 12), B.designLowpass(500, FS, 1));
  assert.equal(B.magnitudeDb(B.designLowpass(500, FS, 1), FS / 2, FS), -Infinity);
  assert.equal(B.magnitudeDb(B.designHighpass(500, FS, 1), 0, FS), -Infinity);
  assert.equal(B.magnitudeDb(B.designBandpass(500, FS, 1), 0, FS), -Infinity);
});

test('a cascade sums its sections in dB; an empty one is flat', () => {
  const a = B.designPeak(100, FS, 4, -6);
  const b = B.designHighShelf(8000, FS, 0.7, 3);
  assert.equal(B.cascadeMagnitudeDb([], 1000, FS), 0);
  for (const f of [50, 100, 9000]) {
    close(B.cascadeMagnitudeDb([a, b], f, FS), B.magnitudeDb(a, f, FS) + B.magnitudeDb(b, f, FS), 1e-12, `at ${f}`);
  }
});

test('a filter runs the difference equation, and reset and set touch only their own half', () => {
  const c = B.designPeak(1000, FS, 1, 6);
  const filter = new B.BiquadFilter(c);
  const impulse = filter.processBuffer([1, 0, 0]);
  close(impulse[0], c.b0, 1e-15, 'h[0]');
  close(impulse[1], c.b1 - c.a1 * c.b0, 1e-15, 'h[1]');
  close(impulse[2], c.b2 - c.a1 * impulse[1] - c.a2 * c.b0, 1e-15, 'h[2]');

  assert.equal(filter.reset(), filter);
  assert.deepEqual([filter.x1, filter.x2, filter.y1, filter.y2], [0, 0, 0, 0]);
  assert.equal(filter.c, c);

  filter.processSample(1);
  const other = B.designLowpass(300, FS, 0.7);
  assert.equal(filter.set(other), filter);
  assert.equal(filter.c, other);
  assert.equal(filter.x1, 1, 'set keeps the history');
});

test('processBuffer filters in place and a unit-gain section leaves a signal alone', () => {
  const samples = new Float64Array([0.5, -0.25, 1, 0, 0.75]);
  const out = new B.BiquadFilter(B.designPeak(1000, FS, 1, 0)).processBuffer(samples);
  assert.equal(out, samples);
  [0.5, -0.25, 1, 0, 0.75].forEach((x, i) => close(out[i], x, 1e-12, `sample ${i}`));
});

test('a steady sine through a section comes out at the analytic magnitude', () => {
  const c = B.designPeak(1000, FS, 2, -8);
  const filter = new B.BiquadFilter(c);
  let peak = 0;
  for (let n = 0; n < 9600; n++) {
    const y = filter.processSample(Math.sin((2 * Math.PI * 1000 * n) / FS));
    if (n > 4800) peak = Math.max(peak, Math.abs(y));
  }
  close(20 * Math.log10(peak), B.magnitudeDb(c, 1000, FS), 0.01, 'measured gain');
});
