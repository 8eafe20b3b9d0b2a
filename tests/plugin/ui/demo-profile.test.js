'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');
const demo = require('../../../plugin/ui/demo-profile.js');
const P = require('../../../ui/js/profile.js');

const DEMO_FILE = path.join(__dirname, '..', '..', '..', 'plugin', 'ui', 'demo-profile.js');

function isDeepFrozen(value) {
  if (value === null || typeof value !== 'object') return true;
  return Object.isFrozen(value) && Object.values(value).every(isDeepFrozen);
}

test('the demo room is a whole export, keys in order, frozen throughout', () => {
  assert.deepEqual(Object.keys(demo), ['name', 'createdAt', 'monitoring', 'strength', 'allowBoosts', 'match', 'tonal', 'tonalSweep', 'balanceFix', 'dips', 'nulls', 'arrival']);
  assert.equal(demo.name, 'Demo room \u2014 small rectangular, suspended floor');
  assert.deepEqual([demo.match.length, demo.tonal.length, demo.tonalSweep.length, demo.balanceFix.length, demo.dips.length], [5, 12, 4, 1, 2]);
  assert.equal(demo.tonal[0].label, '20\u201340 Hz');
  assert.deepEqual(Object.keys(demo.arrival), ['method', 'applied', 'verified', 'fineTuned', 'delayChannel', 'delaySamples', 'sampleRate', 'delayUs', 'delayMs', 'equivalentDistanceMm']);
  assert.equal('map' in demo, false);
  assert.ok(isDeepFrozen(demo));
});

test('its timing figures agree with each other', () => {
  const a = demo.arrival;
  const us = (a.delaySamples / a.sampleRate) * 1e6;
  assert.equal(Number(us.toFixed(2)), a.delayUs);
  assert.equal(Number((us / 1000).toFixed(3)), a.delayMs);
  assert.equal(Number(((343 * us) / 1000).toFixed(1)), a.equivalentDistanceMm);
});

test('read as any file, it gives the eleven bells of the room, no warnings and the right speaker delayed', () => {
  const r = P.readProfile(demo, { name: 'Demo room' });
  assert.equal(r.ok, true);
  assert.deepEqual(r.warnings, []);
  const p = r.profile;
  assert.deepEqual(p.bands.map((b) => [b.freqHz, b.gainDb, b.q, b.stereo]), [
    [45, -5.1, 5.2, 'stereo'],
    [48, -3.3, 5, 'stereo'],
    [63, -2.2, 4.6, 'stereo'],
    [96, -4.25, 4.2, 'left'],
    [96, -2.15, 4.2, 'right'],
    [130, 2.5, 3.2, 'stereo'],
    [172, -3.15, 3.8, 'stereo'],
    [210, -2.5, 3.4, 'left'],
    [3162, -1.05, 1, 'stereo'],
    [8000, -2.1, 1, 'stereo'],
    [12500, -0.9, 1, 'stereo'],
  ]);
  assert.ok(p.bands.every((b) => b.type === 'bell'));
  assert.deepEqual(p.counts, { booms: 5, tonal: 12, tonalSweep: 4, balance: 1, dips: 1, bands: 11 });
  assert.deepEqual(p.delay, { leftMs: 0, rightMs: 0.354, channel: 'right', ms: 0.354, applied: true, source: 'measured' });
  assert.deepEqual(
    [p.name, p.createdAt, p.measuredAt, p.monitoring, p.allowBoosts, p.suggestedPct, p.nulls],
    [demo.name, '2026-06-18T19:40:00.000Z', '2026-06-18T19:40:00.000Z', 'speakers', false, 65, [{ freqHz: 78 }]]
  );
});

test('the room loads as a state at 65 % with its bands in force scaled', () => {
  const state = P.stateForProfile(P.readProfile(demo).profile, P.defaultState());
  assert.deepEqual([state.correctionPct, state.delayLeftMs, state.delayRightMs, state.bands.length], [65, 0, 0.354, 11]);
  assert.equal(P.isEdited(state), false);
  assert.deepEqual(P.activeBands(state).slice(0, 2).map((b) => b.gainDb), [-3.31, -2.14], 'halves toward +infinity');
  // The dip is the only boost, and the neighbouring cuts take some of it back.
  const headroom = P.headroomDb(P.activeBands(state));
  assert.ok(headroom < 0 && headroom > -1.63, `headroom ${headroom}`);
});

test('reading it twice gives the same result and leaves it unchanged', () => {
  const before = JSON.stringify(demo);
  assert.deepEqual(P.readProfile(demo), P.readProfile(demo));
  assert.equal(JSON.stringify(demo), before);
});

test('as a page script it becomes the global of the window, and in Node also the module', () => {
  const context = vm.createContext({});
  context.window = context;
  vm.runInContext(fs.readFileSync(DEMO_FILE, 'utf8'), context);
  assert.equal(JSON.stringify(context.BrindleDemoProfile), JSON.stringify(demo));
  assert.equal(globalThis.BrindleDemoProfile, demo);
  assert.equal(require('../../../plugin/ui/demo-profile.js'), demo);
});
