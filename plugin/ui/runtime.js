/*
 * The console's one door to whatever moves audio. Under the host's web view the
 * framework has injected a bridge before any script runs: corrections and
 * requests go to the host as named events, and the host's events come back to
 * the listeners registered here. Opened in a plain browser there is no bridge,
 * and the correction is played here instead, with Web Audio, over looped noise.
 * The console script never learns which of the two it is talking to.
 */
(function (root, factory) {
  'use strict';
  const inNode = typeof module === 'object' && module && module.exports && typeof require === 'function';
  const api = factory(root, inNode ? require('../../ui/js/profile.js') : root.BrindleProfile);
  if (inNode) module.exports = api;
  else root.BrindleRuntime = api;
})(typeof window !== 'undefined' ? window : globalThis, function (root, Profile) {
  'use strict';

  const DEFAULT_RATE = 48000;
  const MIN_HOST_RATE = 8000;
  const MAX_HOST_RATE = 768000;
  const CHANNELS = Object.freeze(['left', 'right']);
  const MAX_DELAY_S = 1;
  // Time constants of the glides: short enough to follow a drag, long enough not to click.
  const DELAY_GLIDE_S = 0.015;
  const FILTER_GLIDE_S = 0.01;
  const OUTPUT_GLIDE_S = 0.02;
  const AUDITION_LEVEL = 0.5;
  const AUDITION_FADE_S = 0.08;
  const NOISE_SECONDS = 4;
  const STIMULUS_SEED = 7;
  const HOST_QUERY = /(?:^|[?&])host=duzezavure(?:&|$)/;

  // The bridge is looked for once: one injected later is not seen.
  const juce = root.__JUCE__;
  const backend = juce && typeof juce === 'object' ? juce.backend : undefined;
  const bridgeSender =
    backend && typeof backend.emitEvent === 'function' ? (name, payload) => backend.emitEvent(name, payload) : null;

  let hostSampleRate = DEFAULT_RATE;
  let current = null;
  const listeners = [];

  let ctx = null;
  let graph = null;
  let source = null;

  function isNative() {
    return bridgeSender !== null;
  }

  function queryText() {
    const location = root.location;
    return location && typeof location.search === 'string' ? location.search : '';
  }

  function isDuzezavure() {
    return isNative() && HOST_QUERY.test(queryText());
  }

  function acceptedRate(value) {
    const rate = Number(value);
    return Number.isFinite(rate) && rate >= MIN_HOST_RATE && rate <= MAX_HOST_RATE ? rate : null;
  }

  function onHostEvent(name, fn) {
    if (!backend || typeof backend.addEventListener !== 'function') return false;
    if (name === 'devices') {
      // The report's rate is read on its way past the console's own listener.
      backend.addEventListener(name, (payload) => {
        const rate = acceptedRate(payload && typeof payload === 'object' ? payload.sampleRate : undefined);
        if (rate !== null) hostSampleRate = rate;
        fn(payload);
      });
    } else {
      backend.addEventListener(name, fn);
    }
    return true;
  }

  function send(name, payload) {
    if (bridgeSender) bridgeSender(name, payload);
  }

  function announceReady() {
    send('ready', {});
  }

  function apply(state) {
    current = Profile.sanitizeState(state);
    // The host takes the state as JSON text inside the event's JSON.
    if (bridgeSender) bridgeSender('state', Profile.toJson(current));
    if (ctx && source) mirror(current);
    for (const listener of listeners.slice()) {
      try {
        listener(current);
      } catch (e) {
        // One listener's fault must not keep the correction from the others.
      }
    }
    return current;
  }

  function onApply(fn) {
    listeners.push(fn);
  }

  // ------------------------------------------------------------------ browser preview

  function onChannel(band, channel) {
    return band.stereo === 'stereo' || band.stereo === channel;
  }

  function nodeTypeOf(bandType) {
    if (bandType === 'lowshelf' || bandType === 'highshelf') return bandType;
    return 'peaking';
  }

  // Two states share a graph exactly when these keys are equal.
  function signatureOf(bands) {
    return bands.map((band) => band.stereo + ':' + band.type).join('|');
  }

  function quietly(action) {
    try {
      action();
    } catch (e) {
      // A node that was never connected, or a source that already stopped.
    }
  }

  function buildGraph(bands, key) {
    if (graph) {
      const old = graph;
      quietly(() => old.input.disconnect());
      // Without this the old output stage would stay on the destination for the page's life.
      quietly(() => old.output.disconnect());
    }
    const input = ctx.createGain();
    const merger = ctx.createChannelMerger(2);
    const output = ctx.createGain();
    const chains = CHANNELS.map((channel, index) => {
      const delay = ctx.createDelay(MAX_DELAY_S);
      input.connect(delay);
      let tail = delay;
      const filters = bands
        .filter((band) => onChannel(band, channel))
        .map((band) => {
          const filter = ctx.createBiquadFilter();
          filter.type = nodeTypeOf(band.type);
          filter.frequency.value = band.freqHz;
          filter.Q.value = band.q;
          filter.gain.value = band.gainDb;
          tail.connect(filter);
          tail = filter;
          return filter;
        });
      tail.connect(merger, 0, index);
      return { channel, delay, filters };
    });
    merger.connect(output);
    output.connect(ctx.destination);
    if (source) {
      const node = source.node;
      quietly(() => node.disconnect());
      node.connect(input);
      input.gain.value = AUDITION_LEVEL;
    }
    graph = { key, input, chains, merger, output };
  }

  function tune(state, bands) {
    const now = ctx.currentTime;
    const us = Profile.delayUs(state);
    const delaySeconds = { left: us.leftUs / 1e6, right: us.rightUs / 1e6 };
    for (const chain of graph.chains) {
      chain.delay.delayTime.setTargetAtTime(delaySeconds[chain.channel], now, DELAY_GLIDE_S);
      bands
        .filter((band) => onChannel(band, chain.channel))
        .forEach((band, i) => {
          const filter = chain.filters[i];
          if (!filter) return;
          filter.frequency.setTargetAtTime(band.freqHz, now, FILTER_GLIDE_S);
          filter.Q.setTargetAtTime(band.q, now, FILTER_GLIDE_S);
          filter.gain.setTargetAtTime(band.gainDb, now, FILTER_GLIDE_S);
        });
    }
    graph.output.gain.setTargetAtTime(Math.pow(10, state.outputDb / 20), now, OUTPUT_GLIDE_S);
  }

  // From a sanitised state. A value-only change glides on the nodes there are: rewiring would
  // drop the audio for a frame.
  function mirror(state) {
    const bands = Profile.activeBands(state);
    const key = signatureOf(bands);
    if (!graph || graph.key !== key) buildGraph(bands, key);
    tune(state, bands);
  }

  function sampleOf(value) {
    return typeof value === 'number' && Number.isFinite(value) ? value : 0;
  }

  function noiseBuffer(kind) {
    const rate = ctx.sampleRate;
    const frames = Math.floor(NOISE_SECONDS * rate);
    const buffer = ctx.createBuffer(1, frames, rate);
    const data = buffer.getChannelData(0);
    const stimulus = root.BrindleStimulus;
    if (stimulus && typeof stimulus.pinkNoise === 'function' && typeof stimulus.brownNoise === 'function') {
      const options = { seed: STIMULUS_SEED };
      const samples = kind === 'brown' ? stimulus.brownNoise(NOISE_SECONDS, rate, options) : stimulus.pinkNoise(NOISE_SECONDS, rate, options);
      for (let i = 0; i < frames; i++) data[i] = sampleOf(samples ? samples[i] : undefined);
      return buffer;
    }
    // Three leaky integrators of white noise: pink with the faster decay, brown with the slower.
    const decay = kind === 'brown' ? 0.995 : 0.98;
    let b0 = 0;
    let b1 = 0;
    let b2 = 0;
    for (let i = 0; i < frames; i++) {
      const w = Math.random() * 2 - 1;
      b0 = decay * b0 + 0.05 * w;
      b1 = 0.96 * b1 + 0.03 * w;
      b2 = 0.8 * b2 + 0.02 * w;
      data[i] = Math.max(-1, Math.min(1, 3 * (b0 + b1 + b2 + 0.02 * w)));
    }
    return buffer;
  }

  function ensureCtx() {
    if (!ctx) {
      const Context = root.AudioContext || root.webkitAudioContext;
      if (typeof Context !== 'function') throw new Error('This browser has no Web Audio, so the preview cannot play.');
      ctx = new Context();
    }
    if (ctx.state === 'suspended' && typeof ctx.resume === 'function') {
      const resumed = ctx.resume();
      if (resumed && typeof resumed.catch === 'function') resumed.catch(() => {});
    }
    return ctx;
  }

  function audition(kind) {
    ensureCtx();
    stopAudition();
    const playing = kind === 'brown' ? 'brown' : 'pink';
    const node = ctx.createBufferSource();
    node.buffer = noiseBuffer(playing);
    node.loop = true;
    source = { node, kind: playing };
    mirror(current || Profile.defaultState());
    node.connect(graph.input);
    // A fade in, so that the loop does not start with a click.
    const now = ctx.currentTime;
    const level = graph.input.gain;
    level.cancelScheduledValues(now);
    level.setValueAtTime(0, now);
    level.linearRampToValueAtTime(AUDITION_LEVEL, now + AUDITION_FADE_S);
    node.start();
    return playing;
  }

  function stopAudition() {
    if (!source) return;
    const node = source.node;
    quietly(() => node.stop());
    quietly(() => node.disconnect());
    source = null;
  }

  function auditioning() {
    return source ? source.kind : null;
  }

  function sampleRate() {
    return ctx ? ctx.sampleRate : hostSampleRate;
  }

  return {
    isNative,
    isDuzezavure,
    onHostEvent,
    announceReady,
    apply,
    onApply,
    send,
    audition,
    stopAudition,
    auditioning,
    sampleRate,
  };
});
