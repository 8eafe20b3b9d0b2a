'use strict';

// Loads the page's scripts the way the page does: one shared global object, no require and no
// module, in the order index.html gives.
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const ROOT = path.join(__dirname, '..', '..', '..');
const INDEX = path.join(ROOT, 'plugin', 'ui', 'index.html');
const WHERE = {
  'biquad.js': 'ui/js', 'iso226.js': 'ui/js', 'protocol.js': 'ui/js', 'arrival.js': 'ui/js',
  'eq-fit.js': 'ui/js', 'fabfilter-ffp.js': 'ui/js', 'profile.js': 'ui/js', 'demo-profile.js': 'plugin/ui',
  'runtime.js': 'plugin/ui', 'plugin.js': 'plugin/ui',
};

// The page's own order, as its document loads them.
function scriptOrder() {
  const html = fs.readFileSync(INDEX, 'utf8');
  const names = [...html.matchAll(/<script\b[^>]*\bsrc="([^"?]+)/g)].map((m) => path.basename(m[1]));
  return names.filter((name) => name in WHERE);
}

// The scripts of the page's order up to and including `last`.
function scriptsThrough(last) {
  const order = scriptOrder();
  return order.slice(0, order.indexOf(last) + 1);
}

// `globals` are what the browser would have put there first (a host's bridge, the address).
function loadPage(order, globals = {}) {
  const context = vm.createContext({ ...globals });
  context.window = context;
  for (const name of order) {
    const file = path.join(WHERE[name], name);
    vm.runInContext(fs.readFileSync(path.join(ROOT, file), 'utf8'), context, { filename: file });
  }
  return context;
}

module.exports = { ROOT, INDEX, WHERE, scriptOrder, scriptsThrough, loadPage };
