'use strict';

// Runs the console page in WebKitGTK, the engine the host's web view embeds: Debian's
// MiniBrowser for the library the host links, driven through the W3C WebDriver protocol by
// WebKitWebDriver, on a virtual X display of its own. The same bundle, fake bridge and seeds as
// the Chromium harness.
//
// WebDriver can neither intercept requests nor add a script ahead of the page's, so the bundle
// comes from a local server that the browser takes as its proxy for every scheme (see
// bundle-server.js), and that server serves index.html with the fake bridge as its first script:
// a rewrite of the test server's, the product's file is untouched.
//
// That browser's build simulates no input for WebDriver ("unsupported operation"), so a click
// is a real one, from the X server (xdotool), through GTK into the page. The display is always
// a virtual one of the harness's own: input there moves no one's pointer, and no window manager
// moves the window.
const fs = require('node:fs');
const net = require('node:net');
const path = require('node:path');
const { spawn, execFile } = require('node:child_process');
const { ROOT, FONT_HOSTS } = require('./console-bundle.js');
const { startBundleServer } = require('./bundle-server.js');
const { initScript, browserForTests, seedDevices, seedMeter, seedLibrary, seedRestore } = require('./browser-harness.js');

const DRIVER = process.env.BRINDLE_WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver';
// The 4.0 API's browser: the one built on the library the host links.
const MINIBROWSER = process.env.BRINDLE_MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.0/MiniBrowser';
const XVFB = '/usr/bin/Xvfb';
const XDOTOOL = '/usr/bin/xdotool';
const START_MS = 15000;
// A script whose answer is lost to a navigation costs this much before it is asked again.
const SCRIPT_MS = 5000;
const WAIT_MS = 15000;
const STOP_MS = 3000;

// Every process group started here, so that an ending process leaves none of them behind.
const started = new Set();

function signal(pid, name) {
  try {
    process.kill(pid, name);
    return true;
  } catch (e) {
    return false;
  }
}

process.on('exit', () => {
  for (const child of started) {
    signal(-child.pid, 'SIGKILL');
    signal(child.reaper.pid, 'SIGKILL');
  }
});
for (const [name, code] of [['SIGINT', 130], ['SIGTERM', 143]]) {
  process.once(name, () => process.exit(code));
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function requireFile(file, what) {
  if (!fs.existsSync(file)) {
    throw new Error(`${file} is missing: the page's WebKitGTK tests need ${what} (tools/setup installs it)`);
  }
}

// A child in a process group of its own: stopping it stops whatever it started (the driver's
// browser and the engine's processes). A small shell watches this process and ends the group
// should this process be killed outright, with no chance to end it itself.
function startGroup(command, args, options = {}) {
  const child = spawn(command, args, { detached: true, ...options });
  child.exited = new Promise((resolve) => child.once('exit', resolve));
  child.reaper = spawn('/bin/sh', ['-c', 'while kill -0 "$1" 2>/dev/null; do sleep 1; done; kill -KILL "-$2" 2>/dev/null',
    'reaper', String(process.pid), String(child.pid)], { detached: true, stdio: 'ignore' });
  child.reaper.exited = new Promise((resolve) => child.reaper.once('exit', resolve));
  started.add(child);
  return child;
}

// SIGTERM to the group, then SIGKILL to whatever of it is left after a while.
async function stopGroup(child) {
  if (!child || !started.has(child)) return;
  started.delete(child);
  if (signal(-child.pid, 'SIGTERM')) {
    const deadline = Date.now() + STOP_MS;
    while (signal(-child.pid, 0) && Date.now() < deadline) await sleep(25);
    signal(-child.pid, 'SIGKILL');
  }
  await child.exited;
  signal(child.reaper.pid, 'SIGKILL');
  await child.reaper.exited;
}

// A virtual display: Xvfb picks a free number and writes it to the descriptor it is given once
// it takes connections.
async function startDisplay() {
  requireFile(XVFB, 'Xvfb (Debian\'s xvfb)');
  const xvfb = startGroup(XVFB, ['-displayfd', '3', '-screen', '0', '1920x1200x24', '-nolisten', 'tcp'], {
    stdio: ['ignore', 'ignore', 'ignore', 'pipe'],
  });
  let timer;
  try {
    const number = await new Promise((resolve, reject) => {
      let text = '';
      xvfb.stdio[3].on('data', (chunk) => {
        text += chunk;
        if (text.includes('\n')) resolve(text.trim());
      });
      xvfb.exited.then((code) => reject(new Error(`Xvfb ended (${code}) before its display was ready`)));
      timer = setTimeout(() => reject(new Error('Xvfb gave no display in time')), START_MS);
    });
    xvfb.stdio[3].destroy();
    return { name: `:${number}`, stop: () => stopGroup(xvfb) };
  } catch (e) {
    await stopGroup(xvfb);
    throw e;
  } finally {
    clearTimeout(timer);
  }
}

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.once('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// A W3C WebDriver client over plain fetch: one call, its value, or the driver's error.
function webdriverClient(base) {
  return async function call(method, route, body) {
    const response = await fetch(base + route, {
      method,
      headers: body === undefined ? {} : { 'content-type': 'application/json; charset=utf-8' },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    const reply = await response.json();
    if (!response.ok || (reply.value && reply.value.error)) {
      const { error, message } = reply.value || {};
      throw new Error(`WebDriver ${method} ${route}: ${error || response.status}: ${message || ''}`);
    }
    return reply.value;
  };
}

// WebKitWebDriver on a free port. A port taken between the probe and the driver's bind shows
// as the driver ending at once, and another port is tried.
async function startDriver(display) {
  requireFile(DRIVER, 'WebKitWebDriver (Debian\'s webkit2gtk-driver)');
  requireFile(MINIBROWSER, 'MiniBrowser (Debian\'s libwebkit2gtk-4.0-37)');
  requireFile(XDOTOOL, 'xdotool (Debian\'s xdotool)');
  for (let attempt = 0; ; attempt++) {
    const port = await freePort();
    const output = [];
    const driver = startGroup(DRIVER, [`--port=${port}`, '--host=127.0.0.1'], {
      env: { ...process.env, DISPLAY: display },
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    driver.stdout.on('data', (chunk) => output.push(chunk));
    driver.stderr.on('data', (chunk) => output.push(chunk));
    let ended = false;
    driver.exited.then(() => {
      ended = true;
    });
    const call = webdriverClient(`http://127.0.0.1:${port}`);
    const deadline = Date.now() + START_MS;
    while (!ended && Date.now() < deadline) {
      try {
        const status = await call('GET', '/status');
        if (status.ready) return { call, stop: () => stopGroup(driver) };
      } catch (e) {
        // Not listening yet.
      }
      await sleep(20);
    }
    await stopGroup(driver);
    if (!ended || attempt === 2) {
      throw new Error(`WebKitWebDriver did not start: ${Buffer.concat(output).toString().trim()}`);
    }
  }
}

// One browser for a test file (or a benchmark's load): a display, the bundle's server, the
// driver and a session of MiniBrowser with the server as its proxy. `stop()` ends every process
// it started, whatever state they are in.
async function launchWebKit() {
  const parts = [];
  const stop = async () => {
    for (const part of parts.reverse()) await part();
    parts.length = 0;
  };
  try {
    const display = await startDisplay();
    parts.push(display.stop);
    const bundle = await startBundleServer();
    parts.push(() => bundle.close());
    const driver = await startDriver(display.name);
    parts.push(driver.stop);
    const session = await driver.call('POST', '/session', {
      capabilities: {
        alwaysMatch: {
          // Commands wait for no page load: the driver's own wait was seen to miss a load now and
          // then and hold the next command for its whole time-out, and it waits for ever on a
          // font request that never answers. The harness waits for what it needs itself.
          pageLoadStrategy: 'none',
          proxy: { proxyType: 'manual', httpProxy: bundle.proxy, sslProxy: bundle.proxy },
          timeouts: { script: SCRIPT_MS, pageLoad: START_MS, implicit: 0 },
          'webkitgtk:browserOptions': { binary: MINIBROWSER, args: ['--automation'] },
        },
      },
    });
    const route = `/session/${session.sessionId}`;
    // Closing the session closes the browser; the driver's group is stopped after it in any case.
    parts.push(() => driver.call('DELETE', route).catch(() => {}));
    const call = (method, tail, body) => driver.call(method, route + tail, body);
    const browser = { call, bundle, stop, display: display.name, version: session.capabilities.browserVersion };
    // The window's frame around the page: MiniBrowser's tool bar, above it.
    const outer = await call('GET', '/window/rect');
    const inner = await execute(browser, () => [innerWidth, innerHeight]);
    browser.frame = { width: outer.width - inner[0], height: outer.height - inner[1] };
    return browser;
  } catch (e) {
    await stop();
    throw e;
  }
}

// Runs `fn` (a function, its text sent) in the page with `args`, and returns its result.
function execute(browser, fn, ...args) {
  return browser.call('POST', '/execute/sync', { script: `return (${fn}).apply(null, arguments);`, args });
}

// Runs `fn` in the page and returns what the promise it returns resolves to.
async function executeAsync(browser, fn, ...args) {
  const script = `const done = arguments[arguments.length - 1];
    Promise.resolve().then(() => (${fn}).apply(null, Array.prototype.slice.call(arguments, 0, -1)))
      .then((value) => done({ value }), (e) => done({ error: String(e && e.stack || e) }));`;
  const result = await browser.call('POST', '/execute/async', { script, args });
  if (result.error) throw new Error(`in the page: ${result.error}`);
  return result.value;
}

// Asks the page until `fn` returns something true, and returns it. Asked afresh each time, so
// that a document replaced meanwhile (a navigation just committing) is no matter.
async function waitFor(browser, fn, ...args) {
  const deadline = Date.now() + WAIT_MS;
  let last = null;
  for (;;) {
    try {
      const value = await execute(browser, fn, ...args);
      if (value) return value;
      last = null;
    } catch (e) {
      last = e;
    }
    if (Date.now() > deadline) throw new Error(`the page did not come to ${fn}${last ? `: ${last.message}` : ''}`);
    await sleep(5);
  }
}

// Leaves the current document by `go` (a navigation) and waits for the next one's `ready`
// test. The old document is marked first, so that it is never taken for the new one.
async function navigate(browser, go, ready) {
  await execute(browser, () => {
    document.__left = true;
  });
  await go();
  await waitFor(browser, ready);
}

// Where an element's centre is painted, in the window's pixels, when it is the element there.
// WebKit gives an element's rectangle in its zoomed ancestors' own units, not the window's, so
// the zoom factors on the way up scale it.
function paintedCentre(selector) {
  const target = document.querySelector(selector);
  if (!target) return { error: `no element matches ${selector}` };
  let zoom = 1;
  for (let node = target; node; node = node.parentElement) zoom *= Number(getComputedStyle(node).zoom) || 1;
  const rect = target.getBoundingClientRect();
  const x = (rect.left + rect.width / 2) * zoom;
  const y = (rect.top + rect.height / 2) * zoom;
  const hit = document.elementFromPoint(x, y);
  if (!hit || !(hit === target || target.contains(hit))) return { error: `${selector} is not what shows at ${x}, ${y}` };
  return { x, y };
}

// A real click at a point of the page, in the window's pixels: the X server's pointer moves
// there and clicks, and the harness waits until the page has had the click.
function xdotool(browser, args) {
  return new Promise((resolve, reject) => {
    execFile(XDOTOOL, args, { env: { ...process.env, DISPLAY: browser.display } }, (error, stdout, stderr) => (
      error ? reject(new Error(`xdotool: ${stderr || error.message}`)) : resolve()));
  });
}

// A real click at a point of the page; `whilePressed`, when given, runs between the press and
// the release (a host message arriving under the user's finger).
async function clickAt(browser, { x, y }, whilePressed = null) {
  await execute(browser, () => {
    document.__clicked = false;
    document.__pressed = false;
    window.addEventListener('click', () => {
      document.__clicked = true;
    }, { capture: true, once: true });
    window.addEventListener('pointerdown', () => {
      document.__pressed = true;
    }, { capture: true, once: true });
  });
  const rect = await browser.call('GET', '/window/rect');
  const at = [rect.x + browser.frame.width + x, rect.y + browser.frame.height + y].map((v) => String(Math.round(v)));
  if (!whilePressed) {
    await xdotool(browser, ['mousemove', ...at, 'click', '1']);
  } else {
    await xdotool(browser, ['mousemove', ...at, 'mousedown', '1']);
    await waitFor(browser, () => document.__pressed);
    await whilePressed();
    await xdotool(browser, ['mouseup', '1']);
  }
  await waitFor(browser, () => document.__clicked);
}

// A real key press, from the X server like a click, to whatever has the keyboard focus; `key` is
// an X key name ("Return", "Down"). The harness waits until the page has had the key's release,
// unless `toPage` is false: a key for a pop-up the engine opened (a select's list) never reaches
// the page.
async function pressKey(browser, key, { toPage = true } = {}) {
  if (!toPage) {
    await xdotool(browser, ['key', key]);
    return;
  }
  await execute(browser, () => {
    document.__released = false;
    window.addEventListener('keyup', () => {
      document.__released = true;
    }, { capture: true, once: true });
  });
  await new Promise((resolve, reject) => {
    execFile(XDOTOOL, ['key', key], { env: { ...process.env, DISPLAY: browser.display } }, (error, stdout, stderr) => (
      error ? reject(new Error(`xdotool: ${stderr || error.message}`)) : resolve()));
  });
  await waitFor(browser, () => document.__released);
}

// Sizes the window so that the page gets exactly `width`×`height`, which the page learns a
// little after the window.
async function setViewport(browser, { width, height }) {
  await browser.call('POST', '/window/rect', { width: width + browser.frame.width, height: height + browser.frame.height });
  try {
    await waitFor(browser, (w, h) => innerWidth === w && innerHeight === h, width, height);
  } catch (e) {
    const got = await execute(browser, () => [innerWidth, innerHeight]);
    throw new Error(`the page is ${got.join('×')}, not ${width}×${height}`);
  }
}

// The page's errors, caught before any of its scripts runs.
function errorRecorder() {
  const errors = [];
  window.__pageErrors = errors;
  window.addEventListener('error', (event) => errors.push([event.message, event.error && event.error.stack].filter(Boolean).join('\n')));
  window.addEventListener('unhandledrejection', (event) => errors.push(`unhandled rejection: ${event.reason}`));
}

// The script the served index.html starts with: the error recorder, then the Chromium harness's
// init script (the fake bridge, its recorders and the storage options) with the settings given.
function consolePrelude({ bridge = true, storage, storageSeed } = {}) {
  // Written into a script element: no "<" may close it early.
  const settings = JSON.stringify({ bridge, storage, storageSeed: storageSeed || null }).replace(/</g, '\\u003c');
  return `(${errorRecorder})();(${initScript})(${settings});`;
}

let openings = 0;

// Opens the console, as the Chromium harness's openConsole does. Options: query (default
// "?host=duzezavure"), bridge (default true), viewport {width, height}, storage ("throws"),
// storageSeed {key: text}, hangFonts, files {flat name: text}, waitForReady. Each opening has
// an origin of its own, so no storage or cache is left from another. `refused` lists the
// addresses the page asked for outside the bundle.
async function openConsole(browser, options = {}) {
  const {
    query = '?host=duzezavure', bridge = true, viewport = { width: 1120, height: 860 }, storage, storageSeed,
    hangFonts = false, files = {}, waitForReady = bridge, ...rest
  } = options;
  const unsupported = Object.keys(rest);
  if (unsupported.length) throw new Error(`the WebKitGTK harness has no option ${unsupported.join(', ')}`);
  const { bundle } = browser;
  bundle.files = files;
  bundle.refused = [];
  // An https request through the proxy shows no address; the page's only ones are the fonts'.
  bundle.hold = (url) => hangFonts && (url === 'https:' || FONT_HOSTS.includes(new URL(url).hostname));
  bundle.prelude = consolePrelude({ bridge, storage, storageSeed });
  await setViewport(browser, viewport);
  openings += 1;
  const run = (fn, ...args) => execute(browser, fn, ...args);
  const arrived = waitForReady
    ? () => !document.__left && window.__rec.emits.some((e) => e.name === 'ready')
    : () => !document.__left && document.readyState !== 'loading';
  const page = {
    browser, run,
    runAsync: (fn, ...args) => executeAsync(browser, fn, ...args),
    waitFor: (fn, ...args) => waitFor(browser, fn, ...args),
    url: `http://c${process.pid}-${openings}.console.test/${query}`,
    refused: bundle.refused,
    load: () => navigate(browser, () => browser.call('POST', '/url', { url: page.url }), arrived),
    reload: () => navigate(browser, () => browser.call('POST', '/refresh', {}), arrived),
    errors: () => run(() => window.__pageErrors.slice()),
    emits: () => run(() => window.__rec.emits.map((e) => [e.name, e.payload])),
    emitTimes: () => run(() => window.__rec.emits.map((e) => [e.name, e.at])),
    registrations: () => run(() => window.__rec.registrations.slice()),
    canvasText: () => run(() => window.__rec.canvasText.slice()),
    hostSend: (name, payload) => run((n, p) => window.__hostSend(n, p), name, payload),
    setViewport: (size) => setViewport(browser, size),
    // A real click on the centre of the first element `selector` finds, which must show there.
    async click(selector, whilePressed = null) {
      const point = await run(paintedCentre, selector);
      if (point.error) throw new Error(point.error);
      await clickAt(browser, point, whilePressed);
    },
    clickAt: (point) => clickAt(browser, point),
    press: (key, options) => pressKey(browser, key, options),
    // The window's picture as PNG bytes.
    async screenshot(file) {
      const png = Buffer.from(await browser.call('GET', '/screenshot'), 'base64');
      if (file) fs.writeFileSync(file, png);
      return png;
    },
    // Lets the page's queued tasks and a frame run, so that nothing still pending is missed.
    settle: () => executeAsync(browser, () => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)))),
    // What must hold after every step of every test.
    async invariants() {
      const errors = await page.errors();
      if (errors.length) throw new Error(`page error: ${errors[0]}`);
      const overLit = await run(() => window.__rec.overLit.slice());
      if (overLit.length) throw new Error(`${overLit[0].length} controls were lit at once (${JSON.stringify(overLit[0])}); at most one may be`);
    },
    // Leaves the page, so that none of its timers runs on into the next opening.
    close: () => navigate(browser, () => browser.call('POST', '/url', { url: 'about:blank' }), () => !document.__left),
  };
  await page.load();
  await page.invariants();
  return page;
}

// One WebKitGTK session for a test file: started before its tests, stopped after them, with
// the Chromium harness's withConsole(options, body) over it.
function webkitForTests(test) {
  return browserForTests(test, { launch: launchWebKit, open: openConsole, close: (browser) => browser.stop() });
}

const SCREENSHOTS = path.join(ROOT, 'build', 'page-screenshots');

module.exports = {
  DRIVER, MINIBROWSER, SCREENSHOTS, consolePrelude, launchWebKit, openConsole, webkitForTests, execute, executeAsync, waitFor,
  seedDevices, seedMeter, seedLibrary, seedRestore,
};
