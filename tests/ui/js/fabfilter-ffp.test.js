'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const FFP = require('../../../ui/js/fabfilter-ffp.js');

const bell = (freqHz, gainDb, stereo = 'stereo', q = 4) => ({ freqHz, gainDb, q, type: 'bell', stereo });
const deepFreeze = (v) => {
  if (v && typeof v === 'object') Object.values(v).forEach(deepFreeze);
  return Object.freeze(v);
};

test('correctionBands cuts what the room boosts, splitting sides only past the tolerance', () => {
  const cases = [
    { label: 'close sides make one stereo bell', m: { freqHz: 50, boostDbL: 6, boostDbR: 5.6 }, want: [bell(50, -5.8)] },
    { label: 'far sides make a left then a right bell', m: { freqHz: 50, boostDbL: 6, boostDbR: 5.4 }, want: [bell(50, -6, 'left'), bell(50, -5.4, 'right')] },
    { label: 'a move under 0.5 dB is dropped', m: { freqHz: 50, boostDbL: 0.4, boostDbR: 0.4 }, want: [] },
    { label: 'a cut is capped at 30 dB', m: { freqHz: 50, boostDbL: 40, boostDbR: 40 }, want: [bell(50, -30)] },
    { label: 'boostDb alone serves both sides', m: { freqHz: 70, boostDb: 3 }, want: [bell(70, -3)] },
    { label: 'a null side falls back to boostDb', m: { freqHz: 70, boostDbL: null, boostDbR: 1, boostDb: 5 }, want: [bell(70, -5, 'left'), bell(70, -1, 'right')] },
    { label: 'a non-finite side falls back like a missing one', m: { freqHz: 70, boostDbL: NaN, boostDbR: Infinity, boostDb: 2 }, want: [bell(70, -2)] },
    { label: 'a boost is capped by maxBoostDb', m: { freqHz: 70, boostDbL: -9, boostDbR: -9 }, want: [bell(70, 6)] },
    { label: 'gains round on the exact value, halves away from zero', m: { freqHz: 70, boostDbL: 0.625, boostDbR: 0.625 }, opts: { minMoveDb: 0.1 }, want: [bell(70, -0.63)] },
  ];
  for (const { label, m, opts, want } of cases) assert.deepEqual(FFP.correctionBands([m], opts), want, label);
});

test('a balance correction with cuts only keeps just the side that moves', () => {
  const bands = FFP.correctionBands([{ freqHz: 210, q: 3.4, boostDbL: 2.5, boostDbR: 0 }], { splitTolDb: 0.25, maxBoostDb: 0, qFn: (m) => m.q });
  assert.deepEqual(bands, [bell(210, -2.5, 'left', 3.4)]);
});

test('qFn gives each measurement its Q, rounded to 2 decimals', () => {
  const bands = FFP.correctionBands([{ freqHz: 40, boostDb: 3, q: 5.555 }, { freqHz: 80, boostDb: 3 }], { qFn: (m) => m.q || 3.5 });
  assert.deepEqual(bands.map((b) => b.q), [5.55, 3.5]);
  assert.deepEqual(FFP.correctionBands([{ freqHz: 40, boostDb: 3 }]).map((b) => b.q), [4], 'the default Q');
});

test('a measurement without a usable frequency makes no band', () => {
  const junk = [null, 7, { boostDb: 6 }, { freqHz: NaN, boostDb: 6 }, { freqHz: 0, boostDb: 6 }, { freqHz: '100', boostDb: 6 }];
  assert.deepEqual(FFP.correctionBands(junk), []);
  assert.deepEqual(FFP.tonalBands(junk.map((m) => (m && typeof m === 'object' ? { ...m, offsetDb: 5 } : m))), []);
});

test('capBands keeps the 24 strongest, earlier input first among equals, ordered by frequency', () => {
  // 30 bands: gains 1..30 dB in magnitude, frequencies falling, two ties around the cut.
  const bands = Array.from({ length: 30 }, (_, i) => bell(3000 - i * 10, i % 2 ? -(i + 1) : i + 1));
  bands[5] = bell(500, 7);   // ties with bands[6] (|-7|) at the cut: the earlier one stays
  const capped = FFP.capBands(bands);
  assert.equal(capped.length, 24);
  assert.ok(capped.includes(bands[5]) && !capped.includes(bands[6]));
  assert.ok(!capped.includes(bands[0]) && !capped.includes(bands[4]));
  const freqs = capped.map((b) => b.freqHz);
  assert.deepEqual(freqs, freqs.slice().sort((a, b) => a - b));
});

test('capBands keeps severity order among bands at one frequency', () => {
  const a = bell(96, -2, 'right'), b = bell(96, -4, 'left'), c = bell(40, 1);
  assert.deepEqual(FFP.capBands([a, c, b]), [c, b, a]);
});

test('tonalBands makes broad bells from the minimum frequency up, in input order', () => {
  const ranges = [
    { freqHz: 4000, offsetDb: 20 },
    { freqHz: 1000, offsetDb: -15 },
    { freqHz: 2000, offsetDb: 0.9 },
    { freqHz: 300, offsetDb: 5 },
    { freqHz: 800, offsetDb: NaN },
    { freqHz: 500, offsetDb: 2 },
  ];
  assert.deepEqual(FFP.tonalBands(ranges), [bell(4000, -12, 'stereo', 1), bell(1000, 6, 'stereo', 1), bell(500, -2, 'stereo', 1)]);
  assert.deepEqual(FFP.tonalBands([{ freqHz: 600, offsetDb: 3 }], { minFreqHz: 700 }), []);
});

test('preferCuts lowers a list that boosts and returns a list of cuts as it is', () => {
  assert.deepEqual(FFP.preferCuts([bell(100, 2), bell(200, -3)]), [bell(100, 0), bell(200, -5)]);
  const cuts = [bell(100, -1), bell(200, -3)];
  const same = FFP.preferCuts(cuts);
  assert.notEqual(same, cuts);
  assert.equal(same[0], cuts[0]);
  assert.deepEqual(FFP.preferCuts([bell(1, 0.125), bell(2, -0.001)]).map((b) => b.gainDb), [0, -0.13]);
});

test('the list builders leave their arguments alone', () => {
  const booms = deepFreeze([{ freqHz: 45, boostDbL: 8, boostDbR: 2 }, { freqHz: 90, boostDb: 4 }]);
  const bands = deepFreeze([bell(100, 2), bell(50, -3)]);
  assert.doesNotThrow(() => {
    FFP.correctionBands(booms);
    FFP.tonalBands(deepFreeze([{ freqHz: 1000, offsetDb: 3 }]));
    FFP.capBands(bands);
    FFP.preferCuts(bands);
  });
  assert.equal(FFP.NBANDS, 24);
});

// ------------------------------------------------------------------ the Pro-Q 3 preset

const f32 = Math.fround;
const slotOf = (bytes, i) => {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  return Array.from({ length: 13 }, (_, p) => view.getFloat32(12 + 52 * i + 4 * p, true));
};
const floatAt = (bytes, offset) => new DataView(bytes.buffer, bytes.byteOffset).getFloat32(offset, true);
const EMPTY_SLOT = [0, 1, f32(Math.log(1000) / Math.log(2)), 0, 0, 1, 1, 0.5, 0, 1, 2, 1, 0];
const GLOBALS = [0, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, -1, 1, 2, 2, 3, 0, 1, 1, 2, 0, 0];

test('an empty preset is the header, 24 empty slots and the default globals', () => {
  const bytes = FFP.buildProQ3();
  assert.ok(bytes instanceof Uint8Array);
  assert.equal(bytes.length, 1348);
  assert.deepEqual(Array.from(bytes.slice(0, 4)), [0x46, 0x51, 0x33, 0x70]);
  const view = new DataView(bytes.buffer);
  assert.deepEqual([view.getInt32(4, true), view.getInt32(8, true)], [4, 334]);
  for (let i = 0; i < 24; i++) assert.deepEqual(slotOf(bytes, i), EMPTY_SLOT, `slot ${i}`);
  assert.deepEqual(Array.from({ length: 22 }, (_, g) => floatAt(bytes, 1260 + 4 * g)), GLOBALS);
  assert.deepEqual(FFP.buildProQ3({ bands: [] }), bytes);
});

test('auto gain is global 8, set by any true value', () => {
  const cases = [[true, 1], [1, 1], ['yes', 1], [false, 0], [0, 0], [undefined, 0]];
  for (const [autoGain, want] of cases) assert.equal(floatAt(FFP.buildProQ3({ autoGain }), 1292), want, String(autoGain));
  const withGain = FFP.buildProQ3({ autoGain: true });
  const without = FFP.buildProQ3();
  assert.equal(withGain.findIndex((b, i) => b !== without[i]) >= 1292, true, 'nothing else moves');
});

test('a band fills its slot in the preset\'s parameter order', () => {
  const bytes = FFP.buildProQ3({ bands: [{ freqHz: 1000, gainDb: -6, q: 4, type: 'bell', stereo: 'left' }] });
  assert.deepEqual(slotOf(bytes, 0), [1, 1, f32(Math.log2(1000)), -6, 0, 1, 1, f32(0.6879018), 0, 1, 0, 1, 0]);
  assert.deepEqual(slotOf(bytes, 1), EMPTY_SLOT);
  const bare = slotOf(FFP.buildProQ3({ bands: [{ freqHz: 250 }] }), 0);
  assert.deepEqual([bare[3], bare[7], bare[8], bare[10]], [0, 0.5, 0, 2], 'missing gain, Q, type and placement');
});

test('Q is stored on the vendor\'s log scale', () => {
  const cases = [[1, 0.5], [10, 0.812098175], [0.1, 0.187901825], [4, 0.6879018]];
  for (const [q, v] of cases) {
    assert.ok(Math.abs(FFP.qEncode(q) - v) < 1e-7, `Q ${q}`);
    assert.ok(Math.abs(FFP.qDecode(v) / q - 1) < 1e-6, `back to Q ${q}`);
  }
});

test('types and placements are looked up ignoring case, unknown names taking the defaults', () => {
  const typeCases = [['bell', 0], ['LowShelf', 1], ['lowcut', 2], ['HighShelf', 3], ['highcut', 4], ['notch', 5], ['bandpass', 6], ['tiltshelf', 7], ['flattilt', 8], ['peak', 0], [undefined, 0], ['constructor', 0], [3, 0]];
  for (const [type, code] of typeCases) assert.equal(slotOf(FFP.buildProQ3({ bands: [{ freqHz: 100, type }] }), 0)[8], code, `type ${type}`);
  const placeCases = [['left', 0], ['RIGHT', 1], ['stereo', 2], ['Both', 2], [null, 2]];
  for (const [stereo, code] of placeCases) assert.equal(slotOf(FFP.buildProQ3({ bands: [{ freqHz: 100, stereo }] }), 0)[10], code, `placement ${stereo}`);
  assert.deepEqual(FFP.TYPE, { bell: 0, lowshelf: 1, lowcut: 2, highshelf: 3, highcut: 4, notch: 5, bandpass: 6, tiltshelf: 7, flattilt: 8 });
  assert.deepEqual(FFP.PLACE, { left: 0, right: 1, stereo: 2 });
});

test('only 24 bands are written', () => {
  const bands = Array.from({ length: 25 }, (_, i) => bell(100 + i, -1 - i / 10));
  const bytes = FFP.buildProQ3({ bands });
  assert.equal(bytes.length, 1348);
  assert.deepEqual(FFP.decodeProQ3(bytes).bands.map((b) => Math.round(b.freqHz)), bands.slice(0, 24).map((b) => b.freqHz));
});

test('a band that cannot be placed leaves an empty slot rather than a NaN in the file', () => {
  const bands = [{ gainDb: -3 }, null, { freqHz: NaN }, { freqHz: 0, gainDb: 2 }, { freqHz: 200, gainDb: NaN, q: 0 }];
  const bytes = FFP.buildProQ3({ bands });
  for (let i = 0; i < 4; i++) assert.deepEqual(slotOf(bytes, i), EMPTY_SLOT, `slot ${i}`);
  assert.deepEqual([slotOf(bytes, 4)[0], slotOf(bytes, 4)[3], slotOf(bytes, 4)[7]], [1, 0, 0.5], 'a usable frequency with a bad gain and Q');
  for (let offset = 12; offset < 1348; offset += 4) assert.ok(Number.isFinite(floatAt(bytes, offset)), `float at ${offset}`);
});

test('a written preset decodes back to its bands within float precision', () => {
  const bands = deepFreeze([
    { freqHz: 45, gainDb: -5.1, q: 5.2, type: 'bell', stereo: 'stereo' },
    { freqHz: 96, gainDb: -4.25, q: 4.2, type: 'bell', stereo: 'left' },
    { freqHz: 120, gainDb: 3, q: 0.71, type: 'lowshelf', stereo: 'right' },
    { freqHz: 9000, gainDb: -2.5, q: 0.7, type: 'HighShelf' },
  ]);
  const preset = FFP.decodeProQ3(FFP.buildProQ3({ bands, autoGain: true }));
  assert.deepEqual([preset.fxID, preset.version, preset.numParams, preset.bands.length], ['FQ3p', 4, 334, 24]);
  bands.forEach((band, i) => {
    const got = preset.bands[i];
    assert.deepEqual(Object.keys(got), ['enabled', 'bypass', 'freqHz', 'gainDb', 'q', 'type', 'slope', 'stereo']);
    assert.deepEqual([got.enabled, got.bypass, got.slope, got.gainDb], [true, false, 1, f32(band.gainDb)], `band ${i}`);
    assert.ok(Math.abs(got.freqHz / band.freqHz - 1) < 1e-6, `frequency ${i}: ${got.freqHz}`);
    assert.ok(Math.abs(got.q / band.q - 1) < 1e-5, `Q ${i}: ${got.q}`);
    assert.deepEqual([got.type, got.stereo], [band.type.toLowerCase(), band.stereo || 'stereo'], `names ${i}`);
  });
  const empty = preset.bands[4];
  assert.deepEqual([empty.enabled, empty.bypass, empty.gainDb, empty.type, empty.stereo], [false, false, 0, 'bell', 'stereo']);
  assert.ok(Math.abs(empty.freqHz - 999.99985) < 1e-5, `empty slot frequency ${empty.freqHz}`);
  assert.ok(Math.abs(empty.q - 1) < 1e-6);
});

test('decoding reads any view over its own bytes, whatever the header says', () => {
  const bytes = FFP.buildProQ3({ bands: [bell(63, -2.2, 'right')] });
  // A view that starts inside a larger buffer, with junk before it.
  const framed = new Uint8Array(1348 + 20);
  framed.fill(0xff);
  framed.set(bytes, 7);
  const inside = framed.subarray(7, 7 + 1348);
  const sources = [bytes, bytes.buffer, new DataView(bytes.buffer), Buffer.from(bytes), inside, new DataView(framed.buffer, 7, 1348)];
  const want = FFP.decodeProQ3(bytes);
  for (const source of sources) assert.deepEqual(FFP.decodeProQ3(source), want, source.constructor.name);

  const odd = bytes.slice(0, 1260);
  odd.set([0x58, 0x58, 0x58, 0x58], 0);
  new DataView(odd.buffer).setInt32(4, 9, true);
  new DataView(odd.buffer).setInt32(8, 3, true);
  const decoded = FFP.decodeProQ3(odd);
  assert.deepEqual([decoded.fxID, decoded.version, decoded.numParams, decoded.bands.length], ['XXXX', 9, 3, 24]);
  assert.equal(decoded.bands[0].stereo, 'right');

  const junk = new Uint8Array(1260);
  new DataView(junk.buffer).setFloat32(12 + 32, 42, true);
  new DataView(junk.buffer).setFloat32(12 + 40, -7, true);
  assert.deepEqual([FFP.decodeProQ3(junk).bands[0].type, FFP.decodeProQ3(junk).bands[0].stereo], ['bell', 'stereo'], 'codes that name nothing');
  assert.deepEqual([FFP.decodeProQ3(junk).bands[0].enabled, FFP.decodeProQ3(junk).bands[0].bypass], [false, true]);
  const near = new DataView(junk.buffer);
  [[0, 0.6], [4, 0.5], [32, 2.6], [40, 0.6]].forEach(([p, v]) => near.setFloat32(12 + 52 + p, v, true));
  const b1 = FFP.decodeProQ3(junk).bands[1];
  assert.deepEqual([b1.enabled, b1.bypass, b1.type, b1.stereo], [true, false, 'highshelf', 'right'], 'stored values round to the nearest code');
});

test('fewer bytes than the header and band slots is a range error', () => {
  for (const source of [new Uint8Array(1259), new ArrayBuffer(0), FFP.buildProQ3().subarray(89), null, undefined, 'FQ3p']) {
    assert.throws(() => FFP.decodeProQ3(source), RangeError);
  }
});

test('preferCuts gives a band without a usable gain 0 dB, never NaN', () => {
  const out = FFP.preferCuts([{ freqHz: 100, gainDb: 2, q: 1, type: 'bell', stereo: 'stereo' }, { freqHz: 200, q: 1, type: 'bell', stereo: 'stereo' }]);
  assert.deepEqual(out.map((b) => b.gainDb), [0, -2]);
});
