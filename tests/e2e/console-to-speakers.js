#!/usr/bin/env node
'use strict';

// The whole system, from the console to the speakers: the application in its own window on a
// virtual display, on the simulated sound card (the cable plays pink noise, the speakers are
// recorded as they play), its console driven through the real web view with real mouse input,
// and after every step what the speakers played measured against what the cable played and
// against the response of the state the page sent (read from the settings file), computed with
// the page's own scripts.
//
//   node tests/e2e/console-to-speakers.js APPLICATION ARTIFACTS
//
// Under a display of its own (tests/e2e/run.sh). Screenshots of each step, the recordings, the
// application's output and the figures (figures.json) are left in ARTIFACTS.
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');

const { Home, startApplication } = require('./application.js');
const { Console } = require('./console.js');
const { Processes, exitWithin, freePort, startBlackHoleProxy } = require('./processes.js');
const { CABLE_RATE, SPEAKERS_PPM, pinkNoisePeriod, recordedFrames, readRecording, firstSoundFrame } = require('./recording.js');
const { LIBRARY_ROOM_NAME, LIVING_ROOM, ROUTE, STUDY_LINEAR } = require('./rooms.js');
const { compareBands } = require('./transfer.js');
const { attach, pollUntil } = require('./webdriver.js');
const { prepareCloseRequests } = require('./x11.js');

const [APP, ARTIFACTS] = process.argv.slice(2).map((arg) => arg && path.resolve(arg));
if (!APP || !ARTIFACTS) {
  console.error('usage: console-to-speakers.js APPLICATION ARTIFACTS');
  process.exit(2);
}

const RATE = CABLE_RATE;
// The cable's capture end opens at its own buffer size (the router takes an input's default).
const CABLE_BUFFER_FRAMES = 512;
const MAX_BAND_DEVIATION_DB = 0.5;
const MAX_LATENCY_DIFFERENCE_MS = 1;
const MAX_CHANNEL_DELAY_ERROR_MS = 0.05;

const figures = { steps: [] };
const processes = new Processes();
const input = pinkNoisePeriod();
const log = path.join(ARTIFACTS, 'application.log');
let proxy = null;
let shot = 0;
// The start being driven, for a picture when the run fails.
let current = null;

function note(message) {
  console.log(`[${((Date.now() - figures.startedAt) / 1000).toFixed(1)} s] ${message}`);
}

// ----------------------------------------------------------------------------------- one start

async function startConsole(home, name, recording) {
  const automationPort = await freePort();
  const app = startApplication({
    app: APP, processes, log, name, home, recording, automationPort, proxyPort: proxy.port,
  });
  const { driver, session } = await attach({ target: `127.0.0.1:${automationPort}`, port: await freePort(), processes });
  const view = new Console({ session, pid: app.pid });
  current = { app, driver, view, recording, home };
  await view.waitForPage();
  return current;
}

async function quit(run) {
  run.driver.kill();
  run.app.kill('SIGTERM');
  const { code, signal } = await exitWithin(run.app, 60000);
  assert.equal(signal, null, `${run.app.label} ended by ${signal}`);
  assert.equal(code, 0, `${run.app.label} quit with exit status ${code}`);
}

async function screenshot(run, name) {
  shot++;
  const file = path.join(ARTIFACTS, `${String(shot).padStart(2, '0')}-${name}.png`);
  await run.view.screenshot(file);
  return file;
}

// ------------------------------------------------------------------------------- the analysis

// Waits until the recording holds frames [from, from + frames).
async function recorded(run, from, frames) {
  const seconds = (from + frames - recordedFrames(run.recording)) / RATE;
  await pollUntil(`the speakers to play frames up to ${from + frames}`, Math.max(0, seconds) * 3000 + 20000,
    () => recordedFrames(run.recording) >= from + frames);
  return readRecording(run.recording, from, from + frames);
}

// The window of a step: `seconds` of what the speakers play from `settle` seconds after now (the
// change is in force by then: the recording runs behind the speakers by a block or two and the
// engine glides to a new state within tens of milliseconds; a linear-phase kernel is designed and
// faded in within a second).
async function windowAfterNow(run, settle, seconds) {
  const from = recordedFrames(run.recording) + Math.round(settle * RATE);
  return recorded(run, from, Math.round(seconds * RATE));
}

// The window from the first sound the speakers played: whatever they played, they played it
// corrected, from the start. It leaves out the first tenth of a second: there the bells ring up
// on noise that began from silence, which no band measurement of a steady path can follow (a
// 40 Hz bell of Q 4 rings for some 30 ms); a correction that glided or faded in afterwards would
// still show.
const ONSET_SECONDS = 0.1;

async function windowFromFirstSound(run, seconds) {
  const first = await pollUntil('the first sound from the speakers', 30000, () => {
    const frame = firstSoundFrame(run.recording);
    return frame >= 0 ? frame : false;
  });
  return recorded(run, first + Math.round(ONSET_SECONDS * RATE), Math.round(seconds * RATE));
}

// What the recording shows against the state the page sent (the settings file's), and the path's
// length against the status the host sent the page.
//
// The path's length is held against the status only in a steady window: no dropout or overrun
// while it played, the path the same length all through it (within STEADY_SPREAD_MS), and the
// drift control near the speakers' offset (within STEADY_PPM of it, its ordinary swing after a
// start) at both ends, so the queue is back at its target. A stream starts with the queue primed
// at its target, and the drift control takes a few seconds to take up the speakers' clock; a
// stall of the machine that empties the queue sends it to its limit for longer. So a steady
// window is waited for (the figures say how many were tried); the bands are judged in every
// window.
const STEADY_SPREAD_MS = 0.25;
const STEADY_PPM = 100;
const STEADY_WAIT_MS = 90000;

function measure(part, state, segment) {
  const compared = compareBands({ channels: part.channels, from: part.from, input, ppm: SPEAKERS_PPM, rate: RATE, state, segment });
  const toMs = (frames) => (frames * 1000) / RATE;
  const delayMs = {};
  const spreadMs = {};
  for (const channel of ['left', 'right']) {
    const found = compared.delays[channel];
    const weak = found.find((d) => d.clarity <= 10);
    assert.ok(!weak, `the ${channel} speaker plays what the cable played (clarity ${weak && weak.clarity.toFixed(1)})`);
    const ms = found.map((d) => toMs(d.frames));
    delayMs[channel] = ms.reduce((a, b) => a + b, 0) / ms.length;
    spreadMs[channel] = Math.max(...ms) - Math.min(...ms);
  }
  return { compared, delayMs, spreadMs };
}

async function analyse(run, step, window, { segment = 65536, steady = true } = {}) {
  const state = run.home.readSettings().state;
  const deadline = Date.now() + STEADY_WAIT_MS;
  let attempts = 0;
  let part, measured, before, after;
  for (;;) {
    attempts++;
    before = await run.view.meter();
    part = await window(attempts === 1);
    after = await run.view.meter();
    measured = measure(part, state, segment);
    const clean = after.dropouts === before.dropouts && after.overruns === before.overruns;
    const still = Math.max(measured.spreadMs.left, measured.spreadMs.right) <= STEADY_SPREAD_MS;
    // The speakers run fast, so the drift control draws the queue slower by their offset.
    const settled = [before, after].every((m) => Math.abs(m.correctionPpm + SPEAKERS_PPM) <= STEADY_PPM);
    if (!steady || (clean && still && settled)) break;
    if (Date.now() > deadline) {
      throw new Error(`${step}: no steady window within ${STEADY_WAIT_MS / 1000} s (last: dropouts ${before.dropouts} -> ${after.dropouts}, `
        + `path moving ${JSON.stringify(measured.spreadMs)} ms, drift correction ${before.correctionPpm} -> ${after.correctionPpm} ppm)`);
    }
  }
  const { compared, delayMs, spreadMs } = measured;
  assert.ok(after.running, `${step}: the stream runs (${JSON.stringify(after)})`);

  // The status counts both device buffers, as real hardware plays them; the simulated devices
  // hand a block over the moment it is due, so neither is heard, and the half input buffer the
  // queue is primed with, which the status leaves out, is.
  const heardMs = after.latencyMs - ((CABLE_BUFFER_FRAMES + after.bufferSize) * 1000) / after.outputRate + ((CABLE_BUFFER_FRAMES / 2) * 1000) / RATE;
  const longestMs = Math.max(delayMs.left, delayMs.right);
  const latencyDifferenceMs = longestMs - heardMs;
  const channelErrorsMs = ['left', 'right'].map((channel) =>
    delayMs[channel] - longestMs - (compared.expected.delayMs[channel] - compared.expected.maxDelayMs));

  const figure = {
    step,
    profileName: state.profileName,
    phaseMode: state.phaseMode,
    bypass: state.bypass,
    window: { fromFrame: part.from, seconds: part.frames / RATE, windowsTried: attempts },
    worstBandDeviationDb: compared.worstDb,
    bands: compared.bands,
    flatDb: compared.expected.flatDb,
    statusLatencyMs: after.latencyMs,
    heardLatencyMs: heardMs,
    measuredDelayMs: delayMs,
    delaySpreadMs: spreadMs,
    latencyDifferenceMs,
    channelDelayErrorsMs: channelErrorsMs,
    status: { dropouts: after.dropouts, overruns: after.overruns, correctionPpm: after.correctionPpm },
  };
  figures.steps.push(figure);
  note(`${step}: worst band ${compared.worstDb.toFixed(3)} dB at ${compared.expected.centres.length} centres; `
    + `delay L ${delayMs.left.toFixed(3)} / R ${delayMs.right.toFixed(3)} ms (moving ${Math.max(spreadMs.left, spreadMs.right).toFixed(3)}); `
    + `status ${after.latencyMs.toFixed(3)} ms, heard ${heardMs.toFixed(3)} ms, difference ${latencyDifferenceMs.toFixed(3)} ms`
    + `${attempts > 1 ? `; ${attempts} windows tried` : ''}`);

  assert.ok(compared.expected.centres.length > 0, `${step}: bands to look at`);
  assert.ok(compared.worstDb <= MAX_BAND_DEVIATION_DB,
    `${step}: a band is off by ${compared.worstDb.toFixed(2)} dB: ${JSON.stringify(compared.bands)}`);
  if (steady) {
    assert.ok(Math.abs(latencyDifferenceMs) <= MAX_LATENCY_DIFFERENCE_MS,
      `${step}: the path is ${longestMs.toFixed(3)} ms long, the status says ${heardMs.toFixed(3)} ms as heard`);
    for (const error of channelErrorsMs) {
      assert.ok(Math.abs(error) <= MAX_CHANNEL_DELAY_ERROR_MS, `${step}: the speakers' delays are off by ${error.toFixed(3)} ms`);
    }
  }
  return figure;
}

// ---------------------------------------------------------------------------------- the steps

// The settings a start finds: a state (none when not given), a route (ROUTE unless null) and the
// library with its one room.
function seed(home, state, { routing = ROUTE } = {}) {
  home.writeSettings({
    version: 1,
    ...(state ? { state } : {}),
    ...(routing ? { routing } : {}),
    library: { [LIBRARY_ROOM_NAME]: LIVING_ROOM },
  });
}

// The page shows the state: its name and summary in the top bar, its bands in the filter table
// (the Filters cell's panel: opening it sends nothing).
async function shows(run, state) {
  await run.view.waitForText('#profileName', state.profileName);
  await run.view.waitForText('#profileMeta', (text) => text.startsWith(`${state.bands.length} filters · ${state.correctionPct}% correction`));
  await run.view.openCell('Filters');
  assert.deepEqual(await run.view.shownBands(), state.bands.map((band) => [band.freqHz, band.gainDb, band.q]), 'the filter table shows the state\'s bands');
}

// A start with a stored state and route: corrected from its first sound, before anything touches
// the console; the page, answered when it says "ready", shows the stored room.
async function correctedFromTheStart(run, step, state) {
  await analyse(run, step, () => windowFromFirstSound(run, 2.75), { steady: false });
  await shows(run, state);
  await screenshot(run, step);
}

// No network: the page rendered in the system's fonts, and nothing waited for the font service.
async function fallbackFonts(run) {
  const fonts = await run.view.fonts();
  figures.fonts = { ...fonts, proxyConnections: proxy.connections };
  note(`fonts: ${JSON.stringify(figures.fonts)}`);
  assert.equal(fonts.linkMedia, 'print', 'the web-font sheet never arrived, and nothing waited for it');
  assert.ok(fonts.faces.every((status) => status !== 'loaded'), 'no face of the web font');
  assert.equal(fonts.stack, fonts.fallback, 'text in the console\'s font stack measures as the fallback');
  assert.ok(proxy.connections > 0, 'the page did ask the network (a proxy that never answered)');
}

// The top bar's Bypass, clicked: no band, no trim, both speakers at the larger delay.
async function bypass(run, on, step) {
  const before = run.home.settingsStamp();
  await run.view.click('#bypassBtn');
  await pollUntil('the bypass in the settings', 10000, () => run.home.settingsStamp() !== before && run.home.readSettings().state.bypass === on);
  await run.view.waitForText('#bypassBtn', on ? 'Bypassed' : 'Bypass');
  await screenshot(run, step);
  return analyse(run, step, (first) => windowAfterNow(run, first ? 0.5 : 0, 3));
}

// Waits until the settings hold a state that `accept` takes (a step's "state" reached the host).
function stateSaved(run, what, accept) {
  return pollUntil(what, 15000, () => {
    const state = run.home.readSettings().state;
    return state && accept(state) ? state : false;
  });
}

// The response plot: band `index` dragged to a new frequency at its gain; the bell moves to the
// frequency the state holds (to a pixel's worth of the target).
async function dragABand(run, index, toHz) {
  const before = run.home.readSettings().state;
  await run.view.dragBand(before, index, toHz, RATE);
  const state = await stateSaved(run, `band ${index} dragged to ${toHz} Hz in the settings`, (s) => Math.abs(s.bands[index].freqHz / toHz - 1) < 0.02);
  figures.dragged = { from: before.bands[index], to: state.bands[index] };
  note(`dragged band ${index} from ${before.bands[index].freqHz} Hz / ${before.bands[index].gainDb} dB to ${state.bands[index].freqHz} Hz / ${state.bands[index].gainDb} dB`);
  await screenshot(run, 'dragged');
  return analyse(run, 'dragged', (first) => windowAfterNow(run, first ? 0.5 : 0, 3));
}

// The filter table: band `index`'s frequency typed in; the bell moves to it.
async function typeABandsFrequency(run, index, hz) {
  await run.view.typeBandFrequency(index, hz);
  await stateSaved(run, `band ${index} typed to ${hz} Hz in the settings`, (s) => s.bands[index].freqHz === hz);
  await screenshot(run, 'typed');
  return analyse(run, 'typed', (first) => windowAfterNow(run, first ? 0.5 : 0, 3));
}

// The window's close button (WM_DELETE_WINDOW) hides it, and the audio goes on; a second start
// shows it again and ends: the page boots again, the host answers its "ready", and it shows the
// last state without sending one (the settings file is not written again).
async function hideThenSecondStart(run) {
  const stamp = run.home.settingsStamp();
  run.view.hide();
  await pollUntil('the window hidden', 10000, () => !run.view.isShown());
  await pollUntil('the blank page while hidden', 10000, async () => (await run.view.session.url()) === 'about:blank');
  const hiddenAt = recordedFrames(run.recording);
  await pollUntil('the speakers playing on while hidden', 10000, () => recordedFrames(run.recording) > hiddenAt + RATE / 2);

  const second = startApplication({ app: APP, processes, log, name: 'second start', home: run.home, proxyPort: proxy.port });
  const { code } = await exitWithin(second, 30000);
  assert.equal(code, 0, 'the second start ended cleanly');
  await pollUntil('the window shown again', 10000, () => run.view.isShown());
  await run.view.waitForPage();
  const state = run.home.readSettings().state;
  await shows(run, state);
  await screenshot(run, 'shown-by-a-second-start');
  assert.equal(run.home.settingsStamp(), stamp, 'the page sent no "state" when it booted again');
  return analyse(run, 'shown-by-a-second-start', (first) => windowAfterNow(run, first ? 0.2 : 0, 3));
}

// ------------------------------------------------------------- steps through the console's parts

// The rooms rail's "Try the demo room": the demo's state reaches the host. No route yet, so
// nothing plays; the next step routes it.
async function loadTheDemoRoom(run) {
  await run.view.loadDemoRoom();
  const state = await stateSaved(run, 'the demo room in the settings', (s) => s.profileName === 'Demo room — small rectangular, suspended floor');
  assert.equal(state.bands.length, 11);
  await shows(run, state);
  await screenshot(run, 'demo-room');
}

// The routing panel: the simulated back end, the cable in, the speakers out, "Start correcting →";
// the route is stored and the speakers play the demo room's correction.
async function routeTheCableToTheSpeakers(run) {
  await run.view.applyRoute({ deviceType: ROUTE.deviceType, input: ROUTE.inputDevice, output: ROUTE.outputDevice });
  await pollUntil('the route in the settings', 15000, () => {
    const routing = run.home.readSettings().routing;
    return routing && routing.inputDevice === ROUTE.inputDevice && routing.outputDevice === ROUTE.outputDevice;
  });
  await pollUntil('the stream running', 15000, async () => (await run.view.meter()).running);
  await screenshot(run, 'routed');
  return analyse(run, 'routed', (first) => windowAfterNow(run, first ? 0.5 : 0, 3));
}

// The Phase panel's "Linear": the path grows by what the status says it adds.
async function switchToLinearPhase(run, minimum) {
  await run.view.choosePhase('Linear');
  await stateSaved(run, 'linear phase in the settings', (s) => s.phaseMode === 'linear');
  await screenshot(run, 'linear-phase');
  const linear = await analyse(run, 'linear-phase', (first) => windowAfterNow(run, first ? 1 : 0, 3));
  const addedMs = Math.max(linear.measuredDelayMs.left, linear.measuredDelayMs.right)
    - Math.max(minimum.measuredDelayMs.left, minimum.measuredDelayMs.right);
  const reportedMs = linear.statusLatencyMs - minimum.statusLatencyMs;
  figures.linearPhaseAddsMs = { measured: addedMs, status: reportedMs };
  assert.ok(Math.abs(addedMs - reportedMs) <= MAX_LATENCY_DIFFERENCE_MS, `linear phase added ${addedMs} ms, the status ${reportedMs} ms`);
  return linear;
}

// The rooms rail: the seeded library room replaces the correction with its own.
async function loadTheLibraryRoom(run) {
  await run.view.loadLibraryRoom(LIBRARY_ROOM_NAME);
  const state = await stateSaved(run, 'the library room in the settings', (s) => s.profileName === LIBRARY_ROOM_NAME);
  assert.deepEqual(state, LIVING_ROOM, 'the library\'s room, as it was stored');
  await shows(run, state);
  await screenshot(run, 'library-room');
  return analyse(run, 'library-room', (first) => windowAfterNow(run, first ? 0.5 : 0, 3));
}

async function main() {
  fs.rmSync(ARTIFACTS, { recursive: true, force: true });
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  figures.startedAt = Date.now();
  proxy = await startBlackHoleProxy();
  prepareCloseRequests();
  const home = new Home(path.join(ARTIFACTS, 'home'));

  // First start: nothing stored but the library's room. Everything after comes from the console.
  seed(home, null, { routing: null });
  let run = await startConsole(home, 'first start', path.join(ARTIFACTS, 'first-start.wav'));
  figures.firstPageShownMs = Date.now() - figures.startedAt;
  await fallbackFonts(run);
  await loadTheDemoRoom(run);
  await routeTheCableToTheSpeakers(run);
  // The demo's first bell (45 Hz) dragged down to 36 Hz; its 172 Hz bell typed up to 250 Hz.
  await dragABand(run, 0, 36);
  const minimum = await typeABandsFrequency(run, 6, 250);
  await switchToLinearPhase(run, minimum);
  await bypass(run, true, 'bypass');
  await bypass(run, false, 'bypass-off');
  await loadTheLibraryRoom(run);
  await hideThenSecondStart(run);
  const last = run.home.readSettings();
  await quit(run);

  // After the quit the file holds the last state and route; a third start restores them and plays
  // them corrected from its first sound.
  const saved = home.readSettings();
  assert.deepEqual(saved.state, last.state, 'the quit kept the last state');
  assert.deepEqual(saved.routing, ROUTE, 'the quit kept the route');
  assert.deepEqual(saved.library, { [LIBRARY_ROOM_NAME]: LIVING_ROOM }, 'the library is untouched');
  run = await startConsole(home, 'third start', path.join(ARTIFACTS, 'third-start.wav'));
  await correctedFromTheStart(run, 'third-start', saved.state);
  await quit(run);

  // A stored room in linear phase: the first kernel is in force from the first sound, and the
  // path is as long as the status says.
  seed(home, STUDY_LINEAR);
  run = await startConsole(home, 'linear phase', path.join(ARTIFACTS, 'linear-phase.wav'));
  await correctedFromTheStart(run, 'linear-phase-start', STUDY_LINEAR);
  await analyse(run, 'linear-phase-steady', (first) => windowAfterNow(run, first ? 0.5 : 0, 3));
  await quit(run);

  figures.seconds = (Date.now() - figures.startedAt) / 1000;
  note(`done in ${figures.seconds.toFixed(1)} s`);
}

main()
  .then(() => {
    fs.writeFileSync(path.join(ARTIFACTS, 'figures.json'), JSON.stringify(figures, null, 2));
    proxy.close();
    processes.killAll();
  })
  .catch(async (error) => {
    console.error(error && error.stack ? error.stack : error);
    // What the console showed when the run failed.
    if (current) await screenshot(current, 'at-the-failure').catch(() => {});
    try {
      fs.writeFileSync(path.join(ARTIFACTS, 'figures.json'), JSON.stringify(figures, null, 2));
    } catch (e) {
      // The failure above is what matters.
    }
    if (proxy) proxy.close();
    processes.killAll();
    process.exitCode = 1;
  });
