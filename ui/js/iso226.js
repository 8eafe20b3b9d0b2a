/*
 * Equal-loudness contours (ISO 226:2003), A-weighting (IEC 61672) and the
 * listening curve the listening tests level their stimuli with. The ear needs
 * far more level in the bass, so a sweep flat in digital level swells as it
 * rises. Pure functions; nothing is kept between calls.
 */
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module && module.exports) module.exports = api;
  else root.BrindleIso226 = api;
})(typeof window !== 'undefined' ? window : globalThis, function () {
  'use strict';

  // ISO 226:2003 Table 1: frequency, exponent alpha_f, magnitude L_U (dB), threshold T_f (dB).
  const FREQS = [20, 25, 31.5, 40, 50, 63, 80, 100, 125, 160, 200, 250, 315, 400, 500, 630, 800, 1000, 1250, 1600, 2000, 2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500];
  const ALPHA = [0.532, 0.506, 0.480, 0.455, 0.432, 0.409, 0.387, 0.367, 0.349, 0.330, 0.315, 0.301, 0.288, 0.276, 0.267, 0.259, 0.253, 0.250, 0.246, 0.244, 0.243, 0.243, 0.243, 0.242, 0.242, 0.245, 0.254, 0.271, 0.301];
  const LU = [-31.6, -27.2, -23.0, -19.1, -15.9, -13.0, -10.3, -8.1, -6.2, -4.5, -3.1, -2.0, -1.1, -0.4, 0.0, 0.3, 0.5, 0.0, -2.7, -4.1, -1.0, 1.7, 2.5, 1.2, -2.1, -7.1, -11.2, -10.7, -3.1];
  const TF = [78.5, 68.7, 59.5, 51.1, 44.0, 37.5, 31.5, 26.5, 22.1, 17.9, 14.4, 11.4, 8.6, 6.2, 4.4, 3.0, 2.2, 2.4, 3.5, 1.7, -1.3, -4.2, -6.0, -5.4, -1.5, 6.0, 12.6, 13.9, 12.3];

  const REF_HZ = 1000;
  // ISO 226 models a free-field tone with no listener's head in the room; above
  // this the contour mirrors the head itself, which two speakers and a room fill in.
  const HF_ANCHOR_HZ = 4000;
  const WARBLE_PHASES = 128;
  const DEFAULT_POINTS = 128;

  function isMissing(value) {
    return value === undefined || value === null;
  }

  function refOf(ref) {
    return isMissing(ref) ? REF_HZ : ref;
  }

  // Each coefficient on its own, linear in ln f between the neighbouring table rows.
  function coefficients(f) {
    const last = FREQS.length - 1;
    if (f <= FREQS[0]) return { af: ALPHA[0], lu: LU[0], tf: TF[0] };
    if (f >= FREQS[last]) return { af: ALPHA[last], lu: LU[last], tf: TF[last] };
    const hi = FREQS.findIndex((x) => x >= f);
    if (hi < 0) return { af: NaN, lu: NaN, tf: NaN };
    const lo = hi - 1;
    const t = (Math.log(f) - Math.log(FREQS[lo])) / (Math.log(FREQS[hi]) - Math.log(FREQS[lo]));
    const at = (table) => table[lo] + (table[hi] - table[lo]) * t;
    return { af: at(ALPHA), lu: at(LU), tf: at(TF) };
  }

  // ISO 226:2003 equation (1).
  function splForPhon(f, phon) {
    const { af, lu, tf } = coefficients(f);
    const Af = 0.00447 * (Math.pow(10, 0.025 * phon) - 1.15) + Math.pow(0.4 * Math.pow(10, (tf + lu) / 10 - 9), af);
    return (10 / af) * Math.log10(Af) - lu + 94;
  }

  function equalLoudnessGainDb(f, phon, ref) {
    return splForPhon(f, phon) - splForPhon(refOf(ref), phon);
  }

  function aWeightDb(f) {
    const f2 = f * f;
    const r = (12194 * 12194 * f2 * f2) /
      ((f2 + 20.6 * 20.6) * Math.sqrt((f2 + 107.7 * 107.7) * (f2 + 737.9 * 737.9)) * (f2 + 12194 * 12194));
    return 20 * Math.log10(r) + 2.0;
  }

  function aWeightGainDb(f, ref) {
    return -(aWeightDb(f) - aWeightDb(refOf(ref)));
  }

  // The contour below 1 kHz, blending smoothly into the A-weighting shape up to
  // 4 kHz and held flat from there.
  function anchoredListeningDb(f, phon) {
    const g = f >= HF_ANCHOR_HZ ? HF_ANCHOR_HZ : f;
    const raw = Math.min(1, Math.max(0, Math.log(g / REF_HZ) / Math.log(HF_ANCHOR_HZ / REF_HZ)));
    const t = raw * raw * (3 - 2 * raw);
    return equalLoudnessGainDb(g, phon, REF_HZ) * (1 - t) + aWeightGainDb(g, REF_HZ) * t;
  }

  function listeningGainDb(f, phon, ref) {
    return anchoredListeningDb(f, phon) - anchoredListeningDb(refOf(ref), phon);
  }

  // A warble sweeps fc x 2^(depth sin theta) at constant amplitude, so it is heard
  // at the average over a cycle, not at its centre.
  function warbleAverage(gain, fc, depthOct) {
    if (isMissing(depthOct) || depthOct === 0) return gain(fc);
    let sum = 0;
    for (let i = 0; i < WARBLE_PHASES; i++) {
      sum += gain(fc * Math.pow(2, depthOct * Math.sin((2 * Math.PI * i) / WARBLE_PHASES)));
    }
    return sum / WARBLE_PHASES;
  }

  function warbleGainDb(fc, depthOct, phon, ref) {
    return warbleAverage((f) => equalLoudnessGainDb(f, phon, ref), fc, depthOct);
  }

  function listeningWarbleGainDb(fc, depthOct, phon, ref) {
    return warbleAverage((f) => listeningGainDb(f, phon, ref), fc, depthOct);
  }

  // A pre-tilt that never asks for more than unity: the point that needs the most
  // level sits at 0 dB and the rest is attenuated.
  function sweepTiltTable(f0, f1, phon, points) {
    const n = Number.isFinite(points) ? Math.max(1, Math.floor(points)) : DEFAULT_POINTS;
    const l0 = Math.log(f0);
    const l1 = Math.log(f1);
    const freqs = [];
    const raw = [];
    for (let i = 0; i < n; i++) {
      // A single point sits at the start.
      const f = Math.exp(l0 + (l1 - l0) * (n === 1 ? 0 : i / (n - 1)));
      freqs.push(f);
      raw.push(equalLoudnessGainDb(f, phon, REF_HZ));
    }
    // A loop, not a spread: a long table would overflow the call stack.
    const top = raw.reduce((a, b) => (b > a ? b : a), -Infinity);
    return { freqs, gainsDb: raw.map((g) => g - top), phon };
  }

  function tiltGainAt(table, f) {
    const freqs = table && Array.isArray(table.freqs) ? table.freqs : [];
    const gains = table && Array.isArray(table.gainsDb) ? table.gainsDb : [];
    const n = Math.min(freqs.length, gains.length);
    // A table without points asks for no tilt.
    if (n === 0) return 0;
    if (f <= freqs[0]) return gains[0];
    if (f >= freqs[n - 1]) return gains[n - 1];
    const hi = freqs.findIndex((x, i) => i < n && x >= f);
    if (hi < 1) return NaN;
    const lo = hi - 1;
    const t = (Math.log(f) - Math.log(freqs[lo])) / (Math.log(freqs[hi]) - Math.log(freqs[lo]));
    return gains[lo] + (gains[hi] - gains[lo]) * t;
  }

  return {
    frequencies: Object.freeze(FREQS.slice()),
    HF_ANCHOR_HZ,
    splForPhon,
    equalLoudnessGainDb,
    warbleGainDb,
    aWeightDb,
    aWeightGainDb,
    listeningGainDb,
    listeningWarbleGainDb,
    sweepTiltTable,
    tiltGainAt,
  };
});
