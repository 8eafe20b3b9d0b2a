'use strict';

// The console script with the window's parts swapped for probes. The core (state flow, render,
// the host's events, the beacon rule, holds and focus) runs unchanged; the probes stand where the
// rail, the plot and the strip are, build keyed controls like theirs, and report the module
// state those parts read, so the core's rules are tested apart from any one part. Served in place of plugin.js through the harness's `files` option.
const fs = require('node:fs');
const path = require('node:path');
const { ROOT } = require('./page-loader.js');

const SOURCE = fs.readFileSync(path.join(ROOT, 'plugin/ui/plugin.js'), 'utf8');

// Replaces each named function of the script's top level (two spaces in) with the given text.
function pluginWith(functions) {
  let text = SOURCE;
  for (const [name, replacement] of Object.entries(functions)) {
    const start = text.indexOf(`\n  function ${name}(`);
    if (start < 0) throw new Error(`plugin.js has no top-level function ${name}`);
    // A function ends at the first line that closes it two spaces in, or on its own line.
    const firstLine = text.slice(start + 1, text.indexOf('\n', start + 1));
    const end = firstLine.endsWith('}') ? start + 1 + firstLine.length : text.indexOf('\n  }\n', start) + 4;
    text = text.slice(0, start + 1) + replacement.replace(/^\n+|\s+$/g, '') + text.slice(end);
  }
  return text;
}

// window.__probe: renders, meter hook runs, draws of the plot, presses of the rail's load button;
// read() gives the module state; setPending(route) plays the routing panel choosing a route;
// holdOn(key) plays a part holding renders for its own gesture on the control with that key.
// Set before a render: disableLoad (the rail's button is disabled), throwingHook (a meter hook
// that throws is registered before the counting one).
const PROBES = {
  loadProfileFile: `
  function probe() {
    if (!root.__probe) root.__probe = { renders: 0, hooks: 0, draws: [], loads: 0, disableLoad: false, throwingHook: false };
    return root.__probe;
  }

  function loadProfileFile() {}`,

  railPanel: `
  function railPanel() {
    const load = el('button', {
      type: 'button', 'data-key': 'rail:load', disabled: probe().disableLoad,
      onclick: () => { probe().loads += 1; },
    }, 'Load a room profile');
    railLoad = beacon(load, { block: true });
    return { el: el('div', { class: 'conrail' }, [railLoad]) };
  }`,

  eqPlot: `
  function eqPlot() {
    const surface = plate((ctx, width, height) => probe().draws.push({ at: root.performance.now(), width, height }));
    return { el: surface.el, start: surface.start, stop: surface.stop, selected: () => null, select() {} };
  }`,

  settingsStrip: `
  function settingsStrip() {
    const p = probe();
    p.renders += 1;
    p.read = () => JSON.parse(JSON.stringify({ devices, pendingRoute, meter, libraryNames, holds: holds.size }));
    p.setPending = (route) => { pendingRoute = route; };
    p.holdOn = (key) => holdRenders(keyed(doc.getElementById('app'), key));
    if (p.throwingHook) meterHooks.push(() => { throw new Error('hook failed'); });
    meterHooks.push(() => { p.hooks += 1; });
    return {
      el: el('div', { class: 'strip' }, [
        el('button', { type: 'button', 'data-key': 'cell:amount' }, 'Amount'),
        el('button', { type: 'button', 'data-key': 'cell:delay' }, 'Delay'),
        el('input', { type: 'number', 'data-key': 'field:pct', value: '65' }),
        el('span', { role: 'slider', tabindex: '0', 'data-key': 'knob:freq', 'aria-valuenow': '100' }, 'knob'),
        el('span', { tabindex: '0', 'data-key': 'own:control' }, 'own'),
        el('button', { type: 'button' }, 'Unkeyed'),
      ]),
    };
  }`,
};

const PROBED_PLUGIN = pluginWith(PROBES);

module.exports = { pluginWith, PROBES, PROBED_PLUGIN };
