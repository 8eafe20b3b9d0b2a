'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const P = require('../../../ui/js/profile.js');
const demo = require('../../../plugin/ui/demo-profile.js');

const { WHERE, scriptOrder, loadPage } = require('../../plugin/ui/page-loader.js');

// What each script takes from the globals of the scripts before it.
const NEEDS = {
  'protocol.js': ['biquad.js', 'iso226.js'],
  'eq-fit.js': ['biquad.js'],
  'profile.js': ['eq-fit.js', 'fabfilter-ffp.js', 'protocol.js'],
  'runtime.js': ['profile.js'],
  'plugin.js': ['profile.js', 'runtime.js', 'arrival.js', 'demo-profile.js'],
};
const GLOBALS = ['BrindleBiquad', 'BrindleIso226', 'BrindleProtocol', 'BrindleArrival', 'BrindleEqFit', 'BrindleFFP', 'BrindleProfile', 'BrindleDemoProfile', 'BrindleRuntime'];

test('the page loads every script after the scripts it needs, the console script last', () => {
  const order = scriptOrder();
  assert.deepEqual(order.slice().sort(), Object.keys(WHERE).sort(), 'each script exactly once');
  assert.equal(order[order.length - 1], 'plugin.js');
  for (const [name, needs] of Object.entries(NEEDS)) {
    for (const need of needs) assert.ok(order.indexOf(need) < order.indexOf(name), `${need} before ${name}`);
  }
});

test('loaded in that order without require or module, every global is there and works', () => {
  const page = loadPage(scriptOrder());
  assert.equal(page.module, undefined);
  for (const name of GLOBALS) assert.equal(typeof page[name], 'object', name);

  assert.equal(page.BrindleIso226.equalLoudnessGainDb(1000, 80), 0);
  assert.equal(Number(page.BrindleProtocol.REF_DBFS.toFixed(4)), -34.3246);
  assert.equal(page.BrindleArrival.usToMm(1000), 343);
  const preset = page.BrindleFFP.buildProQ3({ bands: [{ freqHz: 100, gainDb: -3, q: 2 }] });
  assert.equal(page.BrindleFFP.decodeProQ3(preset).bands[0].gainDb, -3);
  assert.equal(page.BrindleProfile.MIN_CORRECTION_HZ, page.BrindleProtocol.TONAL.minCorrectionHz);

  // The demo room reads in the page exactly as it does here.
  const read = page.BrindleProfile.readProfile(page.BrindleDemoProfile);
  assert.equal(read.ok, true);
  assert.equal(JSON.stringify(read), JSON.stringify(P.readProfile(demo)));
  const state = page.BrindleProfile.stateForProfile(read.profile, page.BrindleProfile.defaultState());
  assert.equal(page.BrindleProfile.toJson(state), P.toJson(P.stateForProfile(P.readProfile(demo).profile, P.defaultState())));
});

// The console script's handshake needs the document it builds into; it is checked in the browser
// (tests/plugin/ui/console-handshake.test.js). Here the scripts before it see the host's bridge,
// and the console script, finding no document, neither listens nor speaks nor publishes.
test('under a host without a document, the scripts see the bridge and the console script stays silent', () => {
  const heard = [];
  const sent = [];
  const backend = {
    emitEvent: (name, payload) => sent.push([name, JSON.stringify(payload)]),
    addEventListener: (name, fn) => heard.push([name, typeof fn]),
  };
  const host = { __JUCE__: { backend }, location: { search: '?host=duzezavure' } };
  const page = loadPage(scriptOrder(), host);
  assert.deepEqual(heard, []);
  assert.deepEqual(sent, []);
  assert.equal(page.BrindleRuntime.isDuzezavure(), true);

  const withoutConsole = loadPage(scriptOrder().slice(0, -1), host);
  assert.deepEqual(Object.keys(page), Object.keys(withoutConsole), 'the console script adds no global');
});
