/*
 * Joint gain fitting of a bell cascade. A filter at 48 Hz also changes 52 Hz, so
 * the gains are fitted together against targets taken from the measurements;
 * frequencies and Q values are never fitted.
 */
(function (root, factory) {
  'use strict';
  const inNode = typeof module === 'object' && module && module.exports;
  const api = factory(inNode ? require('./biquad.js') : root.BrindleBiquad);
  if (inNode) module.exports = api;
  else root.BrindleEqFit = api;
})(typeof window !== 'undefined' ? window : globalThis, function (Biquad) {
  'use strict';

  const DEFAULT_RATE = 48000;
  const DEFAULT_STEPS = [2, 1, 0.5, 0.25, 0.1];
  const MAX_PASSES_PER_STEP = 12;
  // Improvements smaller than this are rounding noise, not progress.
  const EPSILON = 1e-9;

  function optionsOf(options) {
    return options && typeof options === 'object' ? options : {};
  }

  function option(options, key, fallback) {
    const value = options[key];
    return value === undefined || value === null ? fallback : value;
  }

  function isObject(value) {
    return value !== null && typeof value === 'object';
  }

  function isMissing(value) {
    return value === undefined || value === null;
  }

  function isFiniteNumber(value) {
    return typeof value === 'number' && Number.isFinite(value);
  }

  function listOf(value) {
    return Array.isArray(value) ? value : [];
  }

  function rateOf(sampleRate) {
    return sampleRate > 0 ? sampleRate : DEFAULT_RATE;
  }

  function roundTo(value, decimals) {
    return Number(Number(value).toFixed(decimals)) + 0;
  }

  function clamp(value, lo, hi) {
    return Math.min(hi, Math.max(lo, value));
  }

  function isBell(band) {
    return isMissing(band.type) || band.type === 'bell';
  }

  function appliesTo(band, channel) {
    return isMissing(band.stereo) || band.stereo === 'stereo' || band.stereo === channel;
  }

  function bellSection(band, gainDb, fs) {
    return Biquad.designPeak(band.freqHz, fs, band.q || 1, gainDb || 0);
  }

  function responseDb(bands, freqHz, channel, sampleRate) {
    const fs = rateOf(sampleRate);
    let sum = 0;
    for (const band of listOf(bands)) {
      if (!isObject(band) || !isBell(band) || !appliesTo(band, channel)) continue;
      sum += Biquad.magnitudeDb(bellSection(band, band.gainDb, fs), freqHz, fs);
    }
    return sum;
  }

  function weightOf(target) {
    return isMissing(target.weight) ? 1 : target.weight;
  }

  function targetLoss(bands, targets, options) {
    const o = optionsOf(options);
    const fs = rateOf(o.sampleRate);
    const penalty = option(o, 'gainPenalty', 0.002);
    let loss = 0;
    for (const target of listOf(targets)) {
      if (!isObject(target)) continue;
      const w = weightOf(target);
      if (!isMissing(target.gainDbL)) {
        const e = responseDb(bands, target.freqHz, 'left', fs) - target.gainDbL;
        loss += w * e * e;
      }
      if (!isMissing(target.gainDbR)) {
        const e = responseDb(bands, target.freqHz, 'right', fs) - target.gainDbR;
        loss += w * e * e;
      }
    }
    for (const band of listOf(bands)) {
      const g = isObject(band) && band.gainDb ? band.gainDb : 0;
      loss += penalty * g * g;
    }
    return loss;
  }

  function copyBand(band) {
    return {
      freqHz: band.freqHz,
      gainDb: band.gainDb,
      q: band.q,
      type: isMissing(band.type) ? 'bell' : band.type,
      stereo: isMissing(band.stereo) ? 'stereo' : band.stereo,
    };
  }

  /*
   * The loss of the whole list, kept cheap: each band's response at every target
   * frequency is cached, so trying a gain designs one section instead of the
   * whole cascade. Sums run in the same order as targetLoss, so every loss is the
   * same number a full evaluation would give.
   */
  function fitModel(bands, targets, fs, penalty) {
    const model = {
      bands,
      fs,
      penalty,
      gains: bands.map((b) => (isFiniteNumber(b.gainDb) ? b.gainDb : 0)),
      onLeft: bands.map((b) => isBell(b) && appliesTo(b, 'left')),
      onRight: bands.map((b) => isBell(b) && appliesTo(b, 'right')),
      freqs: targets.map((t) => t.freqHz),
      wantL: targets.map((t) => (isMissing(t.gainDbL) ? null : t.gainDbL)),
      wantR: targets.map((t) => (isMissing(t.gainDbR) ? null : t.gainDbR)),
      weights: targets.map(weightOf),
      contrib: null,
    };
    model.contrib = bands.map((b, i) => contributions(model, i, model.gains[i]));
    return model;
  }

  function contributions(model, index, gainDb) {
    const band = model.bands[index];
    const out = new Float64Array(model.freqs.length);
    if (!model.onLeft[index] && !model.onRight[index]) return out;
    const section = bellSection(band, gainDb, model.fs);
    for (let t = 0; t < out.length; t++) out[t] = Biquad.magnitudeDb(section, model.freqs[t], model.fs);
    return out;
  }

  function channelResponse(model, onChannel, t, index, trial) {
    let sum = 0;
    for (let j = 0; j < model.bands.length; j++) {
      if (onChannel[j]) sum += j === index ? trial[t] : model.contrib[j][t];
    }
    return sum;
  }

  // Loss with band `index` set to `gainDb` (its response `trial`); index -1 for the list as it is.
  function lossWith(model, index, trial, gainDb) {
    let loss = 0;
    for (let t = 0; t < model.freqs.length; t++) {
      const w = model.weights[t];
      if (model.wantL[t] !== null) {
        const e = channelResponse(model, model.onLeft, t, index, trial) - model.wantL[t];
        loss += w * e * e;
      }
      if (model.wantR[t] !== null) {
        const e = channelResponse(model, model.onRight, t, index, trial) - model.wantR[t];
        loss += w * e * e;
      }
    }
    for (let j = 0; j < model.gains.length; j++) {
      const g = j === index ? gainDb : model.gains[j];
      loss += model.penalty * g * g;
    }
    return loss;
  }

  // A cut may shrink to nothing but never become a boost, nor a boost a cut.
  function allowedRange(gainDb, maxCutDb, maxBoostDb) {
    if (gainDb < 0) return [-maxCutDb, 0];
    if (gainDb > 0) return [0, maxBoostDb];
    return [0, 0];
  }

  // One pass over the bands at one step size; returns the list's loss after it and whether any band moved.
  function descentPass(model, ranges, step, startLoss) {
    let currentLoss = startLoss;
    let changed = false;
    for (let i = 0; i < model.gains.length; i++) {
      const g = model.gains[i];
      let best = g;
      let bestLoss = currentLoss;
      let bestContrib = model.contrib[i];
      for (const raw of [g - step, g + step]) {
        const candidate = clamp(raw, ranges[i][0], ranges[i][1]);
        if (candidate === g) continue; // would cost exactly the current loss and never be taken
        const trial = contributions(model, i, candidate);
        const loss = lossWith(model, i, trial, candidate);
        if (loss + EPSILON < bestLoss) {
          best = candidate;
          bestLoss = loss;
          bestContrib = trial;
        }
      }
      model.gains[i] = best;
      model.contrib[i] = bestContrib;
      currentLoss = bestLoss;
      if (Math.abs(best - g) > EPSILON) changed = true;
    }
    return { loss: currentLoss, changed };
  }

  function fitBandGains(bands, targets, options) {
    const o = optionsOf(options);
    const copies = listOf(bands).filter(isObject).map(copyBand);
    const targetList = listOf(targets).filter(isObject);
    if (copies.length === 0 || targetList.length === 0) return copies;

    const maxCutDb = option(o, 'maxCutDb', 30);
    const maxBoostDb = option(o, 'maxBoostDb', 6);
    const steps = Array.isArray(o.steps) ? o.steps : DEFAULT_STEPS;
    const minMoveDb = option(o, 'minMoveDb', 0.5);
    const model = fitModel(copies, targetList, rateOf(o.sampleRate), option(o, 'gainPenalty', 0.002));
    const ranges = model.gains.map((g) => allowedRange(g, maxCutDb, maxBoostDb));

    let loss = lossWith(model, -1, null, 0);
    for (const step of steps) {
      let changed = true;
      for (let pass = 0; pass < MAX_PASSES_PER_STEP && changed; pass++) {
        ({ loss, changed } = descentPass(model, ranges, step, loss));
      }
    }

    const fitted = [];
    copies.forEach((band, i) => {
      const g = model.gains[i];
      if (Math.abs(g) < minMoveDb) return;
      fitted.push({
        freqHz: band.freqHz,
        gainDb: roundTo(g, 2),
        q: isFiniteNumber(band.q) ? roundTo(band.q, 2) : band.q,
        type: band.type,
        stereo: band.stereo,
      });
    });
    return fitted;
  }

  function hasFrequency(m) {
    return isObject(m) && isFiniteNumber(m.freqHz) && m.freqHz > 0;
  }

  // A side's own boost, else the shared one, else none; non-finite counts as missing.
  function sideBoost(m, key) {
    if (isFiniteNumber(m[key])) return m[key];
    if (isFiniteNumber(m.boostDb)) return m.boostDb;
    return 0;
  }

  function target(freqHz, gainDbL, gainDbR, weight) {
    return { freqHz, gainDbL, gainDbR, weight };
  }

  function midpointGuards(sorted, wanted, maxMidpointOct) {
    const guards = [];
    for (let i = 1; i < sorted.length; i++) {
      const a = sorted[i - 1], b = sorted[i];
      if (Math.log2(b.freqHz / a.freqHz) > maxMidpointOct) continue;
      guards.push(target(
        Math.sqrt(a.freqHz * b.freqHz),
        (wanted[i - 1].left + wanted[i].left) / 2,
        (wanted[i - 1].right + wanted[i].right) / 2,
        0.8
      ));
    }
    return guards;
  }

  // Overlapping neighbours describe one combined boom; their inward edges would
  // contradict the centre and midpoint targets, so those are left out.
  function edgeTargets(sorted, wanted) {
    const edges = [];
    sorted.forEach((m, i) => {
      const prev = sorted[i - 1], next = sorted[i + 1];
      const half = { left: wanted[i].left / 2, right: wanted[i].right / 2 };
      const lowCovered = prev && prev.highHz > 0 && prev.highHz >= m.lowHz;
      if (m.lowHz > 0 && m.lowHz < m.freqHz && !lowCovered) edges.push(target(m.lowHz, half.left, half.right, 0.45));
      const highCovered = next && next.lowHz > 0 && next.lowHz <= m.highHz;
      if (m.highHz > m.freqHz && !highCovered) edges.push(target(m.highHz, half.left, half.right, 0.45));
    });
    return edges;
  }

  function targetsFromMeasurements(measurements, options) {
    const o = optionsOf(options);
    const strength = option(o, 'strength', 1);
    const maxCutDb = option(o, 'maxCutDb', 30);
    const largestBoost = o.allowBoosts ? option(o, 'maxBoostDb', 6) : 0;
    const maxMidpointOct = option(o, 'maxMidpointOct', 0.5);
    // The room boosts a note, so the correction cuts it.
    const want = (m, key) => clamp(-sideBoost(m, key) * strength, -maxCutDb, largestBoost) + 0;

    const sorted = listOf(measurements).filter(hasFrequency).slice().sort((a, b) => a.freqHz - b.freqHz);
    const wanted = sorted.map((m) => ({ left: want(m, 'boostDbL'), right: want(m, 'boostDbR') }));
    const centres = sorted.map((m, i) => target(m.freqHz, wanted[i].left, wanted[i].right, 1));
    const all = centres.concat(midpointGuards(sorted, wanted, maxMidpointOct), edgeTargets(sorted, wanted));
    return all.sort((a, b) => a.freqHz - b.freqHz);
  }

  return { responseDb, targetLoss, fitBandGains, targetsFromMeasurements };
});
