/*
 * The page's correction model: the correction state and its guard, the figures
 * the console derives from a state, and the room profile reader and builder.
 * Pure: no page, audio, storage or file access, nothing kept between calls.
 */
(function (root, factory) {
  'use strict';
  const inNode = typeof module === 'object' && module && module.exports && typeof require === 'function';
  // The listening-test definitions are optional: without them the tonal threshold keeps its default.
  const optionalRequire = (path) => {
    try {
      require.resolve(path);
    } catch (e) {
      return null;
    }
    return require(path);
  };
  const api = inNode
    ? factory(require('./eq-fit.js'), require('./fabfilter-ffp.js'), optionalRequire('./protocol.js'))
    : factory(root.BrindleEqFit, root.BrindleFFP, root.BrindleProtocol || null);
  if (inNode) module.exports = api;
  else root.BrindleProfile = api;
})(typeof window !== 'undefined' ? window : globalThis, function (EqFit, FFP, Protocol) {
  'use strict';

  const STATE_VERSION = 1;
  const MAX_BANDS = FFP.NBANDS;
  const DEFAULT_Q = 3.5;
  const DEFAULT_RATE = 48000;
  const PHASE_MODES = Object.freeze(['minimum', 'linear']);
  const FIR_QUALITIES = Object.freeze(['low', 'medium', 'high']);
  const FIR_TAPS = Object.freeze({ low: 4096, medium: 16384, high: 65536 });
  const FIR_MAX_TAPS = 65536;
  const FIR_BLOCK = 1024;
  // Samples of the engine's fractional delay line, present in every mode.
  const DELAY_LINE_SAMPLES = 15;
  const NAME_UNITS = 120;
  const TIME_UNITS = 40;
  // Flagged nulls pass into the profile as they are. A null is a small record; nested
  // deeper than this it is junk that could be neither copied nor written back as JSON.
  const MAX_NULLS_NESTING = 64;
  // A measured room holds tens of booms and tonal ranges. The joint fit's work grows with every
  // one (each brings up to four targets), so far past any real export the reader refuses the
  // file rather than freeze the page: at this limit a read stays within two seconds.
  const MAX_FIT_MEASUREMENTS = 500;
  // Warble points, balance corrections and dips stay out of the fit and cost it next to nothing;
  // a dense warble sweep holds hundreds of points. Only a file of hundreds of thousands, which no
  // export is, is kept from the page.
  const MAX_MEASUREMENTS = 200000;

  const LIMITS = Object.freeze({
    correctionPct: Object.freeze({ min: 0, max: 100, step: 1, default: 65 }),
    delayMs: Object.freeze({ min: 0, max: 20, step: 0.001, default: 0 }),
    outputDb: Object.freeze({ min: -24, max: 12, step: 0.1, default: 0 }),
    gainDb: Object.freeze({ min: -30, max: 12 }),
    q: Object.freeze({ min: 0.1, max: 24 }),
    freqHz: Object.freeze({ min: 10, max: 24000 }),
  });

  // Below this, tonal ranges are display-only: the boom corrections own the correction there.
  const MIN_CORRECTION_HZ = tonalThreshold(Protocol);
  // Deeper than this is a null, not a dip.
  const DIP_MAX_BOOST_DB = 3;
  const MAX_BOOST_DB = 6;

  const MESSAGES = Object.freeze({
    notJson: 'That file is not valid JSON.',
    notProfile: 'That file does not contain a room profile.',
    noMeasurements: 'No measurements in this profile — nothing was measured, or it is not a Tonwell export.',
    flat: 'This room measured flat enough that the fit produced no filters.',
    delayNotApplied: 'The stereo-focus test ran but was not applied, so both delays start at zero.',
    nullsTooDeep: 'That file nests its flagged nulls too deeply to be a room profile.',
    tooManyFitMeasurements: (count) =>
      `This profile holds ${count} booms and tonal ranges, more than the ${MAX_FIT_MEASUREMENTS} a room profile can hold, so it was not read.`,
    tooManyMeasurements: (count) =>
      `This profile holds ${count} measurements, more than the ${MAX_MEASUREMENTS} a room profile can hold, so it was not read.`,
  });

  function tonalThreshold(protocol) {
    const hz = protocol && protocol.TONAL && protocol.TONAL.minCorrectionHz;
    return typeof hz === 'number' && Number.isFinite(hz) && hz > 0 ? hz : 500;
  }

  // ---------------------------------------------------------------- value readers

  function isRecord(value) {
    return value !== null && typeof value === 'object' && !Array.isArray(value);
  }

  function isMissing(value) {
    return value === undefined || value === null;
  }

  function isFiniteNumber(value) {
    return typeof value === 'number' && Number.isFinite(value);
  }

  function own(record, key) {
    return isRecord(record) && Object.prototype.hasOwnProperty.call(record, key) ? record[key] : undefined;
  }

  function optionsOf(options) {
    return isRecord(options) ? options : {};
  }

  const DECIMAL_TEXT = /^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/;

  // A text holding a number in decimal notation, white space around it allowed.
  function numberInText(text) {
    const trimmed = text.trim();
    if (!DECIMAL_TEXT.test(trimmed)) return undefined;
    const n = Number(trimmed);
    return Number.isFinite(n) ? n : undefined;
  }

  // The number rule: a value without a number in it carries no intent and takes the default.
  function readNumber(value, fallback) {
    if (typeof value === 'number') return Number.isFinite(value) ? value : fallback;
    if (value === true) return 1;
    if (value === false || value === null) return 0;
    if (typeof value === 'string') {
      const n = numberInText(value);
      return n === undefined ? fallback : n;
    }
    return fallback;
  }

  // Unlike a plain clamp, -0 comes out as 0: a guarded value must equal its own
  // JSON round trip, which writes -0 as 0.
  function clampNoNegativeZero(value, lo, hi) {
    const v = Math.min(hi, Math.max(lo, value));
    return v === 0 ? 0 : v;
  }

  function clampedNumber(value, fallback, lo, hi) {
    return clampNoNegativeZero(readNumber(value, fallback), lo, hi);
  }

  // To 0.01 with halves toward positive infinity, the same rule as the engine's (-1.625 gives -1.62).
  function roundHundredths(value) {
    const v = Math.floor(value * 100 + 0.5) / 100;
    return v === 0 ? 0 : v;
  }

  // On the exact stored value, halves away from zero, as its fixed-point text is written.
  function roundTo(value, decimals) {
    return Number(Number(value).toFixed(decimals)) + 0;
  }

  function textOf(value) {
    if (isMissing(value)) return '';
    if (typeof value === 'string') return value;
    try {
      return String(value);
    } catch (e) {
      return '';
    }
  }

  // Cuts to a number of UTF-16 code units without leaving half of a surrogate pair at the end.
  function cutText(text, units) {
    if (text.length <= units) return text;
    const cut = text.slice(0, units);
    const last = cut.charCodeAt(units - 1);
    return last >= 0xd800 && last <= 0xdbff ? cut.slice(0, units - 1) : cut;
  }

  function rateOf(sampleRate) {
    return isFiniteNumber(sampleRate) && sampleRate > 0 ? sampleRate : DEFAULT_RATE;
  }

  // ---------------------------------------------------------------- the state guard

  function bandFrom(value, index) {
    const on = own(value, 'on');
    const type = own(value, 'type');
    const stereo = own(value, 'stereo');
    return {
      id: 'b' + index,
      freqHz: clampedNumber(own(value, 'freqHz'), 1000, LIMITS.freqHz.min, LIMITS.freqHz.max),
      gainDb: clampNoNegativeZero(roundHundredths(readNumber(own(value, 'gainDb'), 0)), LIMITS.gainDb.min, LIMITS.gainDb.max),
      q: clampNoNegativeZero(roundHundredths(readNumber(own(value, 'q'), DEFAULT_Q)), LIMITS.q.min, LIMITS.q.max),
      type: type === 'lowshelf' || type === 'highshelf' ? type : 'bell',
      stereo: stereo === 'left' || stereo === 'right' ? stereo : 'stereo',
      on: on === undefined ? true : Boolean(on),
    };
  }

  // Entries that are not objects carry no band and are left out before the limit is applied.
  function bandListFrom(value) {
    if (!Array.isArray(value)) return [];
    return value.filter(isRecord).slice(0, MAX_BANDS).map(bandFrom);
  }

  function copyBand(band) {
    return { id: band.id, freqHz: band.freqHz, gainDb: band.gainDb, q: band.q, type: band.type, stereo: band.stereo, on: band.on };
  }

  function baselineRecord(bands, correctionPct, delayLeftMs, delayRightMs) {
    return { bands, correctionPct, delayLeftMs, delayRightMs };
  }

  // The room as it was loaded. Older builds stored a bare band list, whose amount and
  // delays are the state's own; a baseline of null, false or 0 reads as 0 % and no delay.
  function baselineOf(value, guardedOwner) {
    if (Array.isArray(value)) {
      const owner = guardedOwner || { correctionPct: LIMITS.correctionPct.default, delayLeftMs: 0, delayRightMs: 0 };
      return baselineRecord(bandListFrom(value), owner.correctionPct, owner.delayLeftMs, owner.delayRightMs);
    }
    if (value === null || value === false || value === 0) return baselineRecord([], 0, 0, 0);
    return baselineRecord(
      bandListFrom(own(value, 'bands')),
      clampedNumber(own(value, 'correctionPct'), LIMITS.correctionPct.default, 0, 100),
      clampedNumber(own(value, 'delayLeftMs'), 0, 0, 20),
      clampedNumber(own(value, 'delayRightMs'), 0, 0, 20)
    );
  }

  function defaultState() {
    return {
      version: STATE_VERSION,
      profileName: '',
      profileAt: null,
      bypass: false,
      correctionPct: LIMITS.correctionPct.default,
      delayLeftMs: 0,
      delayRightMs: 0,
      outputDb: 0,
      phaseMode: 'minimum',
      firQuality: 'medium',
      safeHeadroom: true,
      bands: [],
      baseline: baselineRecord([], LIMITS.correctionPct.default, 0, 0),
    };
  }

  function sanitizeState(value) {
    if (!isRecord(value)) return defaultState();
    const profileAt = own(value, 'profileAt');
    const phaseMode = own(value, 'phaseMode');
    const firQuality = own(value, 'firQuality');
    const safeHeadroom = own(value, 'safeHeadroom');
    const state = {
      version: STATE_VERSION,
      profileName: cutText(textOf(own(value, 'profileName')), NAME_UNITS),
      profileAt: typeof profileAt === 'string' ? cutText(profileAt, TIME_UNITS) : null,
      bypass: Boolean(own(value, 'bypass')),
      correctionPct: clampedNumber(own(value, 'correctionPct'), LIMITS.correctionPct.default, 0, 100),
      delayLeftMs: clampedNumber(own(value, 'delayLeftMs'), 0, 0, 20),
      delayRightMs: clampedNumber(own(value, 'delayRightMs'), 0, 0, 20),
      outputDb: clampedNumber(own(value, 'outputDb'), 0, -24, 12),
      // Never a neighbouring word: linear phase is only ever the user's own choice.
      phaseMode: PHASE_MODES.includes(phaseMode) ? phaseMode : 'minimum',
      firQuality: FIR_QUALITIES.includes(firQuality) ? firQuality : 'medium',
      // A state from a build without this key had no clipping protection at all.
      safeHeadroom: isMissing(safeHeadroom) ? true : Boolean(safeHeadroom),
      bands: bandListFrom(own(value, 'bands')),
      baseline: null,
    };
    state.baseline = baselineOf(own(value, 'baseline'), state);
    return state;
  }

  function toJson(state) {
    return JSON.stringify(sanitizeState(state));
  }

  function fromJson(text) {
    let parsed;
    try {
      parsed = JSON.parse(text);
    } catch (e) {
      return defaultState();
    }
    return sanitizeState(parsed);
  }

  function bandsDiffer(a, b) {
    return a.freqHz !== b.freqHz || a.gainDb !== b.gainDb || a.q !== b.q || a.on !== b.on || a.stereo !== b.stereo;
  }

  function isEdited(state) {
    const s = sanitizeState(state);
    const base = s.baseline;
    if (s.correctionPct !== base.correctionPct) return true;
    if (s.delayLeftMs !== base.delayLeftMs || s.delayRightMs !== base.delayRightMs) return true;
    if (s.bands.length !== base.bands.length) return true;
    return s.bands.some((band, i) => bandsDiffer(band, base.bands[i]));
  }

  function resetToProfile(state) {
    const s = sanitizeState(state);
    const base = s.baseline;
    return {
      ...s,
      correctionPct: base.correctionPct,
      delayLeftMs: base.delayLeftMs,
      delayRightMs: base.delayRightMs,
      bands: base.bands.map(copyBand),
    };
  }

  // ---------------------------------------------------------------- figures of a state

  function activeBands(state, options) {
    const s = sanitizeState(state);
    if (s.bypass) return [];
    const minMove = optionsOf(options).minMoveDb;
    const minMoveDb = isFiniteNumber(minMove) ? minMove : 0.05;
    const k = s.correctionPct / 100;
    const inForce = [];
    for (const band of s.bands) {
      if (!band.on) continue;
      // The rounded gain is compared, as the engine compares it.
      const g = roundHundredths(band.gainDb * k);
      if (Math.abs(g) < minMoveDb) continue;
      inForce.push({ freqHz: band.freqHz, gainDb: g, q: band.q, type: band.type, stereo: band.stereo });
    }
    return inForce;
  }

  // Rounds the exact scaled length up to a whole block.
  function firTapsFor(quality, sampleRate) {
    const base = FIR_QUALITIES.includes(quality) ? FIR_TAPS[quality] : FIR_TAPS.medium;
    const n = Math.min(FIR_MAX_TAPS, Math.max(base, base * rateOf(sampleRate) / DEFAULT_RATE));
    return Math.ceil(n / FIR_BLOCK) * FIR_BLOCK;
  }

  // A delay is never negative: the engine clamps it to 0 as well.
  function delayValue(value) {
    return isFiniteNumber(value) && value > 0 ? value : 0;
  }

  // Taken from the state as passed: the engine's delay line and kernel stay in the path while bypassed.
  function latencySamples(state, sampleRate) {
    const s = isRecord(state) ? state : {};
    const fs = rateOf(sampleRate);
    const maxDelayMs = Math.max(delayValue(s.delayLeftMs), delayValue(s.delayRightMs));
    let samples = maxDelayMs * 0.001 * fs + DELAY_LINE_SAMPLES;
    if (s.phaseMode === 'linear') samples += firTapsFor(s.firQuality, fs) * 0.5 + FIR_BLOCK;
    return samples;
  }

  function latencyMs(state) {
    const s = sanitizeState(state);
    return s.bypass ? 0 : Math.max(s.delayLeftMs, s.delayRightMs);
  }

  function delayUs(state) {
    const s = sanitizeState(state);
    if (s.bypass) return { leftUs: 0, rightUs: 0 };
    return { leftUs: Math.floor(s.delayLeftMs * 1000 + 0.5), rightUs: Math.floor(s.delayRightMs * 1000 + 0.5) };
  }

  function narrowestBandHz(bands) {
    let narrowest = Infinity;
    for (const band of Array.isArray(bands) ? bands : []) {
      if (isMissing(band) || band.on === false) continue;
      const q = Number(band.q);
      const f = Number(band.freqHz);
      if (!Number.isFinite(q) || !Number.isFinite(f) || q <= 0) continue;
      narrowest = Math.min(narrowest, f / q);
    }
    return narrowest === Infinity ? 0 : narrowest;
  }

  function responseDb(bands, freqHz, channel, sampleRate) {
    return EqFit.responseDb(bands, freqHz, channel || 'left', rateOf(sampleRate));
  }

  // A logarithmic grid carried by multiplication, so the last point lands within
  // rounding of the upper end; the engine carries its grid the same way.
  function curve(bands, options) {
    const o = optionsOf(options);
    const n = o.points || 160;
    const fromHz = o.fromHz || 20;
    const toHz = o.toHz || 20000;
    const fs = rateOf(o.sampleRate);
    const ratio = Math.pow(toHz / fromHz, 1 / (n - 1));
    const points = [];
    let f = fromHz;
    for (let i = 0; i < n; i++) {
      points.push({ freqHz: f, left: EqFit.responseDb(bands, f, 'left', fs), right: EqFit.responseDb(bands, f, 'right', fs) });
      f *= ratio;
    }
    return points;
  }

  // Only boosts need attenuation; overlapping boosts are read from the summed response.
  function headroomDb(bands, options) {
    const grid = curve(bands, { points: 128, fromHz: 20, toHz: 20000, sampleRate: optionsOf(options).sampleRate });
    let peak = 0;
    for (const p of grid) {
      if (p.left > peak) peak = p.left;
      if (p.right > peak) peak = p.right;
    }
    return peak > 0 ? 0 - roundHundredths(peak) : 0;
  }

  function peakMoveDb(bands, options) {
    let largest = 0;
    for (const p of curve(bands, options)) {
      if (Math.abs(p.left) > Math.abs(largest)) largest = p.left;
      if (Math.abs(p.right) > Math.abs(largest)) largest = p.right;
    }
    return roundHundredths(largest);
  }

  // ---------------------------------------------------------------- reading a room profile

  // A measurement number: a finite number, or a text holding one; anything else is missing.
  function measuredNumber(value) {
    if (isFiniteNumber(value)) return value;
    if (typeof value === 'string') return numberInText(value);
    return undefined;
  }

  const MEASUREMENT_FIELDS = Object.freeze({
    match: ['freqHz', 'lowHz', 'highHz', 'q', 'boostDbL', 'boostDbR', 'boostDb'],
    tonal: ['freqHz', 'lowHz', 'highHz', 'offsetDb'],
    tonalSweep: ['freqHz', 'offsetDb'],
    balanceFix: ['freqHz', 'q', 'boostDbL', 'boostDbR', 'boostDb'],
    dips: ['freqHz', 'kind', 'boostDb', 'q'],
  });

  // Keeps the fields the builder reads, the numbers each finite or absent, so that
  // an unreadable value falls back exactly as a missing one does.
  function measurementFrom(entry, fields) {
    const record = {};
    for (const field of fields) {
      if (field === 'kind') {
        if (entry.kind !== undefined) record.kind = entry.kind;
        continue;
      }
      const n = measuredNumber(entry[field]);
      if (n !== undefined) record[field] = n;
    }
    return record;
  }

  // Junk entries, and entries without a frequency above 0, are not measurements.
  function measurementList(value, fields) {
    const list = [];
    if (!Array.isArray(value)) return list;
    for (const entry of value) {
      if (!isRecord(entry)) continue;
      const m = measurementFrom(entry, fields);
      if (m.freqHz > 0) list.push(m);
    }
    return list;
  }

  // Looks no deeper than `levels`, so neither a hostile depth nor a cycle can exhaust the stack.
  function nestsWithin(value, levels) {
    if (value === null || typeof value !== 'object') return true;
    if (levels <= 0) return false;
    const children = Array.isArray(value) ? value : Object.values(value);
    return children.every((child) => nestsWithin(child, levels - 1));
  }

  // Recursive: only for values already known to nest within a few levels.
  function copyPlain(value) {
    if (Array.isArray(value)) return value.map(copyPlain);
    if (isRecord(value)) {
      const out = {};
      for (const key of Object.keys(value)) out[key] = copyPlain(value[key]);
      return out;
    }
    return value;
  }

  function nullsOf(file, map) {
    const fileNulls = own(file, 'nulls');
    if (!isMissing(fileNulls)) {
      const flagged = own(fileNulls, 'flagged');
      return Array.isArray(flagged) ? flagged : [];
    }
    const mapNulls = own(map, 'nulls');
    return Array.isArray(mapNulls) ? mapNulls : [];
  }

  // A file may be a whole export or only its map snapshot; the live lists win when they hold anything.
  function measurementsOf(file) {
    const source = isRecord(file) ? file : {};
    const map = isRecord(source.map) ? source.map : null;
    const pick = (key, mapKey) => {
      const live = measurementList(own(source, key), MEASUREMENT_FIELDS[key]);
      return live.length > 0 ? live : measurementList(own(map, mapKey), MEASUREMENT_FIELDS[key]);
    };
    const fileArrival = own(source, 'arrival');
    const mapArrival = own(map, 'arrival');
    return {
      match: pick('match', 'peaks'),
      tonal: pick('tonal', 'tonal'),
      tonalSweep: pick('tonalSweep', 'tonalSweep'),
      balanceFix: pick('balanceFix', 'balanceFix'),
      dips: pick('dips', 'dips'),
      nulls: nullsOf(source, map),
      arrival: isRecord(fileArrival) ? fileArrival : isRecord(mapArrival) ? mapArrival : null,
    };
  }

  function fitMeasurementCount(set) {
    return set.match.length + set.tonal.length;
  }

  function measurementCount(set) {
    return fitMeasurementCount(set) + set.tonalSweep.length + set.balanceFix.length + set.dips.length;
  }

  function hasMeasurements(set) {
    return set.match.length > 0 || set.tonal.length > 0 || set.balanceFix.length > 0 || set.dips.length > 0 || set.arrival !== null;
  }

  function noDelay() {
    return { leftMs: 0, rightMs: 0, channel: null, ms: 0, applied: false, source: 'none' };
  }

  function arrivalMicroseconds(arrival) {
    const delayUsValue = own(arrival, 'delayUs');
    if (!isMissing(delayUsValue)) return readNumber(delayUsValue, 0);
    const samples = readNumber(own(arrival, 'delaySamples'), 0);
    if (!samples) return 0;
    // A result without a usable rate was taken at the timing search's own 48 kHz.
    const rate = readNumber(own(arrival, 'sampleRate'), DEFAULT_RATE);
    return samples / (rate > 0 ? rate : DEFAULT_RATE) * 1000000;
  }

  function delayOf(arrival) {
    if (!isRecord(arrival)) return noDelay();
    const ms = Math.floor(arrivalMicroseconds(arrival) + 0.5) / 1000;
    // Only an applied result corrects anything; a bypassed search names no channel and 0 samples.
    const applied = Boolean(arrival.applied) && Boolean(arrival.delayChannel) && Boolean(arrival.delaySamples);
    if (!applied || !(ms > 0)) return noDelay();
    const channel = textOf(arrival.delayChannel);
    return {
      leftMs: channel === 'left' ? ms : 0,
      rightMs: channel === 'left' ? 0 : ms,
      channel,
      ms,
      applied: true,
      source: 'measured',
    };
  }

  function qOrDefault(m) {
    return m.q > 0 ? m.q : DEFAULT_Q;
  }

  function scaledBands(bands, strength) {
    return bands.map((band) => ({ ...band, gainDb: roundTo(band.gainDb * strength, 2) }));
  }

  // Both stages measure the same tilt, so a range and its warble points count together without
  // cutting twice. A dense sweep holds many points and each range looks at all of them, so they
  // are read from flat arrays; the sum still runs in the points' own order.
  function mergedTonal(ranges, points) {
    const freqs = new Float64Array(points.length);
    const offsets = new Float64Array(points.length);
    points.forEach((p, i) => {
      freqs[i] = p.freqHz;
      offsets[i] = p.offsetDb || 0;
    });
    return ranges.map((range) => {
      if (!(range.freqHz >= MIN_CORRECTION_HZ)) return range;
      const { lowHz, highHz } = range;
      let sum = 0;
      let inside = 0;
      for (let i = 0; i < freqs.length; i += 1) {
        if (freqs[i] >= lowHz && freqs[i] <= highHz) {
          sum += offsets[i];
          inside += 1;
        }
      }
      if (inside === 0) return range;
      return { ...range, offsetDb: roundTo(((range.offsetDb || 0) + sum / inside) / 2, 1) };
    });
  }

  function dipBands(dips, strength) {
    return dips
      .filter((dip) => dip.kind === 'dip' && dip.boostDb > 0)
      .map((dip) => ({
        freqHz: dip.freqHz,
        gainDb: roundTo(Math.min(dip.boostDb, DIP_MAX_BOOST_DB) * strength, 2),
        q: dip.q > 0 ? dip.q : DEFAULT_Q,
        type: 'bell',
        stereo: 'stereo',
      }));
  }

  function buildStrength(options) {
    return isMissing(options.strength) ? 1 : clampedNumber(options.strength, 1, 0, 2);
  }

  function buildCorrection(measurements, options) {
    return buildFromSet(measurementsOf(measurements), optionsOf(options));
  }

  // The build from a measurement set already read, which the reader hands over as it is.
  function buildFromSet(set, o) {
    const strength = buildStrength(o);
    const allowBoosts = Boolean(o.allowBoosts);
    const maxBoostDb = allowBoosts ? MAX_BOOST_DB : 0;

    const boomBands = FFP.correctionBands(set.match, { qFn: qOrDefault, maxBoostDb });
    const merged = mergedTonal(set.tonal, set.tonalSweep);
    const correctable = merged.filter((range) => range.freqHz >= MIN_CORRECTION_HZ);
    const tonal = FFP.tonalBands(merged, { minFreqHz: MIN_CORRECTION_HZ, maxBoostDb });
    const candidates = scaledBands(FFP.capBands(boomBands.concat(tonal)), strength);

    const fitMeasurements = set.match.concat(correctable.map((range) => ({
      freqHz: range.freqHz,
      boostDbL: range.offsetDb || 0,
      boostDbR: range.offsetDb || 0,
    })));
    const targets = EqFit.targetsFromMeasurements(fitMeasurements, { strength, allowBoosts, maxBoostDb: MAX_BOOST_DB });
    const fitted = EqFit.fitBandGains(candidates, targets, { maxBoostDb });

    // Balance corrections and dips are single measured bands with nothing to trade off,
    // so they stay out of the joint fit.
    const balance = scaledBands(FFP.correctionBands(set.balanceFix, { qFn: qOrDefault, maxBoostDb: 0, splitTolDb: 0.25 }), strength);
    const dips = dipBands(set.dips, strength);
    const bands = FFP.capBands(fitted.concat(balance, dips));

    return {
      bands,
      counts: {
        booms: set.match.length,
        tonal: set.tonal.length,
        tonalSweep: set.tonalSweep.length,
        balance: set.balanceFix.length,
        dips: dips.length,
        bands: bands.length,
      },
      strength,
      allowBoosts,
    };
  }

  function nonEmptyText(value) {
    const text = textOf(value);
    return text === '' ? null : text;
  }

  function suggestedPctOf(strength) {
    if (isMissing(strength)) return LIMITS.correctionPct.default;
    return Math.floor(clampedNumber(strength, 0.65, 0, 1.5) * 100 + 0.5);
  }

  function firstPresent(...values) {
    for (const value of values) if (!isMissing(value)) return value;
    return null;
  }

  function failure(error) {
    return { ok: false, error };
  }

  function parseProfileInput(input) {
    if (typeof input !== 'string') return { value: input };
    try {
      return { value: JSON.parse(input) };
    } catch (e) {
      return { error: MESSAGES.notJson };
    }
  }

  function readProfile(input, options) {
    const parsed = parseProfileInput(input);
    if (parsed.error) return failure(parsed.error);
    const file = parsed.value;
    if (!isRecord(file)) return failure(MESSAGES.notProfile);

    const set = measurementsOf(file);
    if (!hasMeasurements(set)) return failure(MESSAGES.noMeasurements);
    const fitCount = fitMeasurementCount(set);
    if (fitCount > MAX_FIT_MEASUREMENTS) return failure(MESSAGES.tooManyFitMeasurements(fitCount));
    const count = measurementCount(set);
    if (count > MAX_MEASUREMENTS) return failure(MESSAGES.tooManyMeasurements(count));
    if (!nestsWithin(set.nulls, MAX_NULLS_NESTING)) return failure(MESSAGES.nullsTooDeep);

    // Bands stay at full measured strength; the state's amount scales them live.
    const build = buildFromSet(set, { strength: 1, allowBoosts: own(file, 'allowBoosts') === true });
    const delay = delayOf(set.arrival);
    const warnings = [];
    if (build.bands.length === 0) warnings.push(MESSAGES.flat);
    if (set.arrival !== null && !delay.applied) warnings.push(MESSAGES.delayNotApplied);

    const map = isRecord(file.map) ? file.map : null;
    const profile = {
      name: nonEmptyText(own(file, 'name')) || nonEmptyText(optionsOf(options).name) || 'Untitled room',
      createdAt: firstPresent(own(file, 'createdAt'), own(map, 'at')),
      measuredAt: firstPresent(own(map, 'at'), own(file, 'createdAt')),
      monitoring: own(file, 'monitoring') === 'headphones' ? 'headphones' : 'speakers',
      allowBoosts: own(file, 'allowBoosts') === true,
      suggestedPct: suggestedPctOf(own(file, 'strength')),
      bands: build.bands,
      delay,
      counts: build.counts,
      nulls: copyPlain(set.nulls),
    };
    return { ok: true, warnings, profile };
  }

  // Output trim and safe headroom belong to the playback chain, not to the room, so they survive a new room.
  function stateForProfile(profile, previous) {
    const state = defaultState();
    const outputDb = own(previous, 'outputDb');
    const safeHeadroom = own(previous, 'safeHeadroom');
    if (!isMissing(outputDb)) state.outputDb = clampedNumber(outputDb, 0, -24, 12);
    if (!isMissing(safeHeadroom)) state.safeHeadroom = Boolean(safeHeadroom);
    if (!isRecord(profile)) return state;

    const delay = own(profile, 'delay');
    state.profileName = textOf(own(profile, 'name'));
    state.profileAt = firstPresent(own(profile, 'measuredAt'), own(profile, 'createdAt'));
    state.correctionPct = clampedNumber(own(profile, 'suggestedPct'), LIMITS.correctionPct.default, 0, 100);
    state.delayLeftMs = clampedNumber(own(delay, 'leftMs'), 0, 0, 20);
    state.delayRightMs = clampedNumber(own(delay, 'rightMs'), 0, 0, 20);
    state.bands = bandListFrom(own(profile, 'bands'));
    state.baseline = baselineRecord(state.bands.map(copyBand), state.correctionPct, state.delayLeftMs, state.delayRightMs);
    return state;
  }

  return {
    STATE_VERSION,
    MAX_BANDS,
    PHASE_MODES,
    FIR_QUALITIES,
    LIMITS,
    MIN_CORRECTION_HZ,
    DIP_MAX_BOOST_DB,
    defaultState,
    sanitizeState,
    toJson,
    fromJson,
    resetToProfile,
    isEdited,
    activeBands,
    firTapsFor,
    latencySamples,
    latencyMs,
    narrowestBandHz,
    delayUs,
    responseDb,
    curve,
    headroomDb,
    peakMoveDb,
    readProfile,
    buildCorrection,
    delayOf,
    stateForProfile,
  };
});
