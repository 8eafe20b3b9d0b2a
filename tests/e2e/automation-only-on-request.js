#!/usr/bin/env node
'use strict';

// The automation door of the application's web view opens only when a test asks for it with
// DUZEZAVURE_TEST_AUTOMATION: a normal start listens on no port and lets no WebDriver in, even
// with the web engine's own inspector variables in its environment; an address that is not a
// loopback one opens nothing; the test's own request opens exactly the port it names.
//
//   node tests/e2e/automation-only-on-request.js APPLICATION ARTIFACTS
//
// Under a display of its own (tests/e2e/run.sh).
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');

const { Home, startApplication } = require('./application.js');
const { Processes, exitWithin, freePort, listening, listeningPorts } = require('./processes.js');
const { attach, pollUntil } = require('./webdriver.js');
const x11 = require('./x11.js');

const [APP, ARTIFACTS] = process.argv.slice(2).map((arg) => arg && path.resolve(arg));
if (!APP || !ARTIFACTS) {
  console.error('usage: automation-only-on-request.js APPLICATION ARTIFACTS');
  process.exit(2);
}

const processes = new Processes();
const log = path.join(ARTIFACTS, 'application.log');

// The process's children, each with its name as the kernel gives it.
function children(pid) {
  const found = [];
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const name = stat.slice(stat.indexOf('(') + 1, stat.lastIndexOf(')'));
      const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (parent === pid) found.push({ pid: Number(entry), name });
    } catch (e) {
      // Gone meanwhile.
    }
  }
  return found;
}

// The processes under the application by name, at any depth: the web engine runs in its
// helper, whose children are the web engine's own processes.
function descendantsNamed(pid, prefix) {
  return children(pid).flatMap((child) => [...(child.name.startsWith(prefix) ? [child.pid] : []),
                                           ...descendantsNamed(child.pid, prefix)]);
}

// Started, its console shown and its web engine running: an inspector server, had one been
// asked for, starts with the web engine's context, before the engine starts its web process.
async function startAndWait(name, env) {
  const home = new Home(path.join(ARTIFACTS, name.replace(/\W+/g, '-')));
  const app = startApplication({ app: APP, processes, log, name, home, ...env });
  await pollUntil(`${name}: its console shown`, 30000, () => {
    const id = x11.consoleWindow(app.pid);
    return id && x11.isShown(app.pid, id);
  });
  await pollUntil(`${name}: its web process`, 30000, () => descendantsNamed(app.pid, 'WebKitWebProces').length > 0);
  return app;
}

async function quit(app) {
  app.kill('SIGTERM');
  const { code, signal } = await exitWithin(app, 60000);
  assert.equal(signal, null);
  assert.equal(code, 0, `${app.label} quit with exit status ${code}`);
}

// The ports the application, its web view's helper and the web engine's processes listen on. A
// driver reaches the view only through one of these: with none, there is no way in.
function portsOfTheApplication(pid) {
  return [pid, ...descendantsNamed(pid, 'DuzezavureWebVi'), ...descendantsNamed(pid, 'WebKit')].flatMap(listeningPorts);
}

async function main() {
  fs.rmSync(ARTIFACTS, { recursive: true, force: true });
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  const started = Date.now();

  // A normal start, with the web engine's inspector variables inherited from somewhere.
  const inspector = await freePort();
  const httpInspector = await freePort();
  let app = await startAndWait('a normal start', {
    extra: { WEBKIT_INSPECTOR_SERVER: `127.0.0.1:${inspector}`, WEBKIT_INSPECTOR_HTTP_SERVER: `127.0.0.1:${httpInspector}` },
  });
  assert.deepEqual(portsOfTheApplication(app.pid), [], 'a normal start listens on no port');
  assert.equal(await listening(inspector), false);
  assert.equal(await listening(httpInspector), false);
  await quit(app);

  // An address another machine could reach opens nothing, and the application says why.
  const wide = await freePort();
  app = await startAndWait('a request for every interface', { extra: { DUZEZAVURE_TEST_AUTOMATION: `0.0.0.0:${wide}` } });
  assert.deepEqual(portsOfTheApplication(app.pid), []);
  assert.equal(await listening(wide), false);
  await quit(app);
  assert.match(fs.readFileSync(log, 'utf8'), /DUZEZAVURE_TEST_AUTOMATION is not a loopback address with a port/);

  // The test's request: that port, and a driver gets the console.
  const asked = await freePort();
  app = await startAndWait('a test\'s start', { automationPort: asked });
  assert.deepEqual(portsOfTheApplication(app.pid), [asked], 'the requested port, and no other');
  const { driver, session } = await attach({ target: `127.0.0.1:${asked}`, port: await freePort(), processes });
  await pollUntil('the console in the driven view', 20000, async () => (await session.url()).startsWith('duzezavure://console/'));
  driver.kill();
  await quit(app);

  console.log(`the automation door opened only on request (${((Date.now() - started) / 1000).toFixed(1)} s)`);
}

main()
  .then(() => processes.killAll())
  .catch((error) => {
    console.error(error && error.stack ? error.stack : error);
    processes.killAll();
    process.exitCode = 1;
  });
