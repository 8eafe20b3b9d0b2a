#!/usr/bin/env node
/*
 * How long the console page takes to boot: from the start of its navigation to the "ready" the
 * fake bridge stamps, as the median of cold loads (a fresh browser context each, so nothing is
 * cached) of the bundle from a local HTTP server, with plugin.js's own share (from the end of
 * its response to "ready"). In headless Chromium, where the goal is measured, and in WebKitGTK,
 * the host's engine. The font service is refused at once, as on a machine without a network.
 * Prints figures; not a test.
 *
 *   node bench/console-boot.js
 */
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const { launchBrowser } = require('../tests/plugin/ui/browser-harness.js');
const { startBundleServer } = require('../tests/plugin/ui/bundle-server.js');
const { consolePrelude, launchWebKit, openConsole } = require('../tests/plugin/ui/webkit-harness.js');

const LOADS = 5;
const GOAL_MS = 100;
const VIEWPORT = { width: 1120, height: 860 };

// In the page once it is ready: "ready" and plugin.js's response end, both from navigation start.
function bootTimes() {
  const ready = window.__rec.emits.find((e) => e.name === 'ready');
  const script = performance.getEntriesByType('resource').find((e) => new URL(e.name).pathname === '/plugin.js');
  return { readyMs: ready.at, pluginEndMs: script ? script.responseEnd : NaN };
}

function median(values) {
  const sorted = values.slice().sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

async function chromiumLoads(files = {}) {
  const bundle = await startBundleServer();
  bundle.prelude = consolePrelude();
  bundle.files = files;
  const browser = await launchBrowser({ proxy: { server: `http://${bundle.proxy}` } });
  try {
    const loads = [];
    for (let i = 0; i < LOADS; i++) {
      const context = await browser.newContext({ viewport: VIEWPORT });
      try {
        const page = await context.newPage();
        await page.goto(`http://boot${i}.console.test/?host=duzezavure`, { waitUntil: 'domcontentloaded' });
        await page.waitForFunction(() => window.__rec.emits.some((e) => e.name === 'ready'));
        loads.push(await page.evaluate(bootTimes));
      } finally {
        await context.close();
      }
    }
    return { engine: `Chromium ${browser.version()}`, loads };
  } finally {
    await browser.close();
    await bundle.close();
  }
}

// A browser of its own for every load: WebKit keeps a session's cache, however many origins.
async function webkitLoads() {
  const loads = [];
  let version = '';
  for (let i = 0; i < LOADS; i++) {
    const browser = await launchWebKit();
    try {
      version = browser.version;
      const page = await openConsole(browser, { viewport: VIEWPORT });
      loads.push(await page.run(bootTimes));
    } finally {
      await browser.stop();
    }
  }
  return { engine: `WebKitGTK ${version}`, loads };
}

function report({ engine, loads }) {
  const ready = median(loads.map((l) => l.readyMs));
  const share = median(loads.map((l) => l.readyMs - l.pluginEndMs));
  const loading = median(loads.map((l) => l.pluginEndMs));
  const each = loads.map((l) => l.readyMs.toFixed(1)).join(', ');
  const verdict = ready <= GOAL_MS ? 'met' : 'not met';
  console.log(`${engine}: boot median ${ready.toFixed(1)} ms (loads ${each}), goal <= ${GOAL_MS} ms: ${verdict}`);
  console.log(`  plugin.js share (its response end to "ready") ${share.toFixed(1)} ms; loading to that response end ${loading.toFixed(1)} ms`);
}

// plugin.js replaced by one of the same size that only says "ready": what loading the bundle and
// running the other scripts take on this machine, which the page's own work comes on top of.
function standInPlugin() {
  const size = fs.statSync(path.join(__dirname, '..', 'plugin', 'ui', 'plugin.js')).size;
  const line = 'window.BrindleRuntime.announceReady();\n';
  return `${line}/*${' '.repeat(Math.max(0, size - line.length - 4))}*/`;
}

async function main() {
  console.log(`console boot, navigation start to "ready", median of ${LOADS} cold loads`);
  const real = await chromiumLoads();
  report(real);
  const floor = await chromiumLoads({ 'plugin.js': standInPlugin() });
  const floorMs = median(floor.loads.map((l) => l.readyMs));
  const realMs = median(real.loads.map((l) => l.readyMs));
  console.log(`  with a stand-in plugin.js of the same size that only says "ready": ${floorMs.toFixed(1)} ms, `
    + `so the console's own boot adds ${(realMs - floorMs).toFixed(1)} ms`);
  report(await webkitLoads());
}

main().catch((e) => {
  console.error(e);
  process.exitCode = 1;
});
