'use strict';

// The analysis of the speakers' recording against what the cable played: how long the path is
// (where the path's impulse response peaks) and what it does to each band (the power the speakers
// played over the power the cable played, in a narrow band around each frequency, from time-aligned
// Hann-windowed segments), compared with the response the page's own scripts give for a state.
//
// Time: output frame n plays at n / (rate x (1 + ppm x 1e-6)) s, cable frame f at f / rate s, so n
// plays while the cable is at n / (1 + ppm x 1e-6). The speakers' clock runs fast; the drift
// control resamples to follow it, which stretches the output in time by about that ratio, more
// while it settles (up to its limit of 2000 ppm after an underrun). Magnitudes in bands are
// unmoved by a stretch (2000 ppm moves 10 kHz by 20 Hz in a band of 580); the delay is measured
// on the band below 4 kHz, where a stretch over the measurement does not blur the peak, and for
// each segment on its own, so the segments stay aligned while the path's length moves.
const Profile = require('../../ui/js/profile.js');

const BAND_WIDTH_OCTAVES = 1 / 12;
const DELAY_BAND_HZ = 4000;
const DELAY_FRAMES = 16384;

function fft(re, im) {
  const n = re.length;
  for (let i = 1, j = 0; i < n; i++) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      [re[i], re[j]] = [re[j], re[i]];
      [im[i], im[j]] = [im[j], im[i]];
    }
  }
  for (let size = 2; size <= n; size <<= 1) {
    const step = (-2 * Math.PI) / size;
    const half = size >> 1;
    for (let k = 0; k < half; k++) {
      const wr = Math.cos(step * k);
      const wi = Math.sin(step * k);
      for (let start = k; start < n; start += size) {
        const other = start + half;
        const tr = re[other] * wr - im[other] * wi;
        const ti = re[other] * wi + im[other] * wr;
        re[other] = re[start] - tr;
        im[other] = im[start] - ti;
        re[start] += tr;
        im[start] += ti;
      }
    }
  }
}

function inverseFft(re, im) {
  for (let i = 0; i < im.length; i++) im[i] = -im[i];
  fft(re, im);
  const n = re.length;
  for (let i = 0; i < n; i++) {
    re[i] /= n;
    im[i] = -im[i] / n;
  }
}

const hannCache = new Map();
function hann(n) {
  if (!hannCache.has(n)) {
    const w = new Float64Array(n);
    for (let k = 0; k < n; k++) w[k] = 0.5 - 0.5 * Math.cos((2 * Math.PI * k) / n);
    hannCache.set(n, w);
  }
  return hannCache.get(n);
}

// Each line's power averaged with `reach` lines either side (circularly), never zero.
function smoothedPower(re, im, reach) {
  const n = re.length;
  const raw = new Float64Array(n);
  for (let k = 0; k < n; k++) raw[k] = re[k] * re[k] + im[k] * im[k];
  const smooth = new Float64Array(n);
  let sum = 0;
  for (let k = -reach; k <= reach; k++) sum += raw[(k + n) % n];
  for (let k = 0; k < n; k++) {
    smooth[k] = sum / (2 * reach + 1) + 1e-30;
    sum += raw[(k + reach + 1) % n] - raw[(k - reach + n) % n];
  }
  return smooth;
}

function stretch(ppm) {
  return 1 + ppm * 1e-6;
}

function periodic(signal, index) {
  const n = signal.length;
  return signal[((index % n) + n) % n];
}

// The path's delay for one channel, in cable frames: the peak of its impulse response, estimated
// by deconvolving `samples` (output frames from `from` on, at least 16384 of them) by the periodic
// input. The input repeats, so the delay is found within one period of it.
function measureDelay({ samples, from, input, ppm, rate }) {
  const length = DELAY_FRAMES;
  if (samples.length < length) throw new Error(`at least ${length} frames are needed to find the delay`);
  const period = input.length;
  const s = stretch(ppm);
  const cable = from / s;
  const base = Math.floor(cable);

  const yr = new Float64Array(period), yi = new Float64Array(period);
  const xr = new Float64Array(period), xi = new Float64Array(period);
  for (let k = 0; k < length; k++) yr[k] = samples[k];
  for (let j = 0; j < period; j++) xr[j] = periodic(input, base + j);
  fft(yr, yi);
  fft(xr, xi);

  // The cross-spectrum over the input's power, smoothed over neighbouring lines: the input made
  // white, so the peak is narrow, without dividing by the lines where the noise happens to be
  // weak; faded out from 3 to 4 kHz (lines above would blur under a stretch).
  const power = smoothedPower(xr, xi, 32);
  const lineHz = rate / period;
  for (let k = 0; k < period; k++) {
    const hz = Math.min(k, period - k) * lineHz;
    const taper = hz <= DELAY_BAND_HZ - 1000 ? 1 : hz >= DELAY_BAND_HZ ? 0 : 0.5 + 0.5 * Math.cos((Math.PI * (hz - DELAY_BAND_HZ + 1000)) / 1000);
    const re = ((yr[k] * xr[k] + yi[k] * xi[k]) / power[k]) * taper;
    const im = ((yi[k] * xr[k] - yr[k] * xi[k]) / power[k]) * taper;
    yr[k] = re;
    yi[k] = im;
  }
  inverseFft(yr, yi);

  let peak = 0;
  for (let d = 1; d < period; d++) if (Math.abs(yr[d]) > Math.abs(yr[peak])) peak = d;
  const before = Math.abs(yr[(peak + period - 1) % period]);
  const at = Math.abs(yr[peak]);
  const after = Math.abs(yr[(peak + 1) % period]);
  const curve = before - 2 * at + after;
  const offset = curve < 0 ? (0.5 * (before - after)) / curve : 0;

  // How much the peak stands out: a path that carries nothing of the input has no clear peak.
  const sorted = Array.from(yr, Math.abs).sort((a, b) => a - b);
  const clarity = at / (sorted[Math.floor(period / 2)] + 1e-30);

  // The lag is measured against input frames counted at the output's pace; over the window the
  // stretch has slipped them by half a window's drift on average.
  const frames = peak + offset + (cable - base) - (length / 2) * (1 - 1 / s);
  return { frames, clarity };
}

// Power of the output over power of the input, in a band BAND_WIDTH_OCTAVES wide around each of
// `centres` (at least the nearest line), from Hann segments of `segment` frames, half overlapped,
// each output segment against the input segment its own delay before it (measured on the
// segment's middle). Each result also weighs a response (dB at a frequency) over the same lines by
// the input's power: the level the same measurement would give through a path of that response.
// Gives the segments' delays too, in cable frames.
function bandLevels({ samples, from, input, ppm, rate, centres, segment = 65536 }) {
  const s = stretch(ppm);
  const hop = segment / 2;
  const window = hann(segment);
  const lines = segment / 2 + 1;
  const outPower = new Float64Array(lines);
  const inPower = new Float64Array(lines);
  const delays = [];

  for (let start = 0; start + segment <= samples.length; start += hop) {
    const middle = start + segment / 2 - DELAY_FRAMES / 2;
    const delay = measureDelay({ samples: samples.subarray(middle, middle + DELAY_FRAMES), from: from + middle, input, ppm, rate });
    delays.push(delay);
    // Aligned at the segment's centre, where the stretch has half its slip.
    const first = Math.round((from + start + segment / 2) / s - delay.frames - segment / 2);
    const yr = new Float64Array(segment), yi = new Float64Array(segment);
    const xr = new Float64Array(segment), xi = new Float64Array(segment);
    for (let k = 0; k < segment; k++) {
      yr[k] = samples[start + k] * window[k];
      xr[k] = periodic(input, first + k) * window[k];
    }
    fft(yr, yi);
    fft(xr, xi);
    for (let k = 0; k < lines; k++) {
      outPower[k] += yr[k] * yr[k] + yi[k] * yi[k];
      inPower[k] += xr[k] * xr[k] + xi[k] * xi[k];
    }
  }
  if (delays.length === 0) throw new Error(`a band measurement needs at least ${segment} frames`);

  const lineHz = rate / segment;
  const levels = centres.map((freqHz) => {
    const low = freqHz * Math.pow(2, -BAND_WIDTH_OCTAVES / 2);
    const high = freqHz * Math.pow(2, BAND_WIDTH_OCTAVES / 2);
    let first = Math.ceil(low / lineHz);
    let last = Math.floor(high / lineHz);
    if (last < first) first = last = Math.round(freqHz / lineHz);
    let out = 0, inp = 0;
    for (let k = first; k <= last; k++) {
      out += outPower[k];
      inp += inPower[k];
    }
    return {
      freqHz,
      measuredDb: 10 * Math.log10(out / inp),
      weighDb(responseDb) {
        let sum = 0;
        for (let k = first; k <= last; k++) sum += Math.pow(10, responseDb(k * lineHz) / 10) * inPower[k];
        return 10 * Math.log10(sum / inp);
      },
    };
  });
  return { levels, delays };
}

// What the engine does with a state, as the page's scripts compute it: the bands in force, their
// response per channel, the flat gain (output trim plus safe headroom) and each channel's delay.
// Bypassed: no band, no trim, both channels at the larger delay.
function expectedPath(state, rate) {
  const s = Profile.sanitizeState(state);
  const bands = Profile.activeBands(s);
  const maxDelayMs = Math.max(s.delayLeftMs, s.delayRightMs);
  const headroomDb = s.safeHeadroom ? Profile.headroomDb(bands, { sampleRate: rate }) : 0;
  // Where to look: the bands in force, or while bypassed the ones that would be.
  const looked = s.bypass ? Profile.activeBands({ ...s, bypass: false }) : bands;
  const centres = [...new Set(looked.map((band) => band.freqHz))]
    .filter((f) => f >= 30 && f <= 10000)
    .sort((a, b) => a - b);
  return {
    bypass: s.bypass,
    centres,
    flatDb: s.bypass ? 0 : s.outputDb + headroomDb,
    responseDb: (channel) => (f) => (s.bypass ? 0 : Profile.responseDb(bands, f, channel, rate)),
    delayMs: {
      left: s.bypass ? maxDelayMs : s.delayLeftMs,
      right: s.bypass ? maxDelayMs : s.delayRightMs,
    },
    maxDelayMs,
  };
}

// The measured level at each band centre of a state, less the flat gain, against the state's
// response on both channels; and each channel's delay, segment by segment, in cable frames.
function compareBands({ channels, from, input, ppm, rate, state, segment }) {
  const expected = expectedPath(state, rate);
  const bands = {};
  const delays = {};
  for (const [index, channel] of [[0, 'left'], [1, 'right']]) {
    const measured = bandLevels({ samples: channels[index], from, input, ppm, rate, centres: expected.centres, segment });
    delays[channel] = measured.delays;
    bands[channel] = measured.levels.map((level) => {
      const modelDb = level.weighDb(expected.responseDb(channel));
      const measuredDb = level.measuredDb - expected.flatDb;
      return { freqHz: level.freqHz, measuredDb, modelDb, deviationDb: measuredDb - modelDb };
    });
  }
  const worstDb = Math.max(...[...bands.left, ...bands.right].map((b) => Math.abs(b.deviationDb)));
  return { expected, bands, delays, worstDb };
}

module.exports = { measureDelay, bandLevels, expectedPath, compareBands };
