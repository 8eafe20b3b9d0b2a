/*
 * Correction band lists: measurements become cutting bells, capped to what a
 * state (and the Pro-Q 3 preset) can hold. Every function is pure and returns
 * new lists; arguments are never changed.
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
      gainDb: roundTo(Number(band.gainDb) - largest, 2),
      q: band.q,
      type: band.type,
      stereo: band.stereo,
    }));
  }

  return { NBANDS, correctionBands, tonalBands, capBands, preferCuts };
});
