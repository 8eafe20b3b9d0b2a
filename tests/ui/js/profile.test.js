'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');
const P = require('../../../ui/js/profile.js');

const ROOT = path.join(__dirname, '..', '..', '..');
const fixture = (name) => fs.readFileSync(path.join(__dirname, 'fixtures', name), 'utf8');
const bell = (freqHz, gainDb, q = 1, stereo = 'stereo') => ({ freqHz, gainDb, q, type: 'bell', stereo });
const at = (value, keys) => keys.reduce((v, k) => v[k], value);
const deepFreeze = (v) => {
  if (v && typeof v === 'object') Object.values(v).forEach(deepFreeze);
  return Object.freeze(v);
};

const { seeded } = require('../../../tools/seeded-random.js');

// ------------------------------------------------------------------ the state and its guard

test('the default state, as JSON text, byte for byte', () => {
  const text =
    '{"version":1,"profileName":"","profileAt":null,"bypass":false,"correctionPct":65,"delayLeftMs":0,' +
    '"delayRightMs":0,"outputDb":0,"phaseMode":"minimum","firQuality":"medium","safeHeadroom":true,"bands":[],' +
    '"baseline":{"bands":[],"correctionPct":65,"delayLeftMs":0,"delayRightMs":0}}';
  assert.equal(P.toJson(P.defaultState()), text);
  assert.equal(P.toJson({}), text);
  for (const notAState of [null, undefined, 5, 'state', [], true]) assert.deepEqual(P.sanitizeState(notAState), P.defaultState());
  for (const notJson of ['', '{"bands":', 'null', '[1]', undefined]) assert.deepEqual(P.fromJson(notJson), P.defaultState());
});

test('a guarded band is written with its keys in order and nothing else', () => {
  const text = P.toJson({ extra: 1, bands: [{ on: true, junk: 2, stereo: 'left', type: 'bell', q: 2, gainDb: -3, freqHz: 0.354e3, id: 'x' }] });
  assert.ok(text.includes('"bands":[{"id":"b0","freqHz":354,"gainDb":-3,"q":2,"type":"bell","stereo":"left","on":true}]'), text);
  assert.ok(!text.includes('extra') && !text.includes('junk'));
  assert.equal(P.toJson({ delayLeftMs: 1e-7 }).includes('"delayLeftMs":1e-7'), true, 'shortest number form');
});

test('the guard reads every key by its rule', () => {
  const long = 'x'.repeat(130);
  const cases = [
    // [label, input state, path in the guarded state, expected]
    ['a gain rounds to 0.01, halves up, then clamps', { bands: [{ gainDb: 12.345 }] }, ['bands', 0, 'gainDb'], 12],
    ['5.555 rounds up to 5.56', { bands: [{ gainDb: 5.555 }] }, ['bands', 0, 'gainDb'], 5.56],
    ['-1.625 rounds toward +infinity', { bands: [{ gainDb: -1.625 }] }, ['bands', 0, 'gainDb'], -1.62],
    ['a gain below the range', { bands: [{ gainDb: -40 }] }, ['bands', 0, 'gainDb'], -30],
    ['a Q of 0 clamps to 0.1', { bands: [{ q: 0 }] }, ['bands', 0, 'q'], 0.1],
    ['a Q of null reads 0 and clamps', { bands: [{ q: null }] }, ['bands', 0, 'q'], 0.1],
    ['a Q without a number', { bands: [{ q: 'wide' }] }, ['bands', 0, 'q'], 3.5],
    ['a frequency of "abc"', { bands: [{ freqHz: 'abc' }] }, ['bands', 0, 'freqHz'], 1000],
    ['a frequency of null', { bands: [{ freqHz: null }] }, ['bands', 0, 'freqHz'], 10],
    ['a frequency in text with white space', { bands: [{ freqHz: ' 250.5 ' }] }, ['bands', 0, 'freqHz'], 250.5],
    ['a frequency above the range', { bands: [{ freqHz: 30000 }] }, ['bands', 0, 'freqHz'], 24000],
    ['an empty-text amount', { correctionPct: '' }, ['correctionPct'], 65],
    ['a null amount', { correctionPct: null }, ['correctionPct'], 0],
    ['an amount in text', { correctionPct: '40' }, ['correctionPct'], 40],
    ['an amount of true', { correctionPct: true }, ['correctionPct'], 1],
    ['an amount above the range', { correctionPct: 150 }, ['correctionPct'], 100],
    ['an amount that overflows', { correctionPct: '1e999' }, ['correctionPct'], 65],
    ['an amount in hexadecimal', { correctionPct: '0x10' }, ['correctionPct'], 65],
    ['an amount that is an object', { correctionPct: { v: 3 } }, ['correctionPct'], 65],
    ['a negative delay', { delayLeftMs: -5 }, ['delayLeftMs'], 0],
    ['a delay above the range', { delayRightMs: 25 }, ['delayRightMs'], 20],
    ['an output below the range', { outputDb: -30 }, ['outputDb'], -24],
    ['"on" null', { bands: [{ on: null }] }, ['bands', 0, 'on'], false],
    ['"on" absent', { bands: [{}] }, ['bands', 0, 'on'], true],
    ['"on" the text "false"', { bands: [{ on: 'false' }] }, ['bands', 0, 'on'], true],
    ['a type in other letter case', { bands: [{ type: 'LowShelf' }] }, ['bands', 0, 'type'], 'bell'],
    ['a type the page does not make', { bands: [{ type: 'lowpass' }] }, ['bands', 0, 'type'], 'bell'],
    ['a high shelf', { bands: [{ type: 'highshelf' }] }, ['bands', 0, 'type'], 'highshelf'],
    ['a placement in other letter case', { bands: [{ stereo: 'Left' }] }, ['bands', 0, 'stereo'], 'stereo'],
    ['"Linear" is not "linear"', { phaseMode: 'Linear' }, ['phaseMode'], 'minimum'],
    ['"linear"', { phaseMode: 'linear' }, ['phaseMode'], 'linear'],
    ['"HIGH" is not "high"', { firQuality: 'HIGH' }, ['firQuality'], 'medium'],
    ['safe headroom null', { safeHeadroom: null }, ['safeHeadroom'], true],
    ['safe headroom 0', { safeHeadroom: 0 }, ['safeHeadroom'], false],
    ['bypass "false"', { bypass: 'false' }, ['bypass'], true],
    ['a null name', { profileName: null }, ['profileName'], ''],
    ['a number as name', { profileName: 42 }, ['profileName'], '42'],
    ['a long name is cut', { profileName: long }, ['profileName'], long.slice(0, 120)],
    ['a long time is cut', { profileAt: long }, ['profileAt'], long.slice(0, 40)],
    ['a time that is not text', { profileAt: 1718739600000 }, ['profileAt'], null],
    ['bands that are not a list', { bands: { 0: {} } }, ['bands', 'length'], 0],
  ];
  for (const [label, input, keys, expected] of cases) assert.deepEqual(at(P.sanitizeState(input), keys), expected, label);
});

test('band ids follow positions, 30 bands keep the first 24, and junk entries are left out', () => {
  const ids = P.sanitizeState({ bands: [{ id: 'x' }, { id: 'y' }] }).bands.map((b) => b.id);
  assert.deepEqual(ids, ['b0', 'b1']);
  const thirty = Array.from({ length: 30 }, (_, i) => ({ freqHz: 100 + i }));
  const kept = P.sanitizeState({ bands: thirty }).bands;
  assert.equal(kept.length, 24);
  assert.deepEqual([kept[0].freqHz, kept[23].freqHz, kept[23].id], [100, 123, 'b23']);
  const mixed = P.sanitizeState({ bands: [null, { freqHz: 50 }, 7, [1], { freqHz: 60 }] }).bands;
  assert.deepEqual(mixed.map((b) => [b.id, b.freqHz]), [['b0', 50], ['b1', 60]]);
});

test('a name cut at 120 code units never ends in half a surrogate pair', () => {
  const emoji = '\u{1F3B5}';
  const split = P.sanitizeState({ profileName: 'a'.repeat(119) + emoji + 'b' }).profileName;
  assert.equal(split, 'a'.repeat(119));
  const whole = P.sanitizeState({ profileName: 'a'.repeat(118) + emoji + 'b' }).profileName;
  assert.equal(whole, 'a'.repeat(118) + emoji);
  assert.equal(P.fromJson(P.toJson({ profileName: 'a'.repeat(119) + emoji })).profileName, 'a'.repeat(119));
  assert.equal(P.toJson({ profileName: 'Zimmer — groß' }).includes('"profileName":"Zimmer — groß"'), true, 'non-ASCII written as it is');
});

test('the baseline reads its object form, the older bare list, and falsy values', () => {
  const own = { correctionPct: 80, delayLeftMs: 1.5, delayRightMs: 2 };
  const cases = [
    ['absent', {}, [0, 65, 0, 0]],
    ['a bare list takes the state\'s amount and delays', { ...own, baseline: [{ freqHz: 45, gainDb: -5 }] }, [1, 80, 1.5, 2]],
    ['null', { ...own, baseline: null }, [0, 0, 0, 0]],
    ['false', { ...own, baseline: false }, [0, 0, 0, 0]],
    ['0', { ...own, baseline: 0 }, [0, 0, 0, 0]],
    ['a text', { ...own, baseline: 'room' }, [0, 65, 0, 0]],
    ['true', { ...own, baseline: true }, [0, 65, 0, 0]],
    ['an object', { baseline: { bands: [{}, {}], correctionPct: '70', delayLeftMs: 30, delayRightMs: null } }, [2, 70, 20, 0]],
  ];
  for (const [label, input, [n, pct, left, right]] of cases) {
    const b = P.sanitizeState(input).baseline;
    assert.deepEqual([b.bands.length, b.correctionPct, b.delayLeftMs, b.delayRightMs], [n, pct, left, right], label);
  }
  assert.deepEqual(P.sanitizeState({ baseline: [{ id: 'q' }] }).baseline.bands.map((b) => b.id), ['b0']);
});

function randomValue(rand, depth) {
  const pick = (list) => list[Math.floor(rand() * list.length)];
  const kind = Math.floor(rand() * (depth > 2 ? 4 : 6));
  if (kind === 0) return pick([null, true, false]);
  if (kind === 1) return pick([0, -0, 1, -1, 0.005, -1.625, 5.555, 12.345, 1e-7, 1e300, -1e300, 65, 20.0001, 24000.5, Number.MAX_VALUE]) * (rand() < 0.5 ? 1 : rand() * 100);
  if (kind === 2) return pick(['', ' 12.5 ', 'abc', '1e999', '-0', 'linear', 'high', 'lowshelf', 'left', 'right', '\u{1F3B5}'.repeat(70), 'x'.repeat(50)]);
  if (kind === 3) return pick(['minimum', 'medium', 'low', 'highshelf', 'stereo', '0x1f', '\uD800']);
  if (kind === 4) return Array.from({ length: Math.floor(rand() * 30) }, () => randomValue(rand, depth + 1));
  return randomObject(rand, depth + 1);
}

const KEYS = ['version', 'profileName', 'profileAt', 'bypass', 'correctionPct', 'delayLeftMs', 'delayRightMs', 'outputDb',
  'phaseMode', 'firQuality', 'safeHeadroom', 'bands', 'baseline', 'id', 'freqHz', 'gainDb', 'q', 'type', 'stereo', 'on', 'other'];

function randomObject(rand, depth) {
  const out = {};
  for (const key of KEYS) if (rand() < 0.45) out[key] = randomValue(rand, depth);
  return out;
}

test('the guard never throws, and guarding is idempotent, over thousands of random shapes', () => {
  const rand = seeded(6);
  for (let i = 0; i < 4000; i++) {
    const raw = i % 3 === 0 ? randomValue(rand, 0) : randomObject(rand, 0);
    const once = P.sanitizeState(raw);
    assert.deepEqual(Object.keys(once), KEYS.slice(0, 13));
    assert.deepEqual(P.sanitizeState(once), once);
    const text = P.toJson(raw);
    assert.equal(P.toJson(P.fromJson(text)), text);
    assert.deepEqual(P.fromJson(text.slice(0, Math.floor(rand() * text.length))).version, 1);
  }
});

// ------------------------------------------------------------------ figures of a state

test('the bands in force are scaled by the amount and rounded to 0.01 dB, halves up', () => {
  const state = (pct, gainDb, extra = {}) => ({ correctionPct: pct, bands: [{ freqHz: 100, gainDb, q: 4, ...extra }] });
  const cases = [
    [65, 2.5, [1.63]],
    [65, -2.5, [-1.62]],
    [65, 0.07, [0.05]],
    [60, 0.07, []],
    [100, -0.04, []],
    [0, -12, []],
    [65, 6, [], { on: false }],
    [65, 6, [], { on: null }],
  ];
  for (const [pct, gain, want, extra] of cases) {
    assert.deepEqual(P.activeBands(state(pct, gain, extra)).map((b) => b.gainDb), want, `${gain} dB at ${pct} %`);
  }
  assert.deepEqual(P.activeBands(state(100, -3, { stereo: 'right', type: 'lowshelf', id: 'z' })), [{ freqHz: 100, gainDb: -3, q: 4, type: 'lowshelf', stereo: 'right' }]);
  assert.deepEqual(P.activeBands(state(100, 0.3), { minMoveDb: 0.5 }), []);
});

test('bypass leaves no band in force and no delay, while the path latency stays', () => {
  const s = { bypass: true, phaseMode: 'linear', firQuality: 'low', delayLeftMs: 2, bands: [{ gainDb: -6 }] };
  assert.deepEqual(P.activeBands(s), []);
  assert.deepEqual(P.delayUs(s), { leftUs: 0, rightUs: 0 });
  assert.equal(P.latencyMs(s), 0);
  assert.equal(P.latencySamples(s, 48000), 2 * 48 + 15 + 2048 + 1024);
});

test('FIR length per tier and rate, rounded up from the exact scaled length', () => {
  const table = [
    [48000, 4096, 16384, 65536],
    [44100, 4096, 16384, 65536],
    [88200, 8192, 30720, 65536],
    [96000, 8192, 32768, 65536],
    [192000, 16384, 65536, 65536],
    [60005.859375, 6144, 21504, 65536],
    [0, 4096, 16384, 65536],
    [undefined, 4096, 16384, 65536],
  ];
  for (const [rate, low, medium, high] of table) {
    assert.deepEqual(['low', 'medium', 'high'].map((q) => P.firTapsFor(q, rate)), [low, medium, high], `at ${rate}`);
  }
  assert.equal(P.firTapsFor('ultra', 96000), 32768, 'an unknown tier is medium');
  assert.equal(P.firTapsFor('constructor', 48000), 16384);
});

test('latency counts the larger delay, the delay line and, in linear phase, the kernel and block', () => {
  const cases = [
    [{ delayRightMs: 0.354 }, 48000, 31.992],
    [{ phaseMode: 'linear', firQuality: 'high' }, 96000, 15 + 32768 + 1024],
    [{ phaseMode: 'linear', delayLeftMs: 1, delayRightMs: 0.5 }, 0, 48 + 15 + 8192 + 1024],
    [{ delayLeftMs: 'abc' }, 48000, 15],
    [null, 48000, 15],
  ];
  for (const [state, rate, want] of cases) {
    assert.ok(Math.abs(P.latencySamples(state, rate) - want) < 1e-9, `${JSON.stringify(state)} at ${rate}: ${P.latencySamples(state, rate)}`);
  }
  assert.equal(P.latencyMs({ delayLeftMs: 0.2, delayRightMs: 0.354 }), 0.354);
  assert.deepEqual(P.delayUs({ delayLeftMs: 0.0125, delayRightMs: 0.354 }), { leftUs: 13, rightUs: 354 });
});

test('safe headroom counts summed boosts of bells only', () => {
  assert.equal(P.headroomDb([bell(1000, 3)]), -3);
  assert.equal(P.headroomDb([bell(1000, 3, 4.32), bell(1259.92, 3, 4.32)]), -3.62);
  assert.equal(P.headroomDb([bell(100, -6, 4), bell(3000, -2)]), 0);
  assert.equal(P.headroomDb([{ freqHz: 100, gainDb: 3, q: 0.707, type: 'lowshelf', stereo: 'stereo' }]), 0);
  assert.equal(P.headroomDb([bell(1000, 6, 1, 'right')], { sampleRate: 96000 }), -6);
  assert.equal(P.headroomDb([]), 0);
});

test('the largest move is signed, and the first of equal magnitudes wins', () => {
  assert.equal(P.peakMoveDb([bell(100, -4, 4), bell(5000, 2)]), -4);
  assert.equal(P.peakMoveDb([bell(1000, 3, 1, 'left'), bell(1000, -3, 1, 'right')], { points: 3, fromHz: 1000, toHz: 2000 }), 3);
  assert.equal(P.peakMoveDb([]), 0);
});

test('a curve is a logarithmic grid carried by multiplication', () => {
  const points = P.curve([bell(1000, -6, 2, 'left')]);
  assert.equal(points.length, 160);
  assert.equal(points[0].freqHz, 20);
  assert.ok(Math.abs(points[159].freqHz - 20000) < 1e-6);
  assert.ok(points.every((p) => p.right === 0));
  const three = P.curve([], { points: 3, fromHz: 100, toHz: 400 });
  assert.deepEqual(three.map((p) => p.freqHz), [100, 200, 400]);
  assert.equal(P.responseDb([bell(1000, -6, 2, 'left')], 1000), P.responseDb([bell(1000, -6, 2, 'left')], 1000, 'left', 48000));
});

test('the narrowest band skips switched-off and unreadable entries', () => {
  assert.equal(P.narrowestBandHz([{ freqHz: 100, q: 4 }, { freqHz: 60, q: 6, on: false }, null, { freqHz: 'x', q: 2 }, { freqHz: 1000, q: 0 }, { freqHz: '90', q: '4.5' }]), 20);
  assert.equal(P.narrowestBandHz([]), 0);
  assert.equal(P.narrowestBandHz(undefined), 0);
});

test('edited means the amount, a delay, the count, or a band\'s frequency, gain, Q, switch or placement changed', () => {
  const room = P.stateForProfile({ name: 'R', suggestedPct: 65, delay: { leftMs: 0, rightMs: 0.354 }, bands: [bell(45, -5.1, 5.2)] });
  assert.equal(P.isEdited(room), false);
  const edit = (change) => {
    const s = P.sanitizeState(room);
    change(s);
    return P.isEdited(s);
  };
  assert.equal(edit((s) => { s.bands[0].type = 'lowshelf'; }), false, 'the type is not compared');
  assert.equal(edit((s) => { s.bands[0].stereo = 'left'; }), true);
  assert.equal(edit((s) => { s.bands[0].on = false; }), true);
  assert.equal(edit((s) => { s.bands[0].q = 5; }), true);
  assert.equal(edit((s) => { s.delayRightMs = 0.355; }), true);
  assert.equal(edit((s) => { s.correctionPct = 64; }), true);
  assert.equal(edit((s) => { s.bands.push({}); }), true);
  assert.equal(edit((s) => { s.outputDb = -6; s.bypass = true; }), false);
});

test('reset puts back bands, amount and delays as copies, and keeps the rest', () => {
  const room = P.stateForProfile({ name: 'R', suggestedPct: 70, delay: { leftMs: 1, rightMs: 0 }, bands: [bell(45, -5.1, 5.2)] });
  const edited = { ...room, correctionPct: 20, delayLeftMs: 3, outputDb: -4, phaseMode: 'linear', bands: [] };
  const reset = P.resetToProfile(edited);
  assert.deepEqual([reset.correctionPct, reset.delayLeftMs, reset.outputDb, reset.phaseMode, reset.bands.length], [70, 1, -4, 'linear', 1]);
  assert.deepEqual(reset.bands, reset.baseline.bands);
  assert.notEqual(reset.bands[0], reset.baseline.bands[0]);
  assert.deepEqual(Object.keys(reset), Object.keys(P.defaultState()));
});

test('a new room keeps the output trim and safe headroom and returns the rest to defaults', () => {
  const previous = { outputDb: -6, safeHeadroom: false, phaseMode: 'linear', firQuality: 'high', bypass: true };
  const profile = { name: 'Den', measuredAt: null, createdAt: '2026-01-01', suggestedPct: 120, delay: { leftMs: 25, rightMs: 0 }, bands: Array.from({ length: 26 }, (_, i) => bell(40 + i, -3)) };
  const s = P.stateForProfile(profile, previous);
  assert.deepEqual([s.outputDb, s.safeHeadroom, s.phaseMode, s.firQuality, s.bypass], [-6, false, 'minimum', 'medium', false]);
  assert.deepEqual([s.profileName, s.profileAt, s.correctionPct, s.delayLeftMs, s.bands.length], ['Den', '2026-01-01', 100, 20, 24]);
  assert.deepEqual(s.baseline, { bands: s.bands, correctionPct: 100, delayLeftMs: 20, delayRightMs: 0 });
  assert.notEqual(s.baseline.bands[0], s.bands[0], 'editing a band in place must not move the baseline');
  assert.deepEqual(P.stateForProfile(null, { outputDb: null, safeHeadroom: null }), P.defaultState());
  assert.deepEqual(P.sanitizeState(s), s);
});

// ------------------------------------------------------------------ reading a room profile

test('the reader\'s three errors, verbatim', () => {
  assert.deepEqual(P.readProfile(fixture('not-json.json')), { ok: false, error: 'That file is not valid JSON.' });
  assert.deepEqual(P.readProfile(fixture('not-a-profile.json')), { ok: false, error: 'That file does not contain a room profile.' });
  assert.deepEqual(P.readProfile('null'), { ok: false, error: 'That file does not contain a room profile.' });
  assert.deepEqual(P.readProfile(fixture('warble-only.json')), {
    ok: false,
    error: 'No measurements in this profile — nothing was measured, or it is not a Tonwell export.',
  });
});

test('an arrival alone reads as a flat room with its measured delay', () => {
  const r = P.readProfile(fixture('arrival-only.json'));
  assert.equal(r.ok, true);
  assert.deepEqual(r.warnings, ['This room measured flat enough that the fit produced no filters.']);
  assert.deepEqual(r.profile.bands, []);
  assert.deepEqual(r.profile.delay, { leftMs: 1, rightMs: 0, channel: 'left', ms: 1, applied: true, source: 'measured' });
});

test('an arrival that was measured but not applied warns and leaves both delays at zero', () => {
  const r = P.readProfile(fixture('arrival-not-applied.json'));
  assert.deepEqual(r.warnings, ['The stereo-focus test ran but was not applied, so both delays start at zero.']);
  assert.deepEqual(r.profile.delay, { leftMs: 0, rightMs: 0, channel: null, ms: 0, applied: false, source: 'none' });
  assert.equal(r.profile.bands.length, 1);
});

test('a file holding only its map snapshot is read from the map', () => {
  const r = P.readProfile(fixture('map-only.json'), { name: 'Fallback' });
  assert.deepEqual(r.warnings, []);
  assert.deepEqual(r.profile.bands.map((b) => b.freqHz), [45, 48]);
  assert.deepEqual([r.profile.name, r.profile.createdAt, r.profile.measuredAt], ['Fallback', '2026-06-18T19:30:00.000Z', '2026-06-18T19:30:00.000Z']);
  assert.deepEqual(r.profile.nulls, [{ freqHz: 78 }]);
  assert.deepEqual(P.readProfile({ ...JSON.parse(fixture('map-only.json')), nulls: null }).profile.nulls, [{ freqHz: 78 }], 'a null container is no container');
  assert.equal(r.profile.delay.rightMs, 0.354);
  // The snapshot is looked for only under "map": a bare map at the top level has no boom list.
  const bare = JSON.parse(fixture('map-only.json')).map;
  assert.equal(P.readProfile(bare).ok, true, 'its arrival still counts');
  assert.deepEqual(P.readProfile(bare).profile.bands, []);
});

test('a split boom gives a left and a right bell at one frequency, left first', () => {
  const r = P.readProfile(fixture('split-boom.json'));
  assert.deepEqual(r.profile.bands.map((b) => [b.freqHz, b.stereo]), [[96, 'left'], [96, 'right']]);
  assert.ok(r.profile.bands[0].gainDb < r.profile.bands[1].gainDb && r.profile.bands[1].gainDb < 0);
});

test('junk entries, unreadable numbers and containers of the wrong type are skipped, not counted', () => {
  const r = P.readProfile(fixture('junk-entries.json'));
  assert.equal(r.ok, true);
  assert.deepEqual(r.warnings, []);
  assert.deepEqual(r.profile.counts, { booms: 1, tonal: 0, tonalSweep: 0, balance: 0, dips: 1, bands: 2 });
  assert.deepEqual(r.profile.nulls, []);
  assert.equal(r.profile.delay.applied, false);
  // The one readable boom, written partly as text, reads like its numeric twin.
  const twin = P.readProfile({ match: [{ freqHz: 45, lowHz: 42.4, highHz: 47.7, q: 5.2, boostDbL: 8.5, boostDbR: 8.5 }], dips: [{ freqHz: 130, kind: 'dip', boostDb: 2.5, q: 3.2 }] });
  assert.deepEqual(r.profile.bands, twin.profile.bands);
  for (const container of [{ nulls: null }, { nulls: 7 }, { map: null }, { map: [1] }, { arrival: 'yes' }, { arrival: [] }]) {
    assert.deepEqual(P.readProfile(container), { ok: false, error: 'No measurements in this profile — nothing was measured, or it is not a Tonwell export.' }, JSON.stringify(container));
  }
});

test('flagged nulls nested thousands of levels deep, or in a cycle, are refused with a message instead of overflowing the stack', () => {
  const tooDeep = { ok: false, error: 'That file nests its flagged nulls too deeply to be a room profile.' };
  const lists = (depth) => '['.repeat(depth) + ']'.repeat(depth);
  const records = (depth) => '[' + '{"freqHz":78,"x":'.repeat(depth - 1) + '1' + '}'.repeat(depth - 1) + ']';
  const dip = '"dips":[{"freqHz":130,"kind":"dip","boostDb":2}]';
  for (const depth of [5000, 100000]) {
    for (const [label, nested] of [['lists', lists(depth)], ['records', records(depth)]]) {
      assert.deepEqual(P.readProfile(`{${dip},"nulls":{"flagged":${nested}}}`), tooDeep, `${depth} levels of ${label}`);
      assert.deepEqual(P.readProfile(`{"map":{${dip},"nulls":${nested}}}`), tooDeep, `${depth} levels of ${label} in the map`);
    }
  }
  // 64 levels, the list itself counted, still read as they are.
  const deepest = JSON.parse(records(64));
  assert.deepEqual(P.readProfile(`{${dip},"nulls":{"flagged":${records(64)}}}`).profile.nulls, deepest);
  assert.deepEqual(P.readProfile(`{${dip},"nulls":{"flagged":${records(65)}}}`), tooDeep);
  const cycle = { freqHz: 78 };
  cycle.self = cycle;
  assert.deepEqual(P.readProfile({ dips: [{ freqHz: 130, kind: 'dip', boostDb: 2 }], nulls: { flagged: [cycle] } }), tooDeep);
  // Nothing else the reader or the state guard takes in is walked to its depth.
  const deep = JSON.parse(lists(100000));
  const read = P.readProfile({ name: deep, match: [{ freqHz: 45, boostDb: 5, q: deep }], arrival: { applied: true, delayChannel: deep, delaySamples: 4 } });
  assert.deepEqual([read.ok, read.profile.name, read.profile.delay.channel], [true, 'Untitled room', '']);
  assert.deepEqual(P.sanitizeState({ profileName: deep, bands: deep, baseline: deep }), P.defaultState());
});

test('more than 500 booms and tonal ranges, the fit\'s measurements, are refused with their count', () => {
  const many = (count, make) => Array.from({ length: count }, (_, i) => make(i));
  const lists = {
    match: many(20, (i) => ({ freqHz: 30 + i * 10, q: 4, boostDb: 3 + (i % 4) })),
    tonal: many(480, (i) => ({ freqHz: 100 + i / 2, lowHz: 90 + i / 2, highHz: 110 + i / 2, offsetDb: 2 })),
  };
  const atLimit = P.readProfile({ ...lists, match: [null, { boostDb: 9 }, ...lists.match] });
  assert.equal(atLimit.ok, true, 'entries that are not measurements do not count');
  assert.equal(atLimit.profile.counts.booms, 20);
  const refused = (count) => ({ ok: false, error: `This profile holds ${count} booms and tonal ranges, more than the 500 a room profile can hold, so it was not read.` });
  for (const key of Object.keys(lists)) {
    const oneMore = { ...lists, [key]: lists[key].concat(lists[key][0]) };
    assert.deepEqual(P.readProfile(oneMore), refused(501), `one more in ${key}`);
  }
  const peaks = many(100000, (i) => ({ freqHz: 20 + i / 10, lowHz: 19.5 + i / 10, highHz: 20.5 + i / 10, boostDbL: 6, boostDbR: 4 }));
  assert.deepEqual(P.readProfile(JSON.stringify({ match: [], map: { peaks } })), refused(100000), 'a map snapshot counts as the file');
});

test('warble points, balance corrections and dips stay out of the fit\'s count: a dense sweep reads, and only a file past 200000 measurements is refused', () => {
  const demo = require('../../../plugin/ui/demo-profile.js');
  // A warble sweep at 1/48 octave over 20 Hz to 20 kHz, as a dense export holds it.
  const sweep = Array.from({ length: 479 }, (_, i) => ({ freqHz: Math.round(20 * 2 ** (i / 48) * 100) / 100, offsetDb: i % 2 ? 2.5 : 1.5 }));
  const dense = P.readProfile({ ...demo, tonalSweep: sweep });
  assert.equal(dense.ok, true, dense.error);
  assert.deepEqual([dense.profile.counts.tonalSweep, dense.profile.counts.booms, dense.profile.counts.tonal], [479, 5, 12]);
  // Each range from 500 Hz takes the mean of the points inside it, as four points do in the demo.
  const merged = (profile) => profile.bands.filter((b) => b.freqHz >= 500).map((b) => [b.freqHz, b.gainDb]);
  assert.notDeepEqual(merged(dense.profile), merged(P.readProfile(demo).profile));

  const many = (count, make) => Array.from({ length: count }, (_, i) => make(i));
  const backstop = {
    match: [{ freqHz: 45, boostDb: 5, q: 4 }],
    tonalSweep: many(199000, (i) => ({ freqHz: 20 + i / 10, offsetDb: 1 })),
    balanceFix: many(500, (i) => ({ freqHz: 200 + i, boostDbL: 2, boostDbR: 0 })),
    dips: many(499, (i) => ({ freqHz: 130 + i, kind: 'dip', boostDb: 1 })),
  };
  const read = P.readProfile(backstop);
  assert.equal(read.ok, true, read.error);
  assert.deepEqual([read.profile.counts.tonalSweep, read.profile.counts.balance, read.profile.counts.dips], [199000, 500, 499]);
  for (const key of ['tonalSweep', 'balanceFix', 'dips']) {
    assert.deepEqual(P.readProfile({ ...backstop, [key]: backstop[key].concat(backstop[key][0]) }), {
      ok: false, error: 'This profile holds 200001 measurements, more than the 200000 a room profile can hold, so it was not read.',
    }, `one more in ${key}`);
  }
});

test('a measurement without a usable frequency does not disturb the fit of the others', () => {
  const good = { freqHz: 63, lowHz: 59.4, highHz: 66.8, q: 4.6, boostDbL: 3.5, boostDbR: 3.5 };
  const clean = P.readProfile({ match: [good] }).profile;
  for (const freqHz of [NaN, Infinity, 0, -63, undefined, null, 'low']) {
    const noisy = P.readProfile({ match: [good, { freqHz, lowHz: 1, highHz: 2, boostDb: 9 }], tonal: [{ freqHz, offsetDb: 6 }] }).profile;
    assert.deepEqual(noisy.bands, clean.bands, `freqHz ${freqHz}`);
    assert.deepEqual([noisy.counts.booms, noisy.counts.tonal], [1, 0]);
  }
  assert.equal(P.readProfile({ match: [{ freqHz: NaN, boostDb: 9 }] }).ok, false, 'it is no measurement either');
});

test('a boost or offset that is not finite falls back as a missing one would', () => {
  const build = (m) => P.buildCorrection({ match: [m] }).bands.map((b) => [b.stereo, b.gainDb]);
  assert.deepEqual(build({ freqHz: 80, boostDbL: NaN, boostDbR: 'x', boostDb: 4 }), build({ freqHz: 80, boostDb: 4 }));
  assert.deepEqual(build({ freqHz: 80, boostDbL: Infinity, boostDbR: -Infinity }), []);
});

test('the delay: samples at the result\'s rate, 48 kHz when it has none, applied only when complete', () => {
  const arrival = (extra) => ({ applied: true, delayChannel: 'left', delaySamples: 48, ...extra });
  const cases = [
    ['48 samples at 48 kHz', arrival({ sampleRate: 48000 }), 1, 0],
    ['at 96 kHz', arrival({ sampleRate: 96000 }), 0.5, 0],
    ['a rate of 0', arrival({ sampleRate: 0 }), 1, 0],
    ['no rate', arrival({}), 1, 0],
    ['a null rate', arrival({ sampleRate: null }), 1, 0],
    ['delayUs wins over samples', arrival({ delayUs: 354.17 }), 0.354, 0],
    ['a channel other than "left" delays the right', arrival({ delayChannel: 'both', delayUs: 500.5 }), 0, 0.501],
    ['not applied', arrival({ applied: false }), 0, 0],
    ['no channel', arrival({ delayChannel: null }), 0, 0],
    ['0 samples', arrival({ delaySamples: 0, delayUs: 300 }), 0, 0],
    ['rounds to no delay', arrival({ delayUs: 0.4 }), 0, 0],
  ];
  for (const [label, a, left, right] of cases) {
    const d = P.delayOf(a);
    assert.deepEqual([d.leftMs, d.rightMs, d.applied], [left, right, left + right > 0], label);
  }
  assert.deepEqual(P.delayOf(undefined), { leftMs: 0, rightMs: 0, channel: null, ms: 0, applied: false, source: 'none' });
});

test('boosts only when allowBoosts is exactly true, while a dip is lifted either way, up to 3 dB', () => {
  const file = (allowBoosts) => ({ allowBoosts, match: [{ freqHz: 60, boostDb: -4, q: 4 }], dips: [{ freqHz: 130, kind: 'dip', boostDb: 5 }] });
  const asText = P.readProfile(file('true')).profile;
  assert.equal(asText.allowBoosts, false);
  assert.deepEqual(asText.bands, [bell(130, 3, 3.5)]);
  const allowed = P.readProfile(file(true)).profile;
  assert.deepEqual(allowed.bands.map((b) => b.freqHz), [60, 130]);
  assert.ok(allowed.bands[0].gainDb > 0);
  assert.deepEqual(P.readProfile({ dips: [{ freqHz: 78, kind: 'cancellation', boostDb: 4 }] }).warnings, ['This room measured flat enough that the fit produced no filters.']);
});

test('the suggested amount, the name and the times', () => {
  const amount = (strength) => P.readProfile({ strength, dips: [{ freqHz: 1, kind: 'x' }] }).profile.suggestedPct;
  assert.deepEqual([0.65, 1.2, 2, -1, '0.5', 'strong', undefined, null].map(amount), [65, 120, 150, 0, 50, 65, 65, 65]);
  const named = (file, options) => P.readProfile({ dips: [{ freqHz: 1 }], ...file }, options).profile.name;
  assert.deepEqual([named({ name: 'Den' }, { name: 'f.json' }), named({ name: '' }, { name: 'f.json' }), named({}, {}), named({ name: 7 })], ['Den', 'f.json', 'Untitled room', '7']);
  const times = P.readProfile({ dips: [{ freqHz: 1 }], createdAt: 'c', map: { at: 'm' } }).profile;
  assert.deepEqual([times.createdAt, times.measuredAt, times.monitoring], ['c', 'm', 'speakers']);
  assert.equal(P.readProfile({ dips: [{ freqHz: 1 }], monitoring: 'headphones' }).profile.monitoring, 'headphones');
});

test('the builder\'s strength scales candidates, targets, balance and dips', () => {
  const set = { match: [{ freqHz: 45, q: 5, boostDb: 8 }], balanceFix: [{ freqHz: 210, boostDbL: 4, boostDbR: 0 }], dips: [{ freqHz: 130, kind: 'dip', boostDb: 2, q: 3 }] };
  const full = P.buildCorrection(set);
  const half = P.buildCorrection(set, { strength: 0.5 });
  assert.deepEqual([full.strength, half.strength, P.buildCorrection(set, { strength: 9 }).strength], [1, 0.5, 2]);
  assert.deepEqual(half.bands.slice(1).map((b) => b.gainDb), [2 * 0.5, -4 * 0.5]);
  assert.ok(Math.abs(half.bands[0].gainDb - full.bands[0].gainDb / 2) < 0.2);
  assert.deepEqual(full.counts, { booms: 1, tonal: 0, tonalSweep: 0, balance: 1, dips: 1, bands: 3 });
});

// ------------------------------------------------------------------ as a page script

function page(globals) {
  const context = vm.createContext({ ...globals });
  for (const file of ['ui/js/biquad.js', 'ui/js/eq-fit.js', 'ui/js/fabfilter-ffp.js', 'ui/js/profile.js']) {
    vm.runInContext(fs.readFileSync(path.join(ROOT, file), 'utf8'), context, { filename: file });
  }
  return context;
}

test('in a page the scripts publish globals, and the tonal threshold comes from the protocol when it is there', () => {
  const lowRange = { tonal: [{ freqHz: 400, lowHz: 300, highHz: 500, offsetDb: 4 }] };
  const plain = page({});
  assert.equal(plain.BrindleProfile.MIN_CORRECTION_HZ, 500);
  assert.equal(plain.BrindleProfile.readProfile(lowRange).profile.bands.length, 0);
  assert.equal(page({ BrindleProtocol: { TONAL: { minCorrectionHz: 0 } } }).BrindleProfile.MIN_CORRECTION_HZ, 500);
  const withProtocol = page({ BrindleProtocol: { TONAL: { minCorrectionHz: 350 } } }).BrindleProfile;
  assert.equal(withProtocol.MIN_CORRECTION_HZ, 350);
  assert.deepEqual(Array.from(withProtocol.readProfile(lowRange).profile.bands, (b) => b.freqHz), [400]);
  assert.equal(P.MIN_CORRECTION_HZ, require('../../../ui/js/protocol.js').TONAL.minCorrectionHz, 'in Node, from protocol.js');
  assert.equal(P.MIN_CORRECTION_HZ, 500);
  assert.equal(JSON.stringify(plain.BrindleProfile.defaultState()), JSON.stringify(P.defaultState()));
});

test('the reader leaves its input unchanged', () => {
  const file = deepFreeze(JSON.parse(fixture('map-only.json')));
  const first = P.readProfile(file);
  assert.deepEqual(P.readProfile(file), first);
  first.profile.nulls.push({ freqHz: 1 });
  assert.equal(file.map.nulls.length, 1);
});

test('latencySamples never counts a negative delay', () => {
  assert.equal(P.latencySamples({ delayLeftMs: -5, delayRightMs: -3, phaseMode: 'minimum' }, 48000), 15);
  assert.equal(P.latencySamples({ delayLeftMs: -5, delayRightMs: 2, phaseMode: 'minimum' }, 48000), 2 * 48 + 15);
});
