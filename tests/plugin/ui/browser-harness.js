'use strict';

// Runs the console page in a real browser (Debian's Chromium, driven by playwright-core) the way
// the host's web view shows it: the page's 13 files served by their flat names from one origin,
// a fake bridge in place of the one the framework injects, and nothing else reachable.
const fs = require('node:fs');
const { ROOT, FILES, FONT_HOSTS, bundleFile } = require('./console-bundle.js');

const CHROMIUM = process.env.BRINDLE_CHROMIUM || '/usr/bin/chromium';
const CHROMIUM_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--no-first-run',
];
const ORIGIN = 'http://console.test';
// How long a launch, a wait or an action (a click, a screenshot) may take before it fails. Each
// takes well under a second; a machine busy with other work can stretch one past playwright's
// own 30 s, which must not fail a test.
const ACTION_MS = 180000;

// Fails (never skips) when the browser is missing: a page test that silently did not run is worse
// than a red one. `options` are playwright's launch options (a proxy, say).
async function launchBrowser(options = {}) {
  if (!fs.existsSync(CHROMIUM)) {
    throw new Error(`${CHROMIUM} is missing: the page's browser tests need Debian's chromium (tools/setup installs it)`);
  }
  const { chromium } = require('playwright-core');
  return chromium.launch({ executablePath: CHROMIUM, args: CHROMIUM_ARGS, timeout: ACTION_MS, ...options });
}

// Injected before any page script: the bridge the framework would provide, recording what the page
// sends and listens to, a recorder of canvas text, timing wrappers for frames and listeners, and a
// watch on the lit controls.
function initScript({ bridge, storage, storageSeed }) {
  const rec = { emits: [], registrations: [], listeners: {}, canvasText: [], frames: [], listenerTimes: [], overLit: [] };
  window.__rec = rec;
  // At most one control lit after every change of the window, not only when a test looks.
  new MutationObserver(() => {
    const lit = document.querySelectorAll('.lit');
    if (lit.length > 1) rec.overLit.push([...lit].map((node) => node.dataset.key || node.className));
  }).observe(document, { subtree: true, childList: true, attributes: true, attributeFilter: ['class'] });
  if (storage === 'throws') {
    const deny = () => { throw new DOMException('storage is disabled', 'SecurityError'); };
    Object.defineProperty(window, 'localStorage', { configurable: true, get: deny });
  } else if (storageSeed) {
    try {
      if (!sessionStorage.getItem('__seeded')) {
        sessionStorage.setItem('__seeded', '1');
        for (const [key, value] of Object.entries(storageSeed)) localStorage.setItem(key, value);
      }
    } catch (e) {
      // A seed that cannot be written shows up as a failing test, not here.
    }
  }
  if (bridge) {
    window.__JUCE__ = {
      backend: {
        addEventListener(name, fn) {
          rec.registrations.push(name);
          (rec.listeners[name] = rec.listeners[name] || []).push(fn);
          return [name, rec.listeners[name].length - 1];
        },
        removeEventListener() {},
        emitEvent(name, payload) {
          rec.emits.push({ name, payload, at: performance.now() });
        },
      },
    };
    window.__hostSend = (name, payload) => {
      for (const fn of rec.listeners[name] || []) fn(payload);
    };
  }
  const fillText = CanvasRenderingContext2D.prototype.fillText;
  CanvasRenderingContext2D.prototype.fillText = function (text, x, y, ...rest) {
    rec.canvasText.push({ text: String(text), x, y, font: this.font, fill: String(this.fillStyle) });
    return fillText.call(this, text, x, y, ...rest);
  };
  const raf = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (fn) => raf((t) => {
    const start = performance.now();
    try {
      return fn(t);
    } finally {
      rec.frames.push({ at: start, ms: performance.now() - start });
    }
  });
  const add = EventTarget.prototype.addEventListener;
  EventTarget.prototype.addEventListener = function (type, fn, options) {
    if (typeof fn !== 'function') return add.call(this, type, fn, options);
    const timed = function (event) {
      const start = performance.now();
      try {
        return fn.call(this, event);
      } finally {
        rec.listenerTimes.push({ type, at: start, ms: performance.now() - start });
      }
    };
    return add.call(this, type, timed, options);
  };
}

// Opens the console. Options: query (default "?host=duzezavure"), bridge (default true), viewport
// {width, height}, deviceScaleFactor, locale, reducedMotion, storage ("throws" for a store that
// refuses), storageSeed {key: text} written before the first load, hangFonts (the font service
// takes the request and never answers), files {flat name: text} served in place of the bundle's.
async function openConsole(browser, options = {}) {
  const {
    query = '?host=duzezavure', bridge = true, viewport = { width: 1120, height: 860 },
    deviceScaleFactor = 1, locale = 'en-US', reducedMotion = 'no-preference', storage, storageSeed,
    hangFonts = false, files = {}, waitForReady = bridge,
  } = options;
  const context = await browser.newContext({ viewport, deviceScaleFactor, locale, reducedMotion });
  context.setDefaultTimeout(ACTION_MS);
  const aborted = [];
  await context.route('**/*', (route) => {
    const url = new URL(route.request().url());
    if (url.origin === ORIGIN) return route.fulfill(bundleFile(url.pathname, files));
    aborted.push(url.href);
    if (hangFonts && FONT_HOSTS.includes(url.hostname)) return undefined;
    return route.abort();
  });
  await context.addInitScript(initScript, { bridge, storage, storageSeed: storageSeed || null });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e));
  const console_ = {
    page, context, errors, aborted,
    url: `${ORIGIN}/${query}`,
    async load() {
      await page.goto(console_.url, { waitUntil: 'domcontentloaded' });
      if (waitForReady) await page.waitForFunction(() => window.__rec.emits.some((e) => e.name === 'ready'));
    },
    async reload() {
      await page.reload({ waitUntil: 'domcontentloaded' });
      if (waitForReady) await page.waitForFunction(() => window.__rec.emits.some((e) => e.name === 'ready'));
    },
    emits: () => page.evaluate(() => window.__rec.emits.map((e) => [e.name, e.payload])),
    emitTimes: () => page.evaluate(() => window.__rec.emits.map((e) => [e.name, e.at])),
    registrations: () => page.evaluate(() => window.__rec.registrations.slice()),
    canvasText: () => page.evaluate(() => window.__rec.canvasText.slice()),
    hostSend: (name, payload) => page.evaluate(([n, p]) => window.__hostSend(n, p), [name, payload]),
    // The calls the WebKitGTK harness's console makes too, so one flow runs in both engines.
    run: (fn, ...args) => page.evaluate(`(${fn})(...${JSON.stringify(args)})`),
    click: (selector) => page.click(selector),
    screenshot: (file) => page.screenshot({ path: file }),
    // Lets the page's queued tasks and a frame run, so that nothing still pending is missed.
    settle: () => page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)))),
    // What must hold after every step of every test.
    async invariants() {
      if (errors.length) throw errors[0];
      const overLit = await page.evaluate(() => window.__rec.overLit.slice());
      if (overLit.length) throw new Error(`${overLit[0].length} controls were lit at once (${JSON.stringify(overLit[0])}); at most one may be`);
    },
    close: () => context.close(),
  };
  await console_.load();
  await console_.invariants();
  return console_;
}

// In the page: what the top bar, the scope's head and the shell show.
function chromeState() {
  return {
    name: document.getElementById('profileName').textContent,
    meta: document.getElementById('profileMeta').textContent,
    h1: document.querySelector('.curvehead h1').textContent,
    readout: document.querySelector('.curvemeta .plotread').innerHTML,
    bypass: document.getElementById('bypassBtn').textContent,
    pressed: document.getElementById('bypassBtn').getAttribute('aria-pressed'),
    tinted: document.querySelector('.shell').classList.contains('bypassed'),
  };
}

// In the page: where the plot stands against everything under it, and whether scrolling the stage
// to its end shows the whole open panel. Boxes are compared in the window's pixels, sizes in the
// layout's.
function layoutState() {
  const canvas = document.querySelector('.plotwrap canvas');
  const stage = document.getElementById('stage');
  const c = canvas.getBoundingClientRect();
  const over = [];
  for (const node of document.querySelectorAll('.bandbar, .bandbar *, .settings, .settings *')) {
    const r = node.getBoundingClientRect();
    const x = Math.min(r.right, c.right) - Math.max(r.left, c.left);
    const y = Math.min(r.bottom, c.bottom) - Math.max(r.top, c.top);
    if (x > 0.5 && y > 0.5) over.push(`${node.tagName.toLowerCase()}.${node.className.baseVal ?? node.className}`);
  }
  stage.scrollTop = stage.scrollHeight;
  const s = stage.getBoundingClientRect();
  const panel = document.querySelector('.cellpanel').getBoundingClientRect();
  const focusable = [...document.querySelectorAll('.cellpanel button:not(:disabled), .cellpanel input, .cellpanel select')]
    .filter((n) => !n.closest('.bandscroll'));
  const last = (focusable[focusable.length - 1] || document.querySelector('.bandscroll')).getBoundingClientRect();
  const result = {
    canvas: canvas.clientHeight,
    canvasMin: parseFloat(getComputedStyle(canvas).minHeight),
    overlapping: over,
    stageScrolls: stage.scrollHeight > stage.clientHeight,
    panelShown: panel.bottom <= s.bottom + 0.5 && last.top >= s.top - 0.5 && last.bottom <= s.bottom + 0.5,
    documentScroll: document.documentElement.scrollHeight - innerHeight,
  };
  stage.scrollTop = 0;
  return result;
}

// Seeds in the host's own shapes.
function seedDevices(overrides = {}) {
  const status = {
    running: true, duplex: false, error: '', inputRate: 48000, outputRate: 48000, bufferSize: 256,
    latencyMs: 12.5, fillFrames: 1440, targetFrames: 1440, correctionPpm: 3.2, dropouts: 0, overruns: 0,
    ...(overrides.status || {}),
  };
  return {
    types: ['ALSA', 'JACK'], inputs: ['Loopback Cable', 'Built-in Microphone'], outputs: ['Speakers', 'Headphones'],
    loopbackInputs: ['Loopback Cable'], platform: 'windows', canSetDefaultOutput: false,
    rates: [44100, 48000, 96000], bufferSizes: [128, 256, 512],
    selected: { deviceType: 'ALSA', inputDevice: 'Loopback Cable', outputDevice: 'Speakers', sampleRate: 48000, bufferSize: 256, queueMs: 30 },
    sampleRate: 48000,
    ...overrides,
    status,
  };
}

function seedMeter(overrides = {}) {
  return { ...seedDevices().status, ...overrides };
}

function seedLibrary(names = ['Den', 'Living room']) {
  return { names };
}

// A restore text: the host hands back the state the page last sent, as JSON text.
function seedRestore(fields = {}) {
  const Profile = require('../../../ui/js/profile.js');
  const bands = [
    { freqHz: 63, gainDb: -6.44, q: 4, type: 'bell', stereo: 'stereo' },
    { freqHz: 120, gainDb: -3, q: 2, type: 'bell', stereo: 'stereo' },
    { freqHz: 250, gainDb: 2, q: 1.5, type: 'bell', stereo: 'left' },
    { freqHz: 500, gainDb: -2.5, q: 3, type: 'bell', stereo: 'right' },
    { freqHz: 1000, gainDb: 1.5, q: 1, type: 'bell', stereo: 'stereo' },
    { freqHz: 2500, gainDb: -1, q: 2, type: 'bell', stereo: 'stereo' },
    { freqHz: 6000, gainDb: 1, q: 1, type: 'bell', stereo: 'stereo' },
  ];
  const state = { ...Profile.defaultState(), profileName: 'Living room', bands, ...fields };
  return Profile.toJson(Profile.sanitizeState(state));
}

const CHROMIUM_ENGINE = { launch: launchBrowser, open: openConsole, close: (browser) => browser.close() };

// One browser for a test file: launched before its tests, closed after them. The returned
// withConsole(options, body) opens a console, runs the body with it, lets the page settle and
// checks the invariants, and always closes it. `engine` is another browser's launch, open and
// close (the WebKitGTK harness's).
//
// A browser that cannot start fails every test that asks for it. The hook itself never throws:
// in a file that runs both engines, a failed hook would keep the other engine's after hook from
// running, and its browser would hold the file open for ever.
function browserForTests(test, engine = CHROMIUM_ENGINE) {
  let browser;
  let launchError = null;
  test.before(async () => {
    try {
      browser = await engine.launch();
    } catch (error) {
      launchError = error;
    }
  });
  test.after(async () => {
    if (browser) await engine.close(browser);
  });

  return async function withConsole(options, body) {
    if (!browser) throw launchError || new Error('the browser did not start');
    const page = await engine.open(browser, options);
    try {
      await body(page);
      await page.settle();
      await page.invariants();
    } finally {
      await page.close();
    }
  };
}

module.exports = {
  ROOT, CHROMIUM, CHROMIUM_ARGS, ORIGIN, FILES, launchBrowser, openConsole, browserForTests, initScript, chromeState, layoutState,
  seedDevices, seedMeter, seedLibrary, seedRestore,
};
