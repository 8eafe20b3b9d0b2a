'use strict';

// What the simulated sound card plays and records: the pink noise the computer plays into the
// cable, made again from its frame numbers exactly as the sound card makes it, and the speakers'
// recording, a 32-bit float WAV file that grows while they play, frame n of it being frame n of
// the speakers' clock (which runs SPEAKERS_PPM fast; frame 0 of both clocks is the same moment).
const fs = require('node:fs');

const CABLE_RATE = 48000;
const SPEAKERS_PPM = 120;
const PINK_PERIOD = 131072;
const PINK_RMS = 0.1;
const HEADER_BYTES = 44;

// White noise of a 32-bit xorshift generator, through Paul Kellet's six-pole pink filter twice
// over the period (the second pass kept, so the period joins without a seam), then without its
// mean and at the level asked for: the sound card's pinkNoisePeriod, step for step.
function pinkNoisePeriod(rms = PINK_RMS) {
  const white = new Float64Array(PINK_PERIOD);
  let x = 2463534242;
  for (let i = 0; i < PINK_PERIOD; i++) {
    x = (x ^ (x << 13)) >>> 0;
    x = (x ^ (x >>> 17)) >>> 0;
    x = (x ^ (x << 5)) >>> 0;
    white[i] = (x / 4294967296) * 2 - 1;
  }
  const pink = new Float64Array(PINK_PERIOD);
  let b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
  for (let pass = 0; pass < 2; pass++) {
    for (let i = 0; i < PINK_PERIOD; i++) {
      const w = white[i];
      b0 = 0.99886 * b0 + w * 0.0555179;
      b1 = 0.99332 * b1 + w * 0.0750759;
      b2 = 0.969 * b2 + w * 0.153852;
      b3 = 0.8665 * b3 + w * 0.3104856;
      b4 = 0.55 * b4 + w * 0.5329522;
      b5 = -0.7616 * b5 - w * 0.016898;
      pink[i] = b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362;
      b6 = w * 0.115926;
    }
  }
  let mean = 0;
  for (let i = 0; i < PINK_PERIOD; i++) mean += pink[i];
  mean /= PINK_PERIOD;
  let power = 0;
  for (let i = 0; i < PINK_PERIOD; i++) {
    pink[i] -= mean;
    power += pink[i] * pink[i];
  }
  const scale = power > 0 ? rms / Math.sqrt(power / PINK_PERIOD) : 0;
  const period = new Float32Array(PINK_PERIOD);
  for (let i = 0; i < PINK_PERIOD; i++) period[i] = pink[i] * scale;
  return period;
}

function readHeader(fd) {
  const header = Buffer.alloc(HEADER_BYTES);
  if (fs.readSync(fd, header, 0, HEADER_BYTES, 0) < HEADER_BYTES) return null;
  if (header.toString('latin1', 0, 4) !== 'RIFF' || header.toString('latin1', 36, 40) !== 'data') return null;
  if (header.readUInt16LE(20) !== 3 || header.readUInt16LE(34) !== 32) throw new Error('the recording is not 32-bit float');
  return { channels: header.readUInt16LE(22), rate: header.readUInt32LE(24), dataBytes: header.readUInt32LE(40) };
}

// Frames in the file now: what its header says, and no more than its bytes hold.
function recordedFrames(file) {
  let fd;
  try {
    fd = fs.openSync(file, 'r');
  } catch (e) {
    return 0;
  }
  try {
    const header = readHeader(fd);
    if (!header) return 0;
    const bytes = Math.min(header.dataBytes, fs.fstatSync(fd).size - HEADER_BYTES);
    return Math.floor(bytes / (4 * header.channels));
  } finally {
    fs.closeSync(fd);
  }
}

// Frames [from, to) of the recording, one Float32Array per channel.
function readRecording(file, from, to) {
  const fd = fs.openSync(file, 'r');
  try {
    const header = readHeader(fd);
    if (!header) throw new Error(`${file} is not a WAV file yet`);
    const available = recordedFrames(file);
    const end = Math.min(to, available);
    if (from < 0 || end <= from) throw new Error(`frames ${from}..${to} are not in the recording (it holds ${available})`);
    const frames = end - from;
    const stride = 4 * header.channels;
    const bytes = Buffer.alloc(frames * stride);
    fs.readSync(fd, bytes, 0, bytes.length, HEADER_BYTES + from * stride);
    const channels = [];
    for (let c = 0; c < header.channels; c++) {
      const samples = new Float32Array(frames);
      for (let f = 0; f < frames; f++) samples[f] = bytes.readFloatLE(f * stride + 4 * c);
      channels.push(samples);
    }
    return { rate: header.rate, from, frames, channels };
  } finally {
    fs.closeSync(fd);
  }
}

// The first frame at or after `from` whose sound passes `threshold` on any channel; -1 when none.
function firstSoundFrame(file, from = 0, threshold = 1e-4) {
  const total = recordedFrames(file);
  const chunk = 48000;
  for (let at = from; at < total; at += chunk) {
    const part = readRecording(file, at, Math.min(total, at + chunk));
    for (let f = 0; f < part.frames; f++) {
      if (part.channels.some((samples) => Math.abs(samples[f]) > threshold)) return at + f;
    }
  }
  return -1;
}

module.exports = {
  CABLE_RATE, SPEAKERS_PPM, PINK_PERIOD, PINK_RMS,
  pinkNoisePeriod, recordedFrames, readRecording, firstSoundFrame,
};
