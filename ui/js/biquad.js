/*
 * Second-order sections by the Audio EQ Cookbook, their analytic magnitude and
 * a direct-form-I filter. The engine designs with the same formulas, so a curve
 * drawn from these sections is what the audio receives.
 */
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module && module.exports) module.exports = api;
  else root.BrindleBiquad = api;
})(typeof window !== 'undefined' ? window : globalThis, function () {
  'use strict';

  const TWO_PI = 2 * Math.PI;

  function commonTerms(f0, fs, q) {
    const w0 = TWO_PI * f0 / fs;
    const sw = Math.sin(w0);
    return { cw: Math.cos(w0), alpha: sw / (2 * q) };
  }

  function normalised(b0, b1, b2, a0, a1, a2) {
    return { b0: b0 / a0, b1: b1 / a0, b2: b2 / a0, a1: a1 / a0, a2: a2 / a0 };
  }

  function shelfAmplitude(gainDb) {
    return Math.pow(10, gainDb / 40);
  }

  function designPeak(f0, fs, q, gainDb) {
    const { cw, alpha } = commonTerms(f0, fs, q);
    const A = shelfAmplitude(gainDb);
    return normalised(1 + alpha * A, -2 * cw, 1 - alpha * A, 1 + alpha / A, -2 * cw, 1 - alpha / A);
  }

  // The shelves use the cookbook's Q form (the same alpha as the peak), not the slope form.
  function designLowShelf(f0, fs, q, gainDb) {
    const { cw, alpha } = commonTerms(f0, fs, q);
    const A = shelfAmplitude(gainDb);
    const t = 2 * Math.sqrt(A) * alpha;
    return normalised(
      A * ((A + 1) - (A - 1) * cw + t),
      2 * A * ((A - 1) - (A + 1) * cw),
      A * ((A + 1) - (A - 1) * cw - t),
      (A + 1) + (A - 1) * cw + t,
      -2 * ((A - 1) + (A + 1) * cw),
      (A + 1) + (A - 1) * cw - t
    );
  }

  function designHighShelf(f0, fs, q, gainDb) {
    const { cw, alpha } = commonTerms(f0, fs, q);
    const A = shelfAmplitude(gainDb);
    const t = 2 * Math.sqrt(A) * alpha;
    return normalised(
      A * ((A + 1) + (A - 1) * cw + t),
      -2 * A * ((A - 1) + (A + 1) * cw),
      A * ((A + 1) + (A - 1) * cw - t),
      (A + 1) - (A - 1) * cw + t,
      2 * ((A - 1) - (A + 1) * cw),
      (A + 1) - (A - 1) * cw - t
    );
  }

  function designLowpass(f0, fs, q) {
    const { cw, alpha } = commonTerms(f0, fs, q);
    return normalised((1 - cw) / 2, 1 - cw, (1 - cw) / 2, 1 + alpha, -2 * cw, 1 - alpha);
  }

  function designHighpass(f0, fs, q) {
    const { cw, alpha } = commonTerms(f0, fs, q);
    return normalised((1 + cw) / 2, -(1 + cw), (1 + cw) / 2, 1 + alpha, -2 * cw, 1 - alpha);
  }

  // Constant 0 dB peak gain form.
  function designBandpass(f0, fs, q) {
    const { cw, alpha } = commonTerms(f0, fs, q);
    return normalised(alpha, 0, -alpha, 1 + alpha, -2 * cw, 1 - alpha);
  }

  // Evaluated on the unit circle term by term, with no algebraic shortcut, so the
  // engine's identical evaluation gives the same figures.
  function magnitudeDb(c, f, fs) {
    const w = TWO_PI * f / fs;
    const cos1 = Math.cos(w), cos2 = Math.cos(2 * w);
    const sin1 = Math.sin(w), sin2 = Math.sin(2 * w);
    const nRe = c.b0 + c.b1 * cos1 + c.b2 * cos2;
    const nIm = -(c.b1 * sin1 + c.b2 * sin2);
    const dRe = 1 + c.a1 * cos1 + c.a2 * cos2;
    const dIm = -(c.a1 * sin1 + c.a2 * sin2);
    return 10 * Math.log10((nRe * nRe + nIm * nIm) / (dRe * dRe + dIm * dIm));
  }

  function cascadeMagnitudeDb(sections, f, fs) {
    let sum = 0;
    for (const c of sections) sum += magnitudeDb(c, f, fs);
    return sum;
  }

  function BiquadFilter(c) {
    if (!(this instanceof BiquadFilter)) return new BiquadFilter(c);
    this.c = c;
    this.reset();
  }

  BiquadFilter.prototype.set = function (c) {
    this.c = c;
    return this;
  };

  BiquadFilter.prototype.reset = function () {
    this.x1 = 0;
    this.x2 = 0;
    this.y1 = 0;
    this.y2 = 0;
    return this;
  };

  BiquadFilter.prototype.processSample = function (x) {
    const c = this.c;
    const y = c.b0 * x + c.b1 * this.x1 + c.b2 * this.x2 - c.a1 * this.y1 - c.a2 * this.y2;
    this.x2 = this.x1;
    this.x1 = x;
    this.y2 = this.y1;
    this.y1 = y;
    return y;
  };

  BiquadFilter.prototype.processBuffer = function (samples) {
    for (let i = 0; i < samples.length; i++) samples[i] = this.processSample(samples[i]);
    return samples;
  };

  return {
    designPeak,
    designLowShelf,
    designHighShelf,
    designLowpass,
    designHighpass,
    designBandpass,
    magnitudeDb,
    cascadeMagnitudeDb,
    BiquadFilter,
  };
});
