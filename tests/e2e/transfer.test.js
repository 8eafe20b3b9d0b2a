'use strict';

// The end-to-end analysis on a path made here, whose delay and response are known exactly: pink
// noise from the cable through the state's bells, a flat gain and a delay per channel, then
// stretched in time as the drift control stretches it for speakers whose clock runs fast.
const test = require('node:test');
const assert = require('node:assert/strict');
const Biquad = require('../../ui/js/biquad.js');
const Profile = require('../../ui/js/profile.js');
const { pinkNoisePeriod, PINK_PERIOD } = require('./recording.js');
const { STUDY } = require('./rooms.js');
const { measureDelay, compareBands, expectedPath } = require('./transfer.js');

const RATE = 48000;
const PPM = 120;
const input = pinkNoisePeriod();

const state = STUDY;

// The cable's frames [from, to) through the bells in force on one channel (started a second early,
// so the filters have settled), with the flat gain.
function pathOutput(channel, from, to) {
  const path = expectedPath(state, RATE);
  const sections = Profile.activeBands(state)
    .filter((band) => band.stereo === 'stereo' || band.stereo === channel)
    .map((band) => ({ ...Biquad.designPeak(band.freqHz, RATE, band.q, band.gainDb), x1: 0, x2: 0, y1: 0, y2: 0 }));
  const gain = Math.pow(10, path.flatDb / 20);
  const warmUp = RATE;
  const out = new Float64Array(to - from);
  for (let f = from - warmUp; f < to; f++) {
    let v = input[((f % PINK_PERIOD) + PINK_PERIOD) % PINK_PERIOD];
    for (const c of sections) {
      const y = c.b0 * v + c.b1 * c.x1 + c.b2 * c.x2 - c.a1 * c.y1 - c.a2 * c.y2;
      c.x2 = c.x1; c.x1 = v; c.y2 = c.y1; c.y1 = y;
      v = y;
    }
    if (f >= from) out[f - from] = v * gain;
  }
  return out;
}

// Output frames [from, from + frames) of speakers PPM fast, hearing the path `delayFrames` late:
// a windowed-sinc reading of the path's output at each frame's cable position. With `slipPpm`
// the path grows longer as it plays, as it does while the drift control draws the queue slower.
function speakers(channel, delayFrames, from, frames, slipPpm = 0) {
  const stretch = 1 + PPM * 1e-6;
  const taps = 24;
  const slip = (n) => n * slipPpm * 1e-6;
  const firstCable = Math.floor(from / stretch - delayFrames - slip(frames)) - taps;
  const path = pathOutput(channel, firstCable, Math.ceil((from + frames) / stretch - delayFrames) + taps + 1);
  const out = new Float32Array(frames);
  for (let n = 0; n < frames; n++) {
    const at = (from + n) / stretch - delayFrames - slip(n) - firstCable;
    const base = Math.floor(at);
    let sum = 0;
    for (let k = -taps + 1; k <= taps; k++) {
      const x = at - (base + k);
      const sinc = x === 0 ? 1 : Math.sin(Math.PI * x) / (Math.PI * x);
      const window = 0.42 + 0.5 * Math.cos((Math.PI * x) / taps) + 0.08 * Math.cos((2 * Math.PI * x) / taps);
      sum += path[base + k] * sinc * window;
    }
    out[n] = sum;
  }
  return out;
}

const FROM = 7 * RATE + 123;
const FRAMES = 4 * RATE;
const LEFT_DELAY = 1480.3;
const RIGHT_DELAY = LEFT_DELAY + 1.5 * RATE / 1000;
const channels = [speakers('left', LEFT_DELAY, FROM, FRAMES), speakers('right', RIGHT_DELAY, FROM, FRAMES)];

test('the pink noise is the sound card\'s, sample for sample', () => {
  // The same samples as the sound card's own test (SimulatedSignalTest.cpp).
  const expected = { 0: -0.0515456311, 1: -0.0141860358, 1000: 0.149566129, 131071: 0.0110021746 };
  for (const [index, value] of Object.entries(expected)) assert.equal(input[index], Math.fround(value), `sample ${index}`);
});

test('the delay of each channel is found to a small part of a frame', () => {
  for (const [samples, delay] of [[channels[0], LEFT_DELAY], [channels[1], RIGHT_DELAY]]) {
    const found = measureDelay({ samples: samples.subarray(RATE), from: FROM + RATE, input, ppm: PPM, rate: RATE });
    // The bells' own group delay below 4 kHz moves the peak by a part of a frame.
    assert.ok(Math.abs(found.frames - delay) < 1, `found ${found.frames}, made ${delay}`);
    assert.ok(found.clarity > 20, `clarity ${found.clarity}`);
  }
});

test('each band of the state measures as the state\'s response, less the flat gain', () => {
  const compared = compareBands({ channels, from: FROM, input, ppm: PPM, rate: RATE, state });
  assert.deepEqual(compared.expected.centres, [40, 100, 250, 1200, 6000]);
  assert.ok(compared.worstDb < 0.1, JSON.stringify(compared.bands));
  for (const [channel, made] of [['left', LEFT_DELAY], ['right', RIGHT_DELAY]]) {
    for (const found of compared.delays[channel]) assert.ok(Math.abs(found.frames - made) < 1, `${channel}: ${found.frames}, made ${made}`);
  }
  const right250 = compared.bands.right.find((b) => b.freqHz === 250);
  assert.ok(right250.measuredDb < -5, `the right channel's cut is there: ${right250.measuredDb}`);
});

test('a path whose length moves as the drift control does at its limit still measures right', () => {
  const slipPpm = 2000;
  const moving = [speakers('left', LEFT_DELAY, FROM, FRAMES, slipPpm), speakers('right', RIGHT_DELAY, FROM, FRAMES, slipPpm)];
  const compared = compareBands({ channels: moving, from: FROM, input, ppm: PPM, rate: RATE, state });
  assert.ok(compared.worstDb < 0.1, JSON.stringify(compared.bands));
  const delays = compared.delays.left.map((d) => d.frames);
  assert.ok(delays.length >= 4);
  for (let i = 0; i < delays.length; i++) {
    // Segment i's middle lies (i + 1) half segments into the window. Over the measurement the
    // peak is smeared by the slip (some 35 frames), so it is found within that: enough to align
    // a segment of 65536 frames, not to judge the path's length (the run does that only while
    // the path holds still).
    const made = LEFT_DELAY + (i + 1) * 32768 * slipPpm * 1e-6;
    assert.ok(Math.abs(delays[i] - made) < 20, `segment ${i}: ${delays[i]}, made ${made}`);
  }
});

test('a state that is not the one that played fails the comparison', () => {
  const moved = { ...state, bands: state.bands.map((b) => (b.freqHz === 250 ? { ...b, freqHz: 300 } : b)) };
  const compared = compareBands({ channels, from: FROM, input, ppm: PPM, rate: RATE, state: moved });
  assert.ok(compared.worstDb > 0.5, `worst ${compared.worstDb}`);

  const bypassed = compareBands({ channels, from: FROM, input, ppm: PPM, rate: RATE, state: { ...state, bypass: true } });
  assert.ok(bypassed.worstDb > 0.5, `worst ${bypassed.worstDb}`);
  assert.deepEqual(bypassed.expected.centres, [40, 100, 250, 1200, 6000], 'while bypassed, the bands that would be in force are looked at');
});
