/*
 * Correction band lists: measurements become cutting bells, capped to what a
 * state (and the Pro-Q 3 preset) can hold; and the Pro-Q 3 preset file (".ffp")
 * written from such a list and read back. Every function is pure and returns
 * new data; arguments are never changed.
 */
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module && module.exports) module.exports = api;
  else root.BrindleFFP = api;
})(typeof window !== 'undefined' ? window : globalThis, function () {
  'use strict';

  // The preset format's band count, and the most bands a correction state holds.
  const NBANDS = 24;

  function optionsOf(options) {
    return options && typeof options === 'object' ? options : {};
  }

  function option(options, key, fallback) {
    const value = options[key];
    return value === undefined || value === null ? fallback : value;
  }

  function isFiniteNumber(value) {
    return typeof value === 'number' && Number.isFinite(value);
  }

  // Rounds the exact stored value, halves away from zero, as its fixed-point text
  // is written (-0.125 gives -0.13, 5.555 stored just below gives 5.55).
  function roundTo(value, decimals) {
    return Number(Number(value).toFixed(decimals)) + 0;
  }

  function clamp(value, lo, hi) {
    return Math.min(hi, Math.max(lo, value));
  }

  // A measurement without a usable frequency cannot place a band.
  function hasFrequency(m) {
    return m !== null && typeof m === 'object' && isFiniteNumber(m.freqHz) && m.freqHz > 0;
  }

  // A side's own boost, else the shared one, else none; non-finite counts as missing.
  function sideBoost(m, key) {
    if (isFiniteNumber(m[key])) return m[key];
    if (isFiniteNumber(m.boostDb)) return m.boostDb;
    return 0;
  }

  function bell(freqHz, gainDb, q, stereo) {
    return { freqHz, gainDb: roundTo(gainDb, 2), q, type: 'bell', stereo };
  }

  function gainMagnitude(band) {
    const g = Math.abs(Number(band && band.gainDb));
    return Number.isFinite(g) ? g : 0;
  }

  function frequencyOf(band) {
    const f = Number(band && band.freqHz);
    return Number.isFinite(f) ? f : Infinity;
  }

  // Keeps the strongest moves and presents them from low to high; both sorts are
  // stable, so ties keep input order (and severity order at one frequency).
  function capBands(bands) {
    if (!Array.isArray(bands)) return [];
    const strongest = bands.slice().sort((a, b) => gainMagnitude(b) - gainMagnitude(a)).slice(0, NBANDS);
    return strongest.sort((a, b) => frequencyOf(a) - frequencyOf(b));
  }

  // The room boosts a note, so the band cuts it. Boosts are capped because deep
  // nulls cannot be equalised up.
  function correctionBands(measurements, options) {
    const o = optionsOf(options);
    const qFn = typeof o.qFn === 'function' ? o.qFn : null;
    const fixedQ = option(o, 'q', 4);
    const maxBoostDb = option(o, 'maxBoostDb', 6);
    const maxCutDb = option(o, 'maxCutDb', 30);
    const splitTolDb = option(o, 'splitTolDb', 0.5);
    const minMoveDb = option(o, 'minMoveDb', 0.5);
    const limit = (g) => clamp(g, -maxCutDb, maxBoostDb);
    const bands = [];
    for (const m of Array.isArray(measurements) ? measurements : []) {
      if (!hasFrequency(m)) continue;
      const left = sideBoost(m, 'boostDbL');
      const right = sideBoost(m, 'boostDbR');
      const q = roundTo(qFn ? qFn(m) : fixedQ, 2);
      if (Math.abs(left - right) <= splitTolDb) {
        const g = limit(-(left + right) / 2);
        if (Math.abs(g) >= minMoveDb) bands.push(bell(m.freqHz, g, q, 'stereo'));
        continue;
      }
      const gl = limit(-left);
      const gr = limit(-right);
      if (Math.abs(gl) >= minMoveDb) bands.push(bell(m.freqHz, gl, q, 'left'));
      if (Math.abs(gr) >= minMoveDb) bands.push(bell(m.freqHz, gr, q, 'right'));
    }
    return capBands(bands);
  }

  // Broad, gentle bells for tonal ranges. Below minFreqHz the narrow boom cuts own
  // the correction, so a mode is not counted twice as a broad shelf.
  function tonalBands(ranges, options) {
    const o = optionsOf(options);
    const q = option(o, 'q', 1);
    const minFreqHz = option(o, 'minFreqHz', 315);
    const maxBoostDb = option(o, 'maxBoostDb', 6);
    const maxCutDb = option(o, 'maxCutDb', 12);
    const minMoveDb = option(o, 'minMoveDb', 1);
    const bands = [];
    for (const range of Array.isArray(ranges) ? ranges : []) {
      if (!hasFrequency(range) || range.freqHz < minFreqHz) continue;
      const offset = isFiniteNumber(range.offsetDb) ? range.offsetDb : 0;
      const g = clamp(-offset, -maxCutDb, maxBoostDb);
      if (Math.abs(g) >= minMoveDb) bands.push(bell(range.freqHz, g, q, 'stereo'));
    }
    return bands;
  }

  // Lowers the whole list so that nothing boosts; the relative curve stays and the
  // preset's automatic gain makes up the level.
  function preferCuts(bands) {
    if (!Array.isArray(bands)) return [];
    let largest = 0;
    for (const band of bands) {
      const g = Number(band && band.gainDb);
      if (g > largest) largest = g;
    }
    if (largest <= 0) return bands.slice();
    return bands.filter((band) => band !== null && typeof band === 'object').map((band) => ({
      freqHz: band.freqHz,
      // A band without a usable gain counts as 0 dB, so it never turns into NaN.
      gainDb: roundTo((Number.isFinite(Number(band.gainDb)) ? Number(band.gainDb) : 0) - largest, 2),
      q: band.q,
      type: band.type,
      stereo: band.stereo,
    }));
  }

  // ---------------------------------------------------------------- the Pro-Q 3 preset

  // Little-endian: "FQ3p", version, parameter count, 24 band slots of 13 floats, 22 global floats.
  const PRESET_VERSION = 4;
  const SLOT_PARAMS = 13;
  const GLOBAL_PARAMS = 22;
  const HEADER_BYTES = 12;
  const SLOT_BYTES = SLOT_PARAMS * 4;
  const GLOBALS_AT = HEADER_BYTES + NBANDS * SLOT_BYTES;
  const PARAM_COUNT = NBANDS * SLOT_PARAMS + GLOBAL_PARAMS;
  const PRESET_BYTES = HEADER_BYTES + PARAM_COUNT * 4;
  const AUTO_GAIN_INDEX = 8;
  // The vendor's clean default: zero latency, analyser on, 90 dB range, medium speed, 4.5 dB tilt, 12 dB display.
  const DEFAULT_GLOBALS = Object.freeze([0, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, -1, 1, 2, 2, 3, 0, 1, 1, 2, 0, 0]);

  const TYPE = Object.freeze({ bell: 0, lowshelf: 1, lowcut: 2, highshelf: 3, highcut: 4, notch: 5, bandpass: 6, tiltshelf: 7, flattilt: 8 });
  const PLACE = Object.freeze({ left: 0, right: 1, stereo: 2 });

  // The vendor's log scale for Q.
  const Q_SCALE = 0.312098175;

  function qEncode(q) {
    return (Math.log(q) / Math.log(10)) * Q_SCALE + 0.5;
  }

  function qDecode(value) {
    return Math.pow(10, (value - 0.5) / Q_SCALE);
  }

  function codeOf(table, name, fallback) {
    const key = typeof name === 'string' ? name.toLowerCase() : name;
    return typeof key === 'string' && Object.prototype.hasOwnProperty.call(table, key) ? table[key] : fallback;
  }

  function nameOf(table, value, fallback) {
    const code = Math.round(value);
    const name = Object.keys(table).find((key) => table[key] === code);
    return name === undefined ? fallback : name;
  }

  // Slot parameters in order: enabled, active, log2 Hz, gain, dynamic range, its switch,
  // its threshold, Q, type, slope (1 = 12 dB/oct), placement, two undocumented.
  function bandSlot(band) {
    const gainDb = isFiniteNumber(band.gainDb) ? band.gainDb : 0;
    const q = isFiniteNumber(band.q) && band.q > 0 ? band.q : 1;
    const type = codeOf(TYPE, band.type === undefined || band.type === null ? 'bell' : band.type, TYPE.bell);
    const place = codeOf(PLACE, band.stereo === undefined || band.stereo === null ? 'stereo' : band.stereo, PLACE.stereo);
    return [1, 1, Math.log(band.freqHz) / Math.log(2), gainDb, 0, 1, 1, qEncode(q), type, 1, place, 1, 0];
  }

  // A disabled default band at 1000 Hz, as in the vendor's own empty preset.
  const EMPTY_SLOT = Object.freeze([0, 1, Math.log(1000) / Math.log(2), 0, 0, 1, 1, qEncode(1), 0, 1, 2, 1, 0]);

  function buildProQ3(options) {
    const o = optionsOf(options);
    const bands = Array.isArray(o.bands) ? o.bands : [];
    const bytes = new Uint8Array(PRESET_BYTES);
    const view = new DataView(bytes.buffer);
    'FQ3p'.split('').forEach((c, i) => view.setUint8(i, c.charCodeAt(0)));
    view.setInt32(4, PRESET_VERSION, true);
    view.setInt32(8, PARAM_COUNT, true);
    for (let i = 0; i < NBANDS; i++) {
      // A band without a usable frequency cannot be placed; its slot stays empty
      // rather than carrying a NaN into the plug-in.
      const params = i < bands.length && hasFrequency(bands[i]) ? bandSlot(bands[i]) : EMPTY_SLOT;
      params.forEach((v, p) => view.setFloat32(HEADER_BYTES + i * SLOT_BYTES + p * 4, v, true));
    }
    DEFAULT_GLOBALS.forEach((v, g) => {
      const value = g === AUTO_GAIN_INDEX ? (o.autoGain ? 1 : 0) : v;
      view.setFloat32(GLOBALS_AT + g * 4, value, true);
    });
    return bytes;
  }

  // Over the view's own bytes only: a view may sit inside a larger buffer.
  // Tested by tag rather than instanceof, so a buffer made in another frame also reads.
  function viewOf(source) {
    if (ArrayBuffer.isView(source)) return new DataView(source.buffer, source.byteOffset, source.byteLength);
    const tag = Object.prototype.toString.call(source);
    if (tag === '[object ArrayBuffer]' || tag === '[object SharedArrayBuffer]') return new DataView(source);
    return new DataView(new ArrayBuffer(0));
  }

  // Nothing beyond the length is checked: any magic or version is decoded as it stands.
  function decodeProQ3(source) {
    const view = viewOf(source);
    if (view.byteLength < GLOBALS_AT) {
      throw new RangeError('A Pro-Q 3 preset needs at least ' + GLOBALS_AT + ' bytes; this one has ' + view.byteLength + '.');
    }
    const fxID = String.fromCharCode(view.getUint8(0), view.getUint8(1), view.getUint8(2), view.getUint8(3));
    const bands = [];
    for (let i = 0; i < NBANDS; i++) {
      const at = (p) => view.getFloat32(HEADER_BYTES + i * SLOT_BYTES + p * 4, true);
      bands.push({
        enabled: Math.round(at(0)) !== 0,
        bypass: at(1) === 0,
        freqHz: Math.pow(2, at(2)),
        gainDb: at(3),
        q: qDecode(at(7)),
        type: nameOf(TYPE, at(8), 'bell'),
        slope: at(9),
        stereo: nameOf(PLACE, at(10), 'stereo'),
      });
    }
    return { fxID, version: view.getInt32(4, true), numParams: view.getInt32(8, true), bands };
  }

  return {
    NBANDS,
    TYPE,
    PLACE,
    correctionBands,
    tonalBands,
    capBands,
    preferCuts,
    qEncode,
    qDecode,
    buildProQ3,
    decodeProQ3,
  };
});
