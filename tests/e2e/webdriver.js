'use strict';

// A small W3C WebDriver client for Debian's WebKitWebDriver attached to the application's own web
// view (WebKitWebDriver --target=127.0.0.1:PORT, the application started with
// DUZEZAVURE_TEST_AUTOMATION=127.0.0.1:PORT): it finds elements and their rectangles, reads the
// page and takes the view's snapshots. Input goes through the X server instead (x11.js), as a
// user's would.
const fs = require('node:fs');
const { spawn } = require('node:child_process');

const DRIVER = '/usr/bin/WebKitWebDriver';
const ELEMENT = 'element-6066-11e4-a52e-4f735466cecf';

class WebDriverError extends Error {}

const NUDGE = `
  let pixel = document.getElementById('e2e-render-nudge');
  if (!pixel) {
    pixel = document.createElement('div');
    pixel.id = 'e2e-render-nudge';
    pixel.style.cssText = 'position:fixed;left:0;top:0;width:1px;height:1px;opacity:0.01;pointer-events:none';
    document.body.append(pixel);
  }
  pixel.style.left = pixel.style.left === '0px' ? '1px' : '0px';`;

async function request(base, method, path, body) {
  const response = await fetch(base + path, {
    method,
    signal: AbortSignal.timeout(30000),
    headers: { 'content-type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  const answer = await response.json();
  if (!response.ok || (answer.value && answer.value.error)) {
    const value = answer.value || {};
    throw new WebDriverError(`${method} ${path}: ${value.error || response.status}: ${value.message || ''}`);
  }
  return answer.value;
}

async function pollUntil(what, timeoutMs, probe) {
  const deadline = Date.now() + timeoutMs;
  let last;
  for (;;) {
    try {
      const value = await probe();
      if (value) return value;
      last = null;
    } catch (e) {
      last = e;
    }
    if (Date.now() > deadline) throw new Error(`${what}: not within ${timeoutMs / 1000} s${last ? ` (${last.message})` : ''}`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

class Session {
  constructor(base, id) {
    this.base = base;
    this.path = `/session/${id}`;
  }

  command(method, path, body) {
    return request(this.base, method, this.path + path, body);
  }

  url() {
    return this.command('GET', '/url');
  }

  // The script runs as the body of a function in the page, with `args` as its arguments.
  execute(script, args = []) {
    return this.command('POST', '/execute/sync', { script, args });
  }

  async find(selector) {
    const found = await this.command('POST', '/element', { using: 'css selector', value: selector });
    return found[ELEMENT];
  }

  // The element's rectangle in the page's CSS pixels, from the view's top left corner.
  async rectOf(selector) {
    const rect = await this.execute(
      `const el = document.querySelector(arguments[0]);
       if (!el) return null;
       el.scrollIntoView({ block: 'nearest', inline: 'nearest' });
       const r = el.getBoundingClientRect();
       return { x: r.x, y: r.y, width: r.width, height: r.height };`,
      [selector]);
    if (!rect) throw new Error(`no element matches ${selector}`);
    return rect;
  }

  text(selector) {
    return this.execute('const el = document.querySelector(arguments[0]); return el ? el.textContent : null;', [selector]);
  }

  // The view's snapshot. The web engine takes it at its next rendering update, which a page that
  // is not changing may not have for seconds: until it comes, an invisible pixel is moved now
  // and then, so that there is one.
  async screenshot(file) {
    const taken = this.command('GET', '/screenshot');
    let done = false;
    taken.finally(() => { done = true; }).catch(() => {});
    while (!done) {
      await Promise.race([taken.catch(() => {}), new Promise((resolve) => setTimeout(resolve, 100))]);
      if (!done) await this.execute(NUDGE).catch(() => {});
    }
    fs.writeFileSync(file, Buffer.from(await taken, 'base64'));
  }
}

// Starts the driver against the application's inspector address and opens a session on its view,
// retrying until the application listens (it starts its inspector with its web view).
async function attach({ target, port, processes, timeoutMs = 30000 }) {
  if (!fs.existsSync(DRIVER)) {
    throw new Error(`${DRIVER} is missing: the end-to-end run needs Debian's webkit2gtk-driver (tools/setup installs it)`);
  }
  const driver = processes.add(spawn(DRIVER, [`--target=${target}`, `--port=${port}`], { stdio: 'ignore' }), 'WebKitWebDriver');
  const base = `http://127.0.0.1:${port}`;
  await pollUntil('WebKitWebDriver answering', timeoutMs, () => request(base, 'GET', '/status').then(() => true));
  // A session asked for while the application's context is up but before its view is, has no
  // browsing context: it is given up and asked for again.
  const session = await pollUntil('a session on the application\'s view', timeoutMs, async () => {
    // Commands do not wait for the page's load to end: without a network the web-font sheet never
    // answers, so the load never ends, and the console works all the same.
    const created = await request(base, 'POST', '/session', { capabilities: { alwaysMatch: { pageLoadStrategy: 'none' } } });
    const opened = new Session(base, created.sessionId);
    try {
      await opened.url();
      return opened;
    } catch (e) {
      await request(base, 'DELETE', `/session/${created.sessionId}`).catch(() => {});
      throw e;
    }
  });
  return { driver, session };
}

module.exports = { attach, pollUntil, WebDriverError };
