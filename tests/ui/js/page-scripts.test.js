'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');
const P = require('../../../ui/js/profile.js');
const demo = require('../../../plugin/ui/demo-profile.js');

const ROOT = path.join(__dirname, '..', '..', '..');
const INDEX = path.join(ROOT, 'plugin', 'ui', 'index.html');
const WHERE = {
  'biquad.js': 'ui/js', 'iso226.js': 'ui/js', 'protocol.js': 'ui/js', 'arrival.js': 'ui/js',
  'eq-fit.js': 'ui/js', 'fabfilter-ffp.js': 'ui/js', 'profile.js': 'ui/js', 'demo-profile.js': 'plugin/ui',
};
// What each script takes from the globals of the scripts before it.
const NEEDS = {
  'protocol.js': ['biquad.js', 'iso226.js'],
  'eq-fit.js': ['biquad.js'],
  'profile.js': ['eq-fit.js', 'fabfilter-ffp.js', 'protocol.js'],
};
const GLOBALS = ['BrindleBiquad', 'BrindleIso226', 'BrindleProtocol', 'BrindleArrival', 'BrindleEqFit', 'BrindleFFP', 'BrindleProfile', 'BrindleDemoProfile'];

// The page's own order once it exists; until then the order it is to load them in.
function scriptOrder() {
  if (!fs.existsSync(INDEX)) return Object.keys(WHERE);
  const html = fs.readFileSync(INDEX, 'utf8');
  const names = [...html.matchAll(/<script\b[^>]*\bsrc="([^"?]+)/g)].map((m) => path.basename(m[1]));
  return names.filter((name) => name in WHERE);
}

function loadPage(order) {
  const context = vm.createContext({});
  context.window = context;
  for (const name of order) {
    const file = path.join(WHERE[name], name);
    vm.runInContext(fs.readFileSync(path.join(ROOT, file), 'utf8'), context, { filename: file });
  }
  return context;
}

test('the page loads every correction script after the scripts it needs', () => {
  const order = scriptOrder();
  assert.deepEqual(order.slice().sort(), Object.keys(WHERE).sort(), 'each script exactly once');
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
