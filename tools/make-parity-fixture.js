#!/usr/bin/env node
/*
 * Writes tests/fixtures/state-parity.json: correction states as the page writes
 * them, with the figures the page derives from each, so the engine's own reading
 * of the same text can be checked against them. Run from anywhere:
 *
 *   node tools/make-parity-fixture.js          (rewrites the fixture)
 *
 * A test fails when the committed file differs from what this script writes.
 *
 * Format (one JSON object; each case on a line of its own):
 *   format         1
 *   seed           seed of the random states
 *   sampleRates    [44100, 48000, 96000]; every per-rate array in a case follows this order
 *   firLengths     [{ quality, sampleRate, scaledLength, pageTaps }]: scaledLength is
 *                  base taps x sampleRate / 48000 held between the tier's base and 65536,
 *                  before any rounding; pageTaps rounds it up to a multiple of 1024.
 *                  The engine truncates it to a whole number first, so 5120.5 (low tier
 *                  at 60005.859375 Hz) gives 6144 here and 5120 in the engine.
 *   cases          [{
 *     name              what the case is
 *     stateJson         the state's JSON text exactly as the page sends it
 *     bandsInForce      { left: [...], right: [...] }: the bands in force on each channel,
 *                       in state order, each { freqHz, gainDb, q, type }; gainDb is the
 *                       scaled gain rounded to 0.01 dB
 *     headroomDb        per rate: the page's safe-headroom figure (0 or negative)
 *     headroomDiffers   per rate: [] when the page's rule and the engine's see the same
 *                       bands, else the reasons: "shelf" (a shelf in force: the page leaves
 *                       it out, the engine counts it), "designClamp" (a bell in force above
 *                       0.49 x sampleRate: the engine designs it at 0.49 x sampleRate, the
 *                       page at its own frequency)
 *     firTaps           per rate: the page's FIR length for the state's quality
 *     latencySamples    per rate: the samples of delay the page says the correction adds
 *     latencyMs         the page's delay read-out in ms (0 when bypassed)
 *   }]
 */
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const Profile = require('../ui/js/profile.js');
const demo = require('../plugin/ui/demo-profile.js');

const SEED = 0x5eed0006;
const RANDOM_STATES = 200;
const SAMPLE_RATES = [44100, 48000, 96000];
const FIR_RATES = [22050, 44100, 48000, 60005.859375, 88200, 96000, 192000];
const FIR_BASE = { low: 4096, medium: 16384, high: 65536 };
const OUTPUT = path.join(__dirname, '..', 'tests', 'fixtures', 'state-parity.json');

const { seeded } = require('./seeded-random.js');

function roundTo(value, decimals) {
  return Number(value.toFixed(decimals));
}

function randomGenerator(rand) {
  const chance = (p) => rand() < p;
  const pick = (list) => list[Math.floor(rand() * list.length)];
  const between = (lo, hi, decimals) => roundTo(lo + rand() * (hi - lo), decimals);
  const logBetween = (lo, hi, decimals) => roundTo(lo * Math.pow(hi / lo, rand()), decimals);

  function gain() {
    if (chance(0.15)) return between(-0.12, 0.12, 2); // around the 0.05 dB threshold once scaled
    if (chance(0.05)) return pick([-45, 20, -30, 12]);
    return between(-30, 12, 2);
  }

  function band() {
    const out = {
      freqHz: chance(0.05) ? pick([10, 24000, 5, 30000, 21700, 23600]) : logBetween(10, 24000, 1),
      gainDb: gain(),
      q: chance(0.05) ? pick([0, 0.1, 24, 40]) : logBetween(0.1, 24, 2),
      type: chance(0.9) ? 'bell' : pick(['lowshelf', 'highshelf', 'LowShelf', 'lowpass']),
      stereo: chance(0.6) ? 'stereo' : pick(['left', 'right']),
    };
    if (!chance(0.05)) out.on = !chance(0.12);
    return out;
  }

  function state(index) {
    const bandCount = chance(0.05) ? 30 : chance(0.2) ? 13 + Math.floor(rand() * 12) : Math.floor(rand() * 13);
    return {
      profileName: `Random room ${index}`,
      profileAt: null,
      bypass: chance(0.08),
      correctionPct: chance(0.1) ? pick([0, 100, 50, 65.5, 150, -10]) : Math.floor(rand() * 101),
      delayLeftMs: chance(0.6) ? 0 : between(0, 20, 3),
      delayRightMs: chance(0.6) ? 0 : between(0, 20, 3),
      outputDb: between(-24, 12, 1),
      phaseMode: chance(0.6) ? 'minimum' : 'linear',
      firQuality: pick(['low', 'medium', 'high']),
      safeHeadroom: !chance(0.15),
      bands: Array.from({ length: bandCount }, band),
    };
  }

  return { state };
}

const bell = (freqHz, gainDb, q, stereo = 'stereo') => ({ freqHz, gainDb, q, type: 'bell', stereo });

function edgeStates() {
  const room = Profile.stateForProfile(Profile.readProfile(demo).profile, Profile.defaultState());
  return [
    ['demo room', room],
    ['demo room, linear phase, high quality', { ...room, phaseMode: 'linear', firQuality: 'high' }],
    ['demo room, bypassed', { ...room, bypass: true }],
    ['default state', Profile.defaultState()],
    ['halves toward +infinity at 65 %', { correctionPct: 65, bands: [bell(100, 2.5, 4), bell(200, -2.5, 4), bell(400, 0.07, 4), bell(800, -0.07, 4)] }],
    ['under the threshold at 60 %', { correctionPct: 60, bands: [bell(100, 0.07, 4), bell(200, -0.07, 4)] }],
    ['amount 0', { correctionPct: 0, bands: [bell(100, 12, 1)] }],
    ['amount 100, one +6 dB bell', { correctionPct: 100, bands: [bell(1000, 6, 1)] }],
    ['amount 65, one +6 dB bell', { correctionPct: 65, bands: [bell(1000, 6, 1)] }],
    ['overlapping boosts a third of an octave apart', { correctionPct: 100, bands: [bell(1000, 3, 4.32), bell(1259.92, 3, 4.32)] }],
    ['cuts only', { correctionPct: 100, bands: [bell(45, -12, 5), bell(3000, -6, 1)] }],
    ['all bands switched off', { correctionPct: 100, bands: [{ ...bell(100, 6, 1), on: false }, { ...bell(200, 6, 1), on: null }] }],
    ['boosting shelves', { correctionPct: 100, bands: [{ ...bell(100, 3, 0.707), type: 'lowshelf' }, { ...bell(8000, 4, 0.707), type: 'highshelf' }] }],
    ['boost at the top of the range', { correctionPct: 100, bands: [bell(24000, 6, 1)] }],
    ['boost between 0.49 x 44.1 kHz and 0.49 x 48 kHz', { correctionPct: 100, bands: [bell(22000, 6, 2)] }],
    ['placements', { correctionPct: 100, bands: [bell(100, 4, 2, 'left'), bell(5000, 5, 2, 'right'), bell(1000, -3, 1)] }],
    ['extreme Q and frequency', { correctionPct: 100, bands: [bell(10, 6, 0.1), bell(10000, 12, 24), bell(12000, -30, 0.1)] }],
    ['twenty-four boosts', { correctionPct: 100, bands: Array.from({ length: 24 }, (_, i) => bell(20 * Math.pow(2, i / 2.5), 12, 4)) }],
    ['thirty bands, the last six dropped', { correctionPct: 100, bands: Array.from({ length: 30 }, (_, i) => bell(100 + 10 * i, i < 24 ? -1 : 12, 3)) }],
    ['longest delays, linear low', { delayLeftMs: 20, delayRightMs: 20, phaseMode: 'linear', firQuality: 'low' }],
    ['delay 0.354 ms, linear medium', { delayRightMs: 0.354, phaseMode: 'linear', firQuality: 'medium' }],
    ['safe headroom off', { correctionPct: 100, safeHeadroom: false, bands: [bell(1000, 6, 1)] }],
    ['values written as text', { correctionPct: '80', delayLeftMs: ' 1.5 ', outputDb: 'loud', bands: [{ freqHz: '250', gainDb: '3.333', q: '2' }] }],
  ];
}

function plainBand(band) {
  return { freqHz: band.freqHz, gainDb: band.gainDb, q: band.q, type: band.type };
}

function headroomDifferences(inForce, sampleRate) {
  const reasons = [];
  if (inForce.some((b) => b.type !== 'bell')) reasons.push('shelf');
  if (inForce.some((b) => b.type === 'bell' && b.freqHz > 0.49 * sampleRate)) reasons.push('designClamp');
  return reasons;
}

function caseFor(name, rawState) {
  const stateJson = Profile.toJson(rawState);
  const state = Profile.fromJson(stateJson);
  const inForce = Profile.activeBands(state);
  const onChannel = (channel) => inForce.filter((b) => b.stereo === 'stereo' || b.stereo === channel).map(plainBand);
  return {
    name,
    stateJson,
    bandsInForce: { left: onChannel('left'), right: onChannel('right') },
    headroomDb: SAMPLE_RATES.map((sampleRate) => Profile.headroomDb(inForce, { sampleRate })),
    headroomDiffers: SAMPLE_RATES.map((sampleRate) => headroomDifferences(inForce, sampleRate)),
    firTaps: SAMPLE_RATES.map((sampleRate) => Profile.firTapsFor(state.firQuality, sampleRate)),
    latencySamples: SAMPLE_RATES.map((sampleRate) => Profile.latencySamples(state, sampleRate)),
    latencyMs: Profile.latencyMs(state),
  };
}

function firLengths() {
  const rows = [];
  for (const quality of Object.keys(FIR_BASE)) {
    for (const sampleRate of FIR_RATES) {
      const base = FIR_BASE[quality];
      const scaledLength = Math.min(65536, Math.max(base, (base * sampleRate) / 48000));
      rows.push({ quality, sampleRate, scaledLength, pageTaps: Profile.firTapsFor(quality, sampleRate) });
    }
  }
  return rows;
}

function buildFixture() {
  const generator = randomGenerator(seeded(SEED));
  const cases = edgeStates().map(([name, state]) => caseFor(name, state));
  for (let i = 0; i < RANDOM_STATES; i++) cases.push(caseFor(`random ${i}`, generator.state(i)));
  return { format: 1, seed: SEED, sampleRates: SAMPLE_RATES, firLengths: firLengths(), cases };
}

// One case per line keeps the file readable and its diffs small.
function fixtureText() {
  const fixture = buildFixture();
  const lines = (items) => items.map((item) => '  ' + JSON.stringify(item)).join(',\n');
  return (
    '{\n' +
    `"format": ${fixture.format},\n` +
    `"seed": ${fixture.seed},\n` +
    `"sampleRates": ${JSON.stringify(fixture.sampleRates)},\n` +
    `"firLengths": [\n${lines(fixture.firLengths)}\n],\n` +
    `"cases": [\n${lines(fixture.cases)}\n]\n` +
    '}\n'
  );
}

if (require.main === module) {
  fs.writeFileSync(OUTPUT, fixtureText());
  process.stdout.write(`wrote ${path.relative(process.cwd(), OUTPUT)}\n`);
}

module.exports = { buildFixture, fixtureText, OUTPUT };
