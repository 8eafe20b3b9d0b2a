'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const vm = require('node:vm');
const P = require('../../../ui/js/profile.js');
const { scriptsThrough, loadPage } = require('./page-loader.js');

const RUNTIME_PAGE = scriptsThrough('runtime.js');

// Objects made inside the page have the page's prototypes; compare them as data.
const plain = (value) => JSON.parse(JSON.stringify(value));

// ------------------------------------------------------------------ a host's bridge

function fakeBridge() {
  const sent = [];
  const listeners = {};
  const backend = {
    emitEvent(name, payload) {
      sent.push({ name, payload });
    },
    addEventListener(name, fn) {
      (listeners[name] = listeners[name] || []).push(fn);
    },
  };
  return { sent, listeners, backend };
}

function hostPage(search = '?host=duzezavure', bridge = fakeBridge()) {
  const page = loadPage(RUNTIME_PAGE, { __JUCE__: { backend: bridge.backend }, location: { search } });
  return { runtime: page.BrindleRuntime, bridge, page };
}

// ------------------------------------------------------------------ a recording Web Audio

class FakeParam {
  constructor(value) {
    this.value = value;
    this.events = [];
  }
  setTargetAtTime(value, time, constant) {
    this.events.push(['target', value, time, constant]);
  }
  setValueAtTime(value, time) {
    this.events.push(['set', value, time]);
  }
  linearRampToValueAtTime(value, time) {
    this.events.push(['ramp', value, time]);
  }
  cancelScheduledValues(time) {
    this.events.push(['cancel', time]);
  }
}

class FakeNode {
  constructor(ctx, kind) {
    this.kind = kind;
    this.outputs = [];
    ctx.nodes.push(this);
  }
  connect(destination, output = 0, input = 0) {
    if (!this.outputs.some((o) => o.destination === destination && o.input === input)) this.outputs.push({ destination, output, input });
    return destination;
  }
  // As in Web Audio: all connections without an argument, else that one, which must exist.
  disconnect(destination) {
    if (destination === undefined) {
      this.outputs = [];
      return;
    }
    const kept = this.outputs.filter((o) => o.destination !== destination);
    if (kept.length === this.outputs.length) throw new Error('InvalidAccessError: not connected');
    this.outputs = kept;
  }
}

function fakeAudio(options = {}) {
  const made = [];
  class FakeAudioContext {
    constructor() {
      made.push(this);
      this.sampleRate = options.sampleRate || 44100;
      this.currentTime = 0;
      this.state = options.state || 'running';
      this.resumed = 0;
      this.nodes = [];
      this.buffers = [];
      this.destination = new FakeNode(this, 'destination');
    }
    resume() {
      this.resumed += 1;
      this.state = 'running';
      return Promise.resolve();
    }
    createGain() {
      const node = new FakeNode(this, 'gain');
      node.gain = new FakeParam(1);
      return node;
    }
    createDelay(maxDelayTime) {
      const node = new FakeNode(this, 'delay');
      node.maxDelayTime = maxDelayTime;
      node.delayTime = new FakeParam(0);
      return node;
    }
    createBiquadFilter() {
      const node = new FakeNode(this, 'biquad');
      node.type = 'lowpass';
      node.frequency = new FakeParam(350);
      node.Q = new FakeParam(1);
      node.gain = new FakeParam(0);
      return node;
    }
    createChannelMerger(inputs) {
      const node = new FakeNode(this, 'merger');
      node.numberOfInputs = inputs;
      return node;
    }
    createBufferSource() {
      const node = new FakeNode(this, 'source');
      node.buffer = null;
      node.loop = false;
      node.started = 0;
      node.stopped = 0;
      node.start = () => {
        node.started += 1;
      };
      node.stop = () => {
        node.stopped += 1;
      };
      return node;
    }
    createBuffer(numberOfChannels, length, sampleRate) {
      const channels = Array.from({ length: numberOfChannels }, () => new Float32Array(length));
      const buffer = { numberOfChannels, length, sampleRate, getChannelData: (i) => channels[i] };
      this.buffers.push(buffer);
      return buffer;
    }
  }
  return { FakeAudioContext, made };
}

function previewPage(globals = {}, audioOptions = {}) {
  const audio = fakeAudio(audioOptions);
  const page = loadPage(RUNTIME_PAGE, { AudioContext: audio.FakeAudioContext, location: { search: '' }, ...globals });
  return { runtime: page.BrindleRuntime, audio, page, ctx: () => audio.made[0] };
}

const sourcesOf = (ctx) => ctx.nodes.filter((n) => n.kind === 'source');
const playingSource = (ctx) => sourcesOf(ctx).find((n) => n.started > n.stopped);

// The graph as heard from the source: each merger input's chain of filters, and what follows.
function describe(ctx, source) {
  assert.equal(source.outputs.length, 1, 'the source feeds one input stage');
  const input = source.outputs[0].destination;
  assert.equal(input.kind, 'gain');
  const chains = {};
  let merger = null;
  for (const { destination: delay } of input.outputs) {
    assert.equal(delay.kind, 'delay');
    assert.equal(delay.maxDelayTime, 1);
    const filters = [];
    let node = delay;
    while (node.outputs.length === 1 && node.outputs[0].destination.kind === 'biquad') {
      node = node.outputs[0].destination;
      filters.push({ node, shape: [node.type, node.frequency.value, node.Q.value, node.gain.value] });
    }
    assert.equal(node.outputs.length, 1);
    const end = node.outputs[0];
    assert.equal(end.destination.kind, 'merger');
    merger = end.destination;
    chains[end.input === 0 ? 'left' : 'right'] = { delay, filters };
  }
  assert.deepEqual(Object.keys(chains).sort(), ['left', 'right'], 'one chain into each merger input');
  assert.equal(merger.outputs.length, 1);
  const output = merger.outputs[0].destination;
  assert.equal(output.kind, 'gain');
  assert.deepEqual(output.outputs.map((o) => o.destination), [ctx.destination]);
  return { input, chains, merger, output, shape: { left: chains.left.filters.map((f) => f.shape), right: chains.right.filters.map((f) => f.shape) } };
}

const lastEvent = (param) => param.events[param.events.length - 1];

const bell = (freqHz, gainDb, q, stereo = 'stereo', type = 'bell') => ({ freqHz, gainDb, q, type, stereo, on: true });
const ROOM = Object.freeze({
  correctionPct: 100,
  delayLeftMs: 0,
  delayRightMs: 0.5,
  outputDb: -3,
  bands: [bell(100, -6, 2), bell(80, -4, 0.7, 'left', 'lowshelf'), bell(8000, 2, 0.7, 'right', 'highshelf')],
});
const room = (change = (s) => s) => change(JSON.parse(JSON.stringify(ROOM)));

// ------------------------------------------------------------------ host mode

test('the system-wide console is recognised by its query parameter, and only under a host', () => {
  const cases = [
    ['?host=duzezavure', true],
    ['?v=1&host=duzezavure', true],
    ['?host=duzezavure&x=1', true],
    ['?a=b&host=duzezavure&c=d', true],
    ['?xhost=duzezavure', false],
    ['?host=duzezavure2', false],
    ['?host=Duzezavure', false],
    ['?host=duzezavure_', false],
    ['?x=host=duzezavure', false],
    ['', false],
  ];
  for (const [search, expected] of cases) {
    const { runtime } = hostPage(search);
    assert.equal(runtime.isNative(), true);
    assert.equal(runtime.isDuzezavure(), expected, search);
  }
  const noBridge = loadPage(RUNTIME_PAGE, { location: { search: '?host=duzezavure' } }).BrindleRuntime;
  assert.deepEqual([noBridge.isNative(), noBridge.isDuzezavure()], [false, false]);
});

test('the bridge is found once, at load, and only with a sending function', () => {
  const noSender = loadPage(RUNTIME_PAGE, { __JUCE__: { backend: { emitEvent: 'no', addEventListener() {} } } });
  assert.equal(noSender.BrindleRuntime.isNative(), false);

  const late = loadPage(RUNTIME_PAGE, {});
  const bridge = fakeBridge();
  late.__JUCE__ = { backend: bridge.backend };
  late.BrindleRuntime.announceReady();
  late.BrindleRuntime.send('route', {});
  assert.deepEqual([late.BrindleRuntime.isNative(), bridge.sent.length], [false, 0]);
});

test('a devices report sets the rate on its way to the console listener, within 8000 to 768000 Hz', () => {
  const { runtime, bridge } = hostPage();
  const seen = [];
  assert.equal(runtime.onHostEvent('devices', (payload) => seen.push(payload)), true);
  assert.equal(runtime.sampleRate(), 48000, 'before any report');
  const [listener] = bridge.listeners.devices;
  const cases = [
    // [payload, the rate after it]
    [{ sampleRate: 44100 }, 44100],
    [{ sampleRate: '96000' }, 96000],
    [{ sampleRate: 8000 }, 8000],
    [{ sampleRate: 768000 }, 768000],
    [{ sampleRate: 7999 }, 768000],
    [{ sampleRate: 768001 }, 768000],
    [{ sampleRate: '44100' }, 44100],
    [{ sampleRate: 'fast' }, 44100],
    [{ sampleRate: null }, 44100],
    [{ sampleRate: Infinity }, 44100],
    [{ sampleRate: NaN }, 44100],
    [{}, 44100],
    [{ selected: { sampleRate: 96000 } }, 44100],
    [null, 44100],
    ['96000', 44100],
  ];
  for (const [payload, rate] of cases) {
    listener(payload);
    assert.equal(runtime.sampleRate(), rate, JSON.stringify(payload));
    assert.equal(seen[seen.length - 1], payload, 'the payload passes unchanged');
  }
  assert.equal(seen.length, cases.length);
});

test('the other host events get the console listener itself; without a way to listen nothing registers', () => {
  const { runtime, bridge } = hostPage();
  const fns = { restore: () => {}, meter: () => {}, library: () => {} };
  for (const [name, fn] of Object.entries(fns)) {
    assert.equal(runtime.onHostEvent(name, fn), true);
    assert.deepEqual(bridge.listeners[name], [fn], name);
  }

  const sendOnly = loadPage(RUNTIME_PAGE, { __JUCE__: { backend: { emitEvent() {} } } }).BrindleRuntime;
  assert.equal(sendOnly.onHostEvent('restore', () => {}), false);
  assert.equal(loadPage(RUNTIME_PAGE).BrindleRuntime.onHostEvent('devices', () => {}), false);
});

test('under a host each apply sends exactly one "state", its JSON text as a string, and returns the guarded copy', () => {
  const { runtime, bridge } = hostPage();
  const inputs = [room(), room((s) => ({ ...s, bypass: true })), { junk: 1 }, null];
  for (const [i, input] of inputs.entries()) {
    const before = P.toJson(input);
    const result = runtime.apply(input);
    assert.equal(bridge.sent.length, i + 1, 'one event per apply');
    const { name, payload } = bridge.sent[i];
    assert.equal(name, 'state');
    assert.equal(typeof payload, 'string');
    assert.equal(payload, before);
    assert.deepEqual(plain(result), plain(P.sanitizeState(input)));
    if (input && input.bands) {
      assert.notEqual(result, input);
      input.bands[0].gainDb = 9;
      input.outputDb = 6;
      assert.equal(P.toJson(result), before, 'a change to the caller object after the call reaches neither');
      assert.equal(bridge.sent[i].payload, before);
    }
  }
});

test('apply calls its listeners in order with the guarded copy, past a listener that throws', () => {
  for (const page of [hostPage().runtime, loadPage(RUNTIME_PAGE).BrindleRuntime]) {
    const calls = [];
    page.onApply((s) => calls.push(['first', s.outputDb]));
    page.onApply(() => {
      throw new Error('a broken listener');
    });
    page.onApply((s) => calls.push(['third', s.outputDb]));
    const result = page.apply({ outputDb: 40 });
    assert.deepEqual(calls, [['first', 12], ['third', 12]]);
    assert.equal(result.outputDb, 12);
  }
});

test('ready is sent with an empty object once per call, other events unchanged; without a bridge nothing', () => {
  const { runtime, bridge } = hostPage();
  runtime.announceReady();
  assert.deepEqual(plain(bridge.sent), [{ name: 'ready', payload: {} }]);
  runtime.announceReady();
  assert.equal(bridge.sent.length, 2);
  const route = { deviceType: 'ALSA' };
  runtime.send('route', route);
  assert.equal(bridge.sent[2].name, 'route');
  assert.equal(bridge.sent[2].payload, route);

  const alone = loadPage(RUNTIME_PAGE).BrindleRuntime;
  alone.announceReady();
  alone.send('route', route);
  assert.equal(alone.apply(room()).outputDb, -3);
});

test('under a host no audio context is ever made', () => {
  const audio = fakeAudio();
  const page = loadPage(RUNTIME_PAGE, { __JUCE__: { backend: fakeBridge().backend }, location: { search: '?host=duzezavure' }, AudioContext: audio.FakeAudioContext });
  page.BrindleRuntime.apply(room());
  page.BrindleRuntime.stopAudition();
  assert.deepEqual([audio.made.length, page.BrindleRuntime.sampleRate(), page.BrindleRuntime.auditioning()], [0, 48000, null]);
});

// ------------------------------------------------------------------ browser preview

test('an audition loops the noise into both speakers, each through its own delay and filters, faded in', () => {
  const { runtime, ctx } = previewPage();
  runtime.apply(room());
  assert.equal(runtime.sampleRate(), 48000, 'no context before the first audition');
  assert.equal(runtime.audition('pink'), 'pink');
  const context = ctx();
  assert.equal(runtime.sampleRate(), 44100);
  const source = playingSource(context);
  assert.deepEqual([source.loop, source.started, source.buffer.numberOfChannels], [true, 1, 1]);

  const graph = describe(context, source);
  assert.deepEqual(graph.shape, {
    left: [['peaking', 100, 2, -6], ['lowshelf', 80, 0.7, -4]],
    right: [['peaking', 100, 2, -6], ['highshelf', 8000, 0.7, 2]],
  });
  assert.deepEqual(lastEvent(graph.chains.left.delay.delayTime), ['target', 0, 0, 0.015]);
  assert.deepEqual(lastEvent(graph.chains.right.delay.delayTime), ['target', 0.0005, 0, 0.015]);
  assert.deepEqual(lastEvent(graph.output.gain), ['target', Math.pow(10, -3 / 20), 0, 0.02]);
  assert.deepEqual(graph.input.gain.events.slice(-2), [['set', 0, 0], ['ramp', 0.5, 0.08]]);
  assert.equal(runtime.auditioning(), 'pink');
});

test('the first audition before any apply plays the default state: no filters, no delay', () => {
  const { runtime, ctx } = previewPage();
  runtime.audition('brown');
  const graph = describe(ctx(), playingSource(ctx()));
  assert.deepEqual(graph.shape, { left: [], right: [] });
  assert.deepEqual(lastEvent(graph.output.gain), ['target', 1, 0, 0.02]);
});

test('while noise plays, a value change glides on the same nodes and a shape change rebuilds the graph', () => {
  const cases = [
    // [what changes, the change, rebuilt, what the graph then shows]
    ['a frequency drag', (s) => { s.bands[0].freqHz = 120; }, false, (g) => assert.deepEqual(lastEvent(g.chains.right.filters[0].node.frequency), ['target', 120, 2.5, 0.01])],
    ['a gain that stays in force', (s) => { s.bands[1].gainDb = -5; }, false, (g) => assert.deepEqual(lastEvent(g.chains.left.filters[1].node.gain), ['target', -5, 2.5, 0.01])],
    ['a Q', (s) => { s.bands[2].q = 3; }, false, (g) => assert.deepEqual(lastEvent(g.chains.right.filters[1].node.Q), ['target', 3, 2.5, 0.01])],
    ['the amount', (s) => { s.correctionPct = 50; }, false, (g) => assert.deepEqual(lastEvent(g.chains.left.filters[0].node.gain), ['target', -3, 2.5, 0.01])],
    ['a delay', (s) => { s.delayLeftMs = 1.25; }, false, (g) => assert.deepEqual(lastEvent(g.chains.left.delay.delayTime), ['target', 0.00125, 2.5, 0.015])],
    ['the output', (s) => { s.outputDb = -6; }, false, (g) => assert.deepEqual(lastEvent(g.output.gain), ['target', Math.pow(10, -6 / 20), 2.5, 0.02])],
    ['a band switched off', (s) => { s.bands[1].on = false; }, true, (g) => assert.deepEqual(g.shape.left, [['peaking', 100, 2, -6]])],
    ['a band moved to the other side', (s) => { s.bands[1].stereo = 'right'; }, true, (g) => assert.equal(g.shape.right.length, 3)],
    ['a band of another type', (s) => { s.bands[0].type = 'highshelf'; }, true, (g) => assert.equal(g.shape.left[0][0], 'highshelf')],
    ['a gain below the threshold', (s) => { s.bands[2].gainDb = 0.04; }, true, (g) => assert.deepEqual(g.shape.right, [['peaking', 100, 2, -6]])],
    ['a band added', (s) => { s.bands.push(bell(250, -3, 4, 'left')); }, true, (g) => assert.equal(g.shape.left.length, 3)],
    [
      'bypass',
      (s) => { s.bypass = true; },
      true,
      (g) => {
        assert.deepEqual(g.shape, { left: [], right: [] });
        assert.deepEqual(lastEvent(g.chains.right.delay.delayTime), ['target', 0, 2.5, 0.015]);
        assert.deepEqual(lastEvent(g.output.gain), ['target', Math.pow(10, -3 / 20), 2.5, 0.02], 'the trim still applies');
      },
    ],
  ];
  for (const [label, change, rebuilt, check] of cases) {
    const { runtime, ctx } = previewPage();
    runtime.apply(room());
    runtime.audition('pink');
    const context = ctx();
    const source = playingSource(context);
    const before = describe(context, source);
    const nodeCount = context.nodes.length;
    context.currentTime = 2.5;

    runtime.apply(room((s) => (change(s), s)));
    const after = describe(context, source);
    check(after);
    if (!rebuilt) {
      assert.equal(context.nodes.length, nodeCount, `${label}: no node made`);
      assert.equal(after.input, before.input, label);
      continue;
    }
    assert.notEqual(after.input, before.input, `${label}: a new input stage`);
    assert.deepEqual(before.input.outputs, [], `${label}: the old input stage is disconnected`);
    assert.deepEqual(before.output.outputs, [], `${label}: the old output stage is disconnected`);
    assert.equal(after.input.gain.value, 0.5, `${label}: the audition level carries over`);
    assert.equal(source.stopped, 0, `${label}: the noise keeps playing`);
  }
});

test('without noise playing, apply leaves the graph alone and the next audition brings it up to date', () => {
  const { runtime, ctx } = previewPage();
  runtime.apply(room());
  runtime.audition('pink');
  runtime.stopAudition();
  const context = ctx();
  const [first] = sourcesOf(context);
  assert.deepEqual([first.stopped, first.outputs.length, runtime.auditioning()], [1, 0, null]);
  const nodeCount = context.nodes.length;
  const events = context.nodes.map((n) => (n.gain || n.delayTime || n.frequency || { events: [] }).events.length);

  runtime.apply(room((s) => ({ ...s, bypass: true })));
  assert.equal(context.nodes.length, nodeCount);
  assert.deepEqual(context.nodes.map((n) => (n.gain || n.delayTime || n.frequency || { events: [] }).events.length), events);

  runtime.audition('pink');
  assert.deepEqual(describe(context, playingSource(context)).shape, { left: [], right: [] });
});

test('auditioning another noise stops the first; stopping twice is harmless; one context, resumed when suspended', () => {
  const { runtime, audio, ctx } = previewPage({}, { state: 'suspended' });
  runtime.audition('pink');
  const context = ctx();
  assert.equal(context.resumed, 1);
  const pink = playingSource(context);
  context.state = 'suspended';
  assert.equal(runtime.audition('brown'), 'brown');
  assert.deepEqual([pink.stopped, pink.outputs.length], [1, 0]);
  assert.equal(runtime.auditioning(), 'brown');
  assert.deepEqual([audio.made.length, context.resumed, context.buffers.length], [1, 2, 2]);
  assert.notEqual(context.buffers[0], context.buffers[1], 'each audition makes its own buffer');
  assert.equal(playingSource(context).buffer, context.buffers[1]);

  runtime.stopAudition();
  runtime.stopAudition();
  assert.equal(runtime.auditioning(), null);
  assert.equal(sourcesOf(context).filter((s) => s.stopped > 1).length, 0);
});

test('the prefixed audio context serves where the standard one is missing; without Web Audio nothing plays', () => {
  const audio = fakeAudio();
  const prefixed = loadPage(RUNTIME_PAGE, { webkitAudioContext: audio.FakeAudioContext }).BrindleRuntime;
  assert.equal(prefixed.audition('brown'), 'brown');
  assert.equal(audio.made.length, 1);

  const without = loadPage(RUNTIME_PAGE).BrindleRuntime;
  assert.throws(() => without.audition('pink'), /Web Audio/);
  assert.deepEqual([without.auditioning(), without.sampleRate()], [null, 48000]);
  assert.equal(without.apply(room()).outputDb, -3);
});

function noiseOf(kind, random, rate = 8000.7) {
  const { runtime, ctx, page } = previewPage({}, { sampleRate: rate });
  vm.runInContext('Math', page).random = random;
  runtime.audition(kind);
  return ctx().buffers[0];
}

function expectedNoise(decay, ws) {
  let b0 = 0;
  let b1 = 0;
  let b2 = 0;
  return ws.map((w) => {
    b0 = decay * b0 + 0.05 * w;
    b1 = 0.96 * b1 + 0.03 * w;
    b2 = 0.8 * b2 + 0.02 * w;
    return Math.fround(Math.max(-1, Math.min(1, 3 * (b0 + b1 + b2 + 0.02 * w))));
  });
}

test('the built-in noise: 4 s of one channel, three leaky integrators, pink faster than brown, clamped', () => {
  const draws = [0.9, 0.1, 0.75, 0.3, 0.5, 0.0];
  const cycle = () => {
    let i = 0;
    return () => draws[i++ % draws.length];
  };
  const ws = Array.from({ length: 24 }, (_, i) => draws[i % draws.length] * 2 - 1);
  for (const [kind, decay] of [['pink', 0.98], ['brown', 0.995]]) {
    const buffer = noiseOf(kind, cycle());
    assert.deepEqual([buffer.numberOfChannels, buffer.length, buffer.sampleRate], [1, 32002, 8000.7], kind);
    assert.deepEqual(Array.from(buffer.getChannelData(0).slice(0, 24)), expectedNoise(decay, ws), kind);
  }

  // A long run of the loudest draws drives the integrators past full scale.
  const loud = noiseOf('brown', () => 0.999999).getChannelData(0);
  assert.equal(Math.max(...loud.slice(0, 4000)), 1);
  assert.ok(loud[0] > 0 && loud[0] < 1);
});

test('a noise synthesiser on the page, when there is one, fills the buffer instead, seeded', () => {
  const calls = [];
  const BrindleStimulus = {
    pinkNoise(seconds, rate, options) {
      calls.push(['pink', seconds, rate, plain(options)]);
      return [0.25, 'loud', null, NaN, -0.5];
    },
    brownNoise(seconds, rate, options) {
      calls.push(['brown', seconds, rate, plain(options)]);
      return [0.125];
    },
  };
  const { runtime, ctx } = previewPage({ BrindleStimulus }, { sampleRate: 22050 });
  runtime.audition('pink');
  runtime.audition('brown');
  assert.deepEqual(calls, [['pink', 4, 22050, { seed: 7 }], ['brown', 4, 22050, { seed: 7 }]]);
  const [pink, brown] = ctx().buffers.map((b) => b.getChannelData(0));
  assert.deepEqual(Array.from(pink.slice(0, 6)), [0.25, 0, 0, 0, -0.5, 0]);
  assert.deepEqual([brown.length, brown[0], brown[1], brown[88199]], [88200, 0.125, 0, 0]);
});
