#!/usr/bin/env node
/*
 * Timings of the room profile path: reading the demo room (measurements to a
 * fitted band list), the largest joint fit a state can hold, 24 bands against
 * 66 targets, and reading large profiles as JSON text: the most booms the
 * reader accepts, in the shape that gives the fit the most targets; 10,000 and
 * 100,000 booms (about 0.9 and 8.5 MB), which it refuses; and warble sweeps far
 * denser than any export beside the demo room's measurements, which it reads:
 * 100,000 points, and the most the reader accepts beside the most tonal ranges
 * it accepts, each range holding an octave of points.
 * Prints figures; not a test.
 *
 *   node bench/profile-fit.js
 */
'use strict';

const Profile = require('../ui/js/profile.js');
const EqFit = require('../ui/js/eq-fit.js');
const demo = require('../plugin/ui/demo-profile.js');

const DEMO_GOAL_MS = 50;
const HUGE_GOAL_MS = 1000;
const LARGEST_GOAL_MS = 2000;
// The reader's limits: booms and tonal ranges, which the joint fit weighs, and measurements of
// every kind.
const MOST_ACCEPTED = 500;
const MOST_MEASUREMENTS = 200000;
const WARBLE_POINTS = 100000;

const { seeded } = require('../tools/seeded-random.js');

function timeOnce(fn) {
  const start = process.hrtime.bigint();
  fn();
  return Number(process.hrtime.bigint() - start) / 1e6;
}

function summary(times) {
  const sorted = times.slice().sort((a, b) => a - b);
  return { min: sorted[0], median: sorted[Math.floor(sorted.length / 2)], max: sorted[sorted.length - 1] };
}

function largestFitProblem() {
  const rand = seeded(24066);
  const logSpaced = (count, lo, hi) => Array.from({ length: count }, (_, i) => lo * Math.pow(hi / lo, i / (count - 1)));
  const bands = logSpaced(24, 30, 16000).map((freqHz) => ({
    freqHz: Number(freqHz.toFixed(1)),
    gainDb: rand() < 0.8 ? -(1 + rand() * 9) : 0.5 + rand() * 3,
    q: Number((1 + rand() * 5).toFixed(2)),
    type: 'bell',
    stereo: ['stereo', 'stereo', 'left', 'right'][Math.floor(rand() * 4)],
  }));
  const targets = logSpaced(66, 25, 18000).map((freqHz) => ({
    freqHz,
    gainDbL: -rand() * 8,
    gainDbR: -rand() * 8,
    weight: [1, 0.8, 0.45][Math.floor(rand() * 3)],
  }));
  return { bands, targets };
}

// Narrow booms from 20 Hz to 2 kHz, each with both edges and a midpoint guard to its
// neighbour: four fit targets apiece, among the slowest shapes a profile at the limit can take.
function boomProfileText(count) {
  const rand = seeded(count);
  const round = (value, decimals) => Number(value.toFixed(decimals));
  const match = Array.from({ length: count }, (_, i) => {
    const freqHz = 20 * Math.pow(100, (i + rand()) / count);
    return {
      freqHz: round(freqHz, 2),
      lowHz: round(freqHz / 1.0005, 2),
      highHz: round(freqHz * 1.0005, 2),
      q: round(2 + rand() * 4, 1),
      boostDbL: round(1 + rand() * 9, 1),
      boostDbR: round(1 + rand() * 9, 1),
    };
  });
  return JSON.stringify({ name: `${count} booms`, createdAt: '2026-06-18T19:40:00.000Z', match });
}

// Warble points evenly spread in log frequency over 20 Hz to 20 kHz, beside the demo room's own
// measurements, or beside `tonal` ranges from 500 Hz to 20 kHz, each an octave wide.
function warbleProfileText(count, tonal) {
  const rand = seeded(count);
  const round = (value, decimals) => Number(value.toFixed(decimals));
  const tonalSweep = Array.from({ length: count }, (_, i) => ({
    freqHz: round(20 * Math.pow(1000, i / (count - 1)), 2),
    offsetDb: round(rand() * 6 - 3, 1),
  }));
  if (!tonal) return JSON.stringify({ ...demo, name: `${count} warble points`, tonalSweep });
  const ranges = Array.from({ length: tonal }, (_, i) => {
    const freqHz = 500 * Math.pow(40, i / (tonal - 1));
    return { freqHz: round(freqHz, 1), lowHz: round(freqHz / Math.SQRT2, 1), highHz: round(freqHz * Math.SQRT2, 1), offsetDb: round(rand() * 6 - 3, 1) };
  });
  return JSON.stringify({ name: `${count} warble points, ${tonal} ranges`, tonal: ranges, tonalSweep });
}

function report(label, times, goalMs) {
  const s = summary(times);
  const goal = goalMs ? `  ratio to ${goalMs} ms goal ${(s.median / goalMs).toFixed(3)}` : '';
  console.log(`${label.padEnd(34)} median ${s.median.toFixed(2)} ms  min ${s.min.toFixed(2)}  max ${s.max.toFixed(2)}  (${times.length} runs)${goal}`);
  return s;
}

function main() {
  const cold = timeOnce(() => Profile.readProfile(demo, { name: 'Demo room' }));
  console.log(`${'demo room read + fit, first call'.padEnd(34)} ${cold.toFixed(2)} ms  ratio to ${DEMO_GOAL_MS} ms goal ${(cold / DEMO_GOAL_MS).toFixed(3)}`);
  const demoTimes = Array.from({ length: 50 }, () => timeOnce(() => Profile.readProfile(demo, { name: 'Demo room' })));
  const demoStats = report('demo room read + fit, warm', demoTimes, DEMO_GOAL_MS);

  const { bands, targets } = largestFitProblem();
  const fitTimes = Array.from({ length: 10 }, () => timeOnce(() => EqFit.fitBandGains(bands, targets, { maxBoostDb: 6 })));
  const fitStats = report('24 bands x 66 targets fit', fitTimes);
  console.log(`${'ratio, 24x66 fit to demo'.padEnd(34)} ${(fitStats.median / demoStats.median).toFixed(1)}`);

  const accepted = boomProfileText(MOST_ACCEPTED);
  const acceptedTimes = Array.from({ length: 5 }, () => timeOnce(() => Profile.readProfile(accepted)));
  report(`${MOST_ACCEPTED} booms read + fit`, acceptedTimes, LARGEST_GOAL_MS);
  for (const count of [10000, 100000]) {
    const text = boomProfileText(count);
    const times = Array.from({ length: 3 }, () => timeOnce(() => Profile.readProfile(text)));
    report(`${count} booms (${(text.length / 1e6).toFixed(1)} MB) read`, times, HUGE_GOAL_MS);
  }
  const sweep = warbleProfileText(WARBLE_POINTS);
  const sweepTimes = Array.from({ length: 5 }, () => timeOnce(() => Profile.readProfile(sweep)));
  report(`${WARBLE_POINTS} warble points read + fit`, sweepTimes, HUGE_GOAL_MS);
  const most = warbleProfileText(MOST_MEASUREMENTS - MOST_ACCEPTED, MOST_ACCEPTED);
  const mostTimes = Array.from({ length: 3 }, () => timeOnce(() => Profile.readProfile(most)));
  report(`${MOST_MEASUREMENTS - MOST_ACCEPTED} points, ${MOST_ACCEPTED} ranges`, mostTimes, LARGEST_GOAL_MS);
}

main();
