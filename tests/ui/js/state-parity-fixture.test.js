'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { fixtureText, OUTPUT } = require('../../../tools/make-parity-fixture.js');
const P = require('../../../ui/js/profile.js');

test('the committed parity fixture is what the page writes today', () => {
  assert.ok(fs.existsSync(OUTPUT), 'missing: run node tools/make-parity-fixture.js');
  assert.ok(fs.readFileSync(OUTPUT, 'utf8') === fixtureText(), 'stale: run node tools/make-parity-fixture.js and commit the result');
});

test('the fixture covers the cases the engine is checked on', () => {
  const fixture = JSON.parse(fs.readFileSync(OUTPUT, 'utf8'));
  assert.deepEqual(fixture.sampleRates, [44100, 48000, 96000]);
  for (const c of fixture.cases) assert.equal(P.toJson(P.fromJson(c.stateJson)), c.stateJson, c.name);
  assert.ok(fixture.cases.length >= 200);

  const demo = fixture.cases.find((c) => c.name === 'demo room');
  assert.equal(demo.bandsInForce.left.length, 10);
  assert.equal(demo.bandsInForce.right.length, 9);

  const reasons = new Set(fixture.cases.flatMap((c) => c.headroomDiffers.flat()));
  assert.deepEqual([...reasons].sort(), ['designClamp', 'shelf']);
  const agreeing = fixture.cases.filter((c) => c.headroomDiffers.every((r) => r.length === 0) && c.headroomDb.some((h) => h < 0));
  assert.ok(agreeing.length > 50, 'enough boosting states where both rules must agree');

  const lowAt60k = fixture.firLengths.find((r) => r.quality === 'low' && r.sampleRate === 60005.859375);
  assert.deepEqual([lowAt60k.scaledLength, lowAt60k.pageTaps], [5120.5, 6144]);
});
