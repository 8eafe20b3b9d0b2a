'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const I = require('../../../ui/js/iso226.js');

const close = (actual, expected, tol, label) =>
  assert.ok(Math.abs(actual - expected) <= tol, `${label}: ${actual} is not within ${tol} of ${expected}`);
const atTwoDecimals = (actual, expected, label) => close(actual, expected, 0.005, label);

test('the 80 phon contour gives the standard\'s figures, held flat beyond the table', () => {
  const cases = [
    { f: 1000, db: 0 },
    { f: 40, db: 25.32 },
    { f: 100, db: 12.47 },
    { f: 3000, db: -2.77 },
    { f: 8000, db: 11.39 },
    { f: 20, db: 38.98 },
    { f: 10, db: 38.98 },
    { f: 1, db: 38.98 },
  ];
  for (const { f, db } of cases) atTwoDecimals(I.equalLoudnessGainDb(f, 80), db, `${f} Hz`);
  assert.equal(I.equalLoudnessGainDb(16000, 80), I.equalLoudnessGainDb(12500, 80));
  atTwoDecimals(I.splForPhon(1000, 80), 80.01, 'level at 1 kHz');
  assert.equal(I.frequencies.length, 29);
  assert.deepEqual([I.frequencies[0], I.frequencies[28]], [20, 12500]);
});

test('a missing or null reference is 1 kHz, and another reference shifts the curve', () => {
  for (const [name, fn] of [
    ['equalLoudnessGainDb', (ref) => I.equalLoudnessGainDb(63, 60, ref)],
    ['aWeightGainDb', (ref) => I.aWeightGainDb(63, ref)],
    ['listeningGainDb', (ref) => I.listeningGainDb(63, 60, ref)],
    ['warbleGainDb', (ref) => I.warbleGainDb(63, 0.5, 60, ref)],
    ['listeningWarbleGainDb', (ref) => I.listeningWarbleGainDb(63, 0.5, 60, ref)],
  ]) {
    assert.equal(fn(undefined), fn(1000), `${name} without a reference`);
    assert.equal(fn(null), fn(1000), `${name} with a null reference`);
  }
  close(I.equalLoudnessGainDb(40, 80, 100), I.equalLoudnessGainDb(40, 80) - I.equalLoudnessGainDb(100, 80), 1e-9, 'relative to 100 Hz');
});

test('A-weighting reads as the standard curve', () => {
  atTwoDecimals(I.aWeightDb(1000), 0, '1 kHz');
  close(I.aWeightDb(100), -19.1, 0.05, '100 Hz');
  close(I.aWeightDb(10000), -2.5, 0.05, '10 kHz');
  close(I.aWeightGainDb(4000), -0.96, 0.005, 'the level difference at 4 kHz');
});

test('the listening curve is the contour below 1 kHz and flat at -0.96 dB from 4 kHz up', () => {
  for (const f of [10, 20, 40, 100, 333, 999]) assert.equal(I.listeningGainDb(f, 80), I.equalLoudnessGainDb(f, 80), `${f} Hz`);
  for (const phon of [20, 40, 80, 100]) {
    for (const f of [4000, 5000, 8000, 12500, 20000]) atTwoDecimals(I.listeningGainDb(f, phon), -0.96, `${f} Hz at ${phon} phon`);
  }
  let largest = 0;
  for (let f = 1000; f <= 4000; f += 25) largest = Math.max(largest, Math.abs(I.listeningGainDb(f, 80) - I.equalLoudnessGainDb(f, 80)));
  assert.ok(largest > 1 && largest <= 1.6, `largest departure between 1 and 4 kHz: ${largest}`);
  atTwoDecimals(I.equalLoudnessGainDb(8000, 80) - I.listeningGainDb(8000, 80), 12.36, 'below the contour at 8 kHz');
  atTwoDecimals(I.equalLoudnessGainDb(12500, 80) - I.listeningGainDb(12500, 80), 6.36, 'below the contour at 12.5 kHz');
});

test('a warble is heard at its average over a cycle, not at its centre', () => {
  for (const depth of [0, undefined, null]) {
    assert.equal(I.warbleGainDb(8000, depth, 80), I.equalLoudnessGainDb(8000, 80), `depth ${depth}`);
    assert.equal(I.listeningWarbleGainDb(300, depth, 80), I.listeningGainDb(300, 80), `listening, depth ${depth}`);
  }
  const warble = I.warbleGainDb(8000, 1 / 6, 80);
  atTwoDecimals(warble, 10.75, 'a sixth of an octave at 8 kHz');
  assert.ok(warble < I.equalLoudnessGainDb(8000, 80));
  atTwoDecimals(I.listeningWarbleGainDb(8000, 1 / 6, 80), -0.96, 'the listening curve is flat under the whole excursion');
});

test('the sweep tilt never boosts and puts the bass at 0 dB', () => {
  const table = I.sweepTiltTable(30, 500, 80);
  assert.deepEqual(Object.keys(table), ['freqs', 'gainsDb', 'phon']);
  assert.equal(table.phon, 80);
  assert.equal(table.freqs.length, 128);
  assert.equal(table.gainsDb.length, 128);
  close(table.freqs[0], 30, 1e-9, 'first frequency');
  close(table.freqs[127], 500, 1e-9, 'last frequency');
  close(table.freqs[64] / table.freqs[63], table.freqs[1] / table.freqs[0], 1e-12, 'spaced evenly in ln f');
  assert.equal(table.gainsDb[0], 0);
  atTwoDecimals(table.gainsDb[127], -29.75, '500 Hz');
  assert.equal(Math.max(...table.gainsDb), 0);
  const top = I.sweepTiltTable(1000, 12500, 80).gainsDb;
  assert.ok(Math.max(...top) === 0 && top[0] < -10, 'the loudest-needed point sits at 0 dB wherever it lies');
  assert.equal(I.sweepTiltTable(30, 500, 80, 16).freqs.length, 16);
  assert.equal(I.sweepTiltTable(30, 500, 80, null).freqs.length, 128);
  const single = I.sweepTiltTable(30, 500, 80, 1);
  assert.deepEqual([single.freqs.length, single.gainsDb], [1, [0]], 'one point');
  close(single.freqs[0], 30, 1e-9, 'one point is the start');
});

test('tiltGainAt holds the ends and interpolates in ln f between points', () => {
  const table = { freqs: [100, 400, 1600], gainsDb: [0, -6, -8], phon: 80 };
  const cases = [
    { f: 20, db: 0, label: 'below the first frequency' },
    { f: 100, db: 0, label: 'at the first frequency' },
    { f: 200, db: -3, label: 'half way in ln f' },
    { f: 400, db: -6, label: 'at a point' },
    { f: 800, db: -7, label: 'half way in the second interval' },
    { f: 1600, db: -8, label: 'at the last frequency' },
    { f: 20000, db: -8, label: 'above the last frequency' },
  ];
  for (const { f, db, label } of cases) close(I.tiltGainAt(table, f), db, 1e-12, label);
  const sweep = I.sweepTiltTable(30, 500, 80);
  assert.equal(I.tiltGainAt(sweep, 20), sweep.gainsDb[0]);
  assert.equal(I.tiltGainAt({ freqs: [], gainsDb: [] }, 100), 0, 'no points, no tilt');
  assert.equal(I.tiltGainAt(null, 100), 0);
});

test('a very long tilt table is built without overflowing the call stack', () => {
  const table = I.sweepTiltTable(20, 20000, 80, 200000);
  assert.equal(table.gainsDb.length, 200000);
  assert.equal(table.gainsDb.reduce((a, b) => Math.max(a, b), -Infinity), 0, 'the loudest-needed point is at 0 dB');
});
