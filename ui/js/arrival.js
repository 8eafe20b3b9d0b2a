/*
 * The speaker-timing test by ear, without sound of its own: the search is a pure
 * fold over the listener's answers (going back one answer is dropping the last
 * one), with its progress counter, the conversions between samples, time and
 * distance, and the stored result and its one-line summary.
 */
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module && module.exports) module.exports = api;
  else root.BrindleArrival = api;
})(typeof window !== 'undefined' ? window : globalThis, function () {
  'use strict';

  // The same figures as the listening-test definitions' ARRIVAL constants.
  const DEFAULT_STEP = 10;
  const DEFAULT_MAX = 100;
  const DEFAULT_RATE = 48000;
  const SPEED_OF_SOUND_MPS = 343;
  const DEFAULT_RATES = [44100, 48000, 96000];

  function isFiniteNumber(value) {
    return typeof value === 'number' && Number.isFinite(value);
  }

  function isMissing(value) {
    return value === undefined || value === null;
  }

  // Nearest whole number, halves toward positive infinity.
  function roundHalfUp(value) {
    const v = Math.round(value);
    return v === 0 ? 0 : v;
  }

  // On the exact stored value, halves away from zero, as its fixed-point text is written.
  function roundTo(value, decimals) {
    return Number(Number(value).toFixed(decimals)) + 0;
  }

  // A step or limit that is not a positive number would never move the probe.
  function positiveOr(value, fallback) {
    return isFiniteNumber(value) && value > 0 ? value : fallback;
  }

  function searchOptions(options) {
    const o = options !== null && typeof options === 'object' ? options : {};
    return { step: positiveOr(o.coarseStep, DEFAULT_STEP), max: positiveOr(o.coarseMax, DEFAULT_MAX) };
  }

  function answersOf(answers) {
    return Array.isArray(answers) ? answers : [];
  }

  // ---------------------------------------------------------------- the search

  // Both candidates lie strictly inside the bracket, so every answer removes at
  // least one whole number and the search ends.
  function narrowTrial(lo, hi) {
    const third = Math.max(1, roundHalfUp((hi - lo) / 3));
    return { a: lo + third, b: hi - third };
  }

  function finished(delayChannel, delaySamples, bypassed) {
    return { phase: 'done', delayChannel, delaySamples, bypassed };
  }

  function fold(answers, options) {
    const { step, max } = searchOptions(options);
    let s = { phase: 'coarse', probe: step };
    for (const answer of answersOf(answers)) {
      if (s.phase === 'done') break;
      if (s.phase === 'coarse') {
        // Which direction of correction centres the image, that is, which speaker is early.
        if (answer === 'same') {
          s = s.probe >= max ? finished(null, 0, true) : { phase: 'coarse', probe: s.probe + step };
        } else {
          const side = answer === 'a' ? 'left' : 'right';
          s = { phase: 'narrow', side, lo: s.probe - step, hi: s.probe, narrowAnswers: 0 };
        }
        continue;
      }
      const width = s.hi - s.lo;
      if (width <= 2) {
        // The distance to the true offset is symmetric about it, so one comparison
        // of the two ends settles the last whole numbers.
        let samples;
        if (answer === 'a') samples = s.lo;
        else if (answer === 'b') samples = s.hi;
        else samples = width === 2 ? s.lo + 1 : s.lo;
        s = finished(s.side, samples, false);
        continue;
      }
      const cand = narrowTrial(s.lo, s.hi);
      const next = { ...s, narrowAnswers: s.narrowAnswers + 1 };
      if (answer === 'a') next.hi = cand.b;
      else if (answer === 'b') next.lo = cand.a;
      else {
        next.lo = cand.a;
        next.hi = cand.b;
      }
      s = next;
    }
    return { state: s, step, max };
  }

  function pairFor(side, n) {
    return side === 'left' ? { dL: n, dR: 0 } : { dL: 0, dR: n };
  }

  function searchState(answers, options) {
    const { state: s, max } = fold(answers, options);
    if (s.phase === 'done') {
      return { done: true, delayChannel: s.delayChannel, delaySamples: s.delaySamples, bypassed: s.bypassed };
    }
    const round = answersOf(answers).length + 1;
    if (s.phase === 'coarse') {
      return {
        done: false,
        round,
        phase: 'coarse',
        probeSamples: s.probe,
        lo: 0,
        hi: max,
        trial: { a: { dL: s.probe, dR: 0 }, b: { dL: 0, dR: s.probe } },
      };
    }
    const cand = s.hi - s.lo <= 2 ? { a: s.lo, b: s.hi } : narrowTrial(s.lo, s.hi);
    return {
      done: false,
      round,
      phase: 'narrow',
      side: s.side,
      lo: s.lo,
      hi: s.hi,
      cand,
      trial: { a: pairFor(s.side, cand.a), b: pairFor(s.side, cand.b) },
    };
  }

  // An "a" or "b" removes a third of the bracket and "same" two thirds, so the
  // worst case removes a third each time, then one final comparison.
  function narrowWorstCase(width) {
    let w = width;
    let count = 0;
    while (w > 2) {
      w -= roundHalfUp(w / 3);
      count++;
    }
    return count + 1;
  }

  // Per phase, a fixed denominator and a climbing numerator, so the count never
  // recedes: one total over both phases would grow with every "same".
  function searchProgress(answers, options) {
    const { state: s, step, max } = fold(answers, options);
    if (s.phase === 'done') return { done: true, phase: 'done', label: '', step: 0, total: 0, qualifier: '' };
    if (s.phase === 'coarse') {
      return { done: false, phase: 'coarse', label: 'Which speaker is early', step: roundHalfUp(s.probe / step), total: roundHalfUp(max / step), qualifier: 'up to' };
    }
    const total = narrowWorstCase(step);
    return {
      done: false,
      phase: 'narrow',
      label: 'Pinning the amount \u00b7 ' + s.side,
      step: Math.min(total, s.narrowAnswers + 1),
      total,
      qualifier: 'about',
    };
  }

  // ---------------------------------------------------------------- conversions

  function samplesToUs(samples, rate) {
    return (samples / rate) * 1000000;
  }

  function usToSamples(us, rate) {
    return roundHalfUp((us / 1000000) * rate);
  }

  function usToMs(us) {
    return us / 1000;
  }

  function usToMm(us, speedMps) {
    const speed = isMissing(speedMps) ? SPEED_OF_SOUND_MPS : speedMps;
    return speed * (us / 1000000) * 1000;
  }

  function mmToUs(mm, speedMps) {
    const speed = isMissing(speedMps) ? SPEED_OF_SOUND_MPS : speedMps;
    return (mm / 1000 / speed) * 1000000;
  }

  // Whole samples, never negative: a buffer cannot start before its first sample.
  function wholeDelay(value) {
    return isFiniteNumber(value) && value > 0 ? roundHalfUp(value) : 0;
  }

  function applyDelayPair(mono, dL, dR) {
    const input = mono && typeof mono.length === 'number' ? mono : [];
    const left = wholeDelay(dL);
    const right = wholeDelay(dR);
    const length = input.length + Math.max(left, right);
    const outL = new Float32Array(length);
    const outR = new Float32Array(length);
    for (let i = 0; i < input.length; i++) {
      outL[i + left] = input[i];
      outR[i + right] = input[i];
    }
    return { left: outL, right: outR };
  }

  // ---------------------------------------------------------------- the result

  function buildResult(options) {
    const o = options !== null && typeof options === 'object' ? options : {};
    const sampleRate = positiveOr(o.sampleRate, DEFAULT_RATE);
    const samples = isFiniteNumber(o.samples) ? o.samples : 0;
    const us = samplesToUs(samples, sampleRate);
    return {
      method: 'ear',
      delayChannel: samples !== 0 && !isMissing(o.channel) ? o.channel : null,
      delaySamples: samples,
      sampleRate,
      delayUs: roundTo(us, 2),
      delayMs: roundTo(usToMs(us), 3),
      equivalentDistanceMm: roundTo(usToMm(us, o.speedMps), 1),
      verified: isMissing(o.verified) ? null : o.verified,
      applied: Boolean(o.applied),
      fineTuned: Boolean(o.fineTuned),
      at: isMissing(o.at) ? null : o.at,
    };
  }

  function samplesAtRates(result, rates) {
    const list = Array.isArray(rates) ? rates : DEFAULT_RATES;
    const us = result && isFiniteNumber(result.delayUs) ? result.delayUs : 0;
    const out = {};
    for (const rate of list) out[rate] = usToSamples(us, rate);
    return out;
  }

  function describeResult(result) {
    if (result === null || typeof result !== 'object') return 'not tested';
    if (result.verified === false) return 'inconclusive \u2014 no correction applied';
    if (!result.delayChannel || !result.delaySamples) return 'no offset \u2014 speakers already aligned';
    return 'delay ' + String(result.delayChannel).toUpperCase() +
      ' by ' + Number(result.delayMs).toFixed(2) +
      ' ms (' + result.delaySamples +
      ' smp @ ' + roundHalfUp(result.sampleRate / 1000) +
      'k \u00b7 \u2248 ' + roundHalfUp(result.equivalentDistanceMm) + ' mm)';
  }

  return {
    searchState,
    searchProgress,
    narrowWorstCase,
    samplesToUs,
    usToSamples,
    usToMs,
    usToMm,
    mmToUs,
    applyDelayPair,
    buildResult,
    samplesAtRates,
    describeResult,
  };
});
