/*
 * The listening experiments in one place: the level scheme, the trial designs
 * and their hidden ground truth, so every program that builds stimuli from it
 * runs identical experiments. Everything is computed once at load and frozen;
 * the console takes only TONAL.minCorrectionHz from here.
 */
(function (root, factory) {
  'use strict';
  const inNode = typeof module === 'object' && module && module.exports && typeof require === 'function';
  const api = inNode
    ? factory(require('./biquad.js'), require('./iso226.js'))
    : factory(root.BrindleBiquad, root.BrindleIso226);
  if (inNode) module.exports = api;
  else root.BrindleProtocol = api;
})(typeof window !== 'undefined' ? window : globalThis, function (Biquad, Iso226) {
  'use strict';

  const DESIGN_RATE = 48000;

  function deepFreeze(value) {
    if (value !== null && typeof value === 'object') {
      Object.values(value).forEach(deepFreeze);
      Object.freeze(value);
    }
    return value;
  }

  // Nearest whole number, halves toward positive infinity.
  function roundHalfUp(value) {
    const v = Math.round(value);
    return v === 0 ? 0 : v;
  }

  // ---------------------------------------------------------------- the seeded shuffle

  // A 32-bit generator; the product must keep its low 32 bits exactly (Math.imul),
  // which a float multiply does not, so every program draws the same sequence.
  function generator(seed) {
    let a = Number(seed) >>> 0;
    return function draw() {
      a = (Math.imul(a ^ (a >>> 15), a | 1) + 0x6d2b79f5) >>> 0;
      return (a % 100000) / 100000;
    };
  }

  function seededShuffle(list, seed) {
    const out = Array.isArray(list) ? list.slice() : [];
    const draw = generator(seed);
    for (let i = out.length - 1; i > 0; i--) {
      const j = Math.floor(draw() * (i + 1));
      const held = out[i];
      out[i] = out[j];
      out[j] = held;
    }
    return out;
  }

  // ---------------------------------------------------------------- levels

  const PHON = 80;
  const HEADROOM_CEIL = -3;
  const R1_FREQS = [40, 60, 100, 1000, 3000];
  const R1_OFFSETS = [-6, -3, 0, 3, 6];
  const R1_REPS = 3;
  const R1_REF_SEED = 1234;

  const loudnessGain = (f) => Iso226.equalLoudnessGainDb(f, PHON, 1000);

  // The loudest loudness-matching tone (40 Hz at the largest offset) lands exactly on the ceiling.
  const REF_DBFS = HEADROOM_CEIL - Math.max(...R1_OFFSETS) - Math.max(...R1_FREQS.map(loudnessGain));

  const LADDER_FREQS = [40, 50, 63, 80, 100, 125, 160, 200, 250, 315, 400, 500, 630, 800, 1000, 1600, 2500, 4000, 6300, 10000];
  const LADDER_STEPS = [-9, -6, -3, 0, 3, 6, 9];
  const LADDER_TRIM = 3;

  const R6_LADDER = [50, 80, 125, 200, 315, 500, 800, 1250, 2000, 3150, 5000, 8000];
  const R6_METHODS = ['equal_dbfs', 'equal_iso226', 'equal_kweight'];
  const R6_DELTAS = [2, 4, 6, 10];

  function r1Trials() {
    return R1_FREQS.map((f) => {
      const baseDb = REF_DBFS + loudnessGain(f);
      const offsets = [];
      for (const offset of R1_OFFSETS) for (let r = 0; r < R1_REPS; r++) offsets.push(offset);
      const trials = seededShuffle(offsets, f * 31 + 7).map((offsetDb, i) => ({ trial: i + 1, offsetDb, toneDb: baseDb + offsetDb }));
      return { freq: f, baseDb, trials };
    });
  }

  function ladderToneLevelDb(f, offsetDb, extraDb, trimDb) {
    const extra = extraDb === undefined || extraDb === null ? 0 : extraDb;
    const trim = trimDb === undefined || trimDb === null ? LADDER_TRIM : trimDb;
    return REF_DBFS - trim + loudnessGain(f) + offsetDb + extra;
  }

  // ---------------------------------------------------------------- sweeps

  // A logarithmic sweep from f0 to f1; extra fields (the R4 designs) follow its level.
  function logSweep(f0, f1, durSec, extra) {
    return Object.assign({ f0, f1, durSec, peakDb: REF_DBFS + loudnessGain(f0) }, extra, {
      freqAtTime: (t) => f0 * Math.pow(f1 / f0, t / durSec),
      timeAtFreq: (f) => (durSec * Math.log(f / f0)) / Math.log(f1 / f0),
    });
  }

  const bump = (f, gainDb, q) => ({ f, gainDb, q });

  // The validation sweep of the sweep-and-tap test, with its hidden room peaks.
  const R4 = logSweep(30, 200, 45, {
    designs: [
      { id: '01', bumps: [] },
      { id: '02', bumps: [bump(60, 9, 8)] },
      { id: '03', bumps: [bump(50, 6, 8), bump(100, 6, 8)] },
      { id: '04', bumps: [bump(80, 3, 8)] },
      { id: '05', bumps: [bump(45, 9, 16), bump(130, 9, 16)] },
      { id: '06', bumps: [bump(70, 3, 4)] },
    ],
  });

  // 30 to 500 Hz covers a home room's whole modal region at about 0.07 octave per second.
  const SWEEP = logSweep(30, 500, 60);

  // ---------------------------------------------------------------- tonal balance

  const centerHz = (range) => roundHalfUp(Math.sqrt(range.loHz * range.hiHz));

  const tonalRange = (key, label, loHz, hiHz) => ({ key, label, loHz, hiHz, centerHz: centerHz({ loHz, hiHz }) });

  // Fine steps up to 200 Hz, where a room's tilt is most uneven; broad bands above.
  const TONAL_RANGES = [
    tonalRange('b20', '20\u201340 Hz', 20, 40),
    tonalRange('b40', '40\u201360 Hz', 40, 60),
    tonalRange('b60', '60\u201380 Hz', 60, 80),
    tonalRange('b80', '80\u2013100 Hz', 80, 100),
    tonalRange('b100', '100\u2013120 Hz', 100, 120),
    tonalRange('b120', '120\u2013160 Hz', 120, 160),
    tonalRange('b160', '160\u2013200 Hz', 160, 200),
    tonalRange('lowmid', 'low-mid', 200, 500),
    tonalRange('highmid', 'high-mid', 1500, 3000),
    tonalRange('high', 'high', 3000, 6000),
    tonalRange('air8k', '8 kHz', 6000, 10000),
    tonalRange('air12k', '12.5 kHz', 10000, 20000),
  ];

  const WARBLE_DEPTH_OCT = 1 / 6;

  function sweepLabel(f) {
    if (f < 100) return 'sub';
    if (f < 315) return 'low';
    if (f < 1200) return 'mid';
    if (f < 5000) return 'presence';
    return 'air';
  }

  function sweepFmt(f) {
    return f >= 1000 ? f / 1000 + ' kHz' : f + ' Hz';
  }

  const TONAL = {
    ranges: TONAL_RANGES,
    refRange: { loHz: 500, hiHz: 1500 },
    fullRange: { loHz: 20, hiHz: 20000 },
    phon: 80,
    abMs: 3000,
    // Below this, tonal ranges are display-only: the boom sweep owns the correction there.
    minCorrectionHz: 500,
    trimDb: 6,
    level: REF_DBFS - 6,
    centerHz,
    sweep: {
      centers: [63, 125, 250, 500, 1000, 2000, 4000, 8000, 12500],
      depthOct: WARBLE_DEPTH_OCT,
      rateHz: 5,
      abMs: 900,
      refRange: { loHz: 500, hiHz: 2000 },
      refLevel: REF_DBFS - 6,
      // The listening curve, not the raw contour: the raw contour makes the top steps far too loud.
      levelDb: (f) => REF_DBFS - 6 + Iso226.listeningWarbleGainDb(f, WARBLE_DEPTH_OCT, 80, 1000),
      label: sweepLabel,
      fmt: sweepFmt,
    },
  };

  // ---------------------------------------------------------------- speaker timing

  const ARRIVAL = {
    coarseStepSamples: 10,
    // Still the same at 100 samples (about 2 ms at 48 kHz) bypasses the test.
    coarseMaxSamples: 100,
    noise: { loHz: 20, hiHz: 20000 },
    burstSec: 0.8,
    // Short, because a timing offset is an echoic-memory judgement.
    gapSec: 0.15,
    level: REF_DBFS,
    rimshotPeakDbfs: -3,
    demoOffsetUs: 1000,
    fineTune: { stepSamples: 1, maxSamples: 160 },
    speedOfSoundMps: 343,
  };

  // ---------------------------------------------------------------- weightings

  const K_SECTIONS = [
    Biquad.designHighpass(38, DESIGN_RATE, 0.5),
    Biquad.designHighShelf(1680, DESIGN_RATE, 0.707, 4.0),
  ];

  function kGain(f) {
    return Biquad.cascadeMagnitudeDb(K_SECTIONS, f, DESIGN_RATE);
  }

  function r6LevelDb(method, f) {
    if (method === 'equal_dbfs') return REF_DBFS;
    if (method === 'equal_iso226') return REF_DBFS + loudnessGain(f);
    if (method === 'equal_kweight') return REF_DBFS + kGain(1000) - kGain(f);
    throw new Error(String(method));
  }

  // The labels hide which weighting each stands for.
  const R6_LABELS = seededShuffle(['X', 'Y', 'Z'], 20260720);
  const R6_MAPPING = {};
  R6_LABELS.forEach((label, i) => {
    R6_MAPPING[label] = R6_METHODS[i];
  });
  const R6_PAIRS = seededShuffle(R6_DELTAS.concat(R6_DELTAS).map((deltaDb) => ({ deltaDb })), 99).map((pair, i) => ({
    trial: i + 1,
    deltaDb: pair.deltaDb,
    aDb: REF_DBFS,
    bDb: REF_DBFS + pair.deltaDb,
  }));

  // ---------------------------------------------------------------- the hidden colouration

  const R3_SECRET_EQ = [
    { f: 100, gainDb: 6, q: 3 },
    { f: 315, gainDb: -6, q: 2 },
    { f: 4000, gainDb: 5, q: 3 },
  ];
  const R3_SECTIONS = R3_SECRET_EQ.map((b) => Biquad.designPeak(b.f, DESIGN_RATE, b.q, b.gainDb));

  function r3EqMagAt(f) {
    return Biquad.cascadeMagnitudeDb(R3_SECTIONS, f, DESIGN_RATE);
  }

  return deepFreeze({
    PHON,
    HEADROOM_CEIL,
    REF_DBFS,
    R1_FREQS,
    R1_OFFSETS,
    R1_REPS,
    R1_REF_SEED,
    LADDER_FREQS,
    LADDER_STEPS,
    LADDER_TRIM,
    R4,
    SWEEP,
    TONAL,
    ARRIVAL,
    R6_LADDER,
    R6_METHODS,
    R6_MAPPING,
    R6_LABELS,
    R6_PAIRS,
    R3_SECRET_EQ,
    seededShuffle,
    r1Trials,
    ladderToneLevelDb,
    kGain,
    r6LevelDb,
    r3EqMagAt,
  });
});
