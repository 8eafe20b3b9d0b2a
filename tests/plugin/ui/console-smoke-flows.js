'use strict';

// The console's main flows, written once for both engines: Chromium (browser-harness.js) and
// WebKitGTK, the host's own (webkit-harness.js). A flow takes the harness's withConsole and uses
// only the calls both consoles make (hostSend, emits, registrations, settle, run, click).
const assert = require('node:assert/strict');
const { chromeState, seedRestore } = require('./browser-harness.js');

const chrome = (page) => page.run(chromeState);

// Under the host the page listens to its four events in order and says only "ready"; a bridge
// without the host's query hears "restore" only.
async function handshake(withConsole, more = async () => {}) {
  await withConsole({}, async (page) => {
    await page.settle();
    assert.deepEqual(await page.registrations(), ['restore', 'devices', 'meter', 'library']);
    assert.deepEqual(await page.emits(), [['ready', {}]]);
    await more(page);
  });
  await withConsole({ query: '' }, async (page) => {
    await page.settle();
    assert.deepEqual(await page.registrations(), ['restore'], 'a bridge without the host query hears restore only');
    assert.deepEqual(await page.emits(), [['ready', {}]]);
  });
}

// A restore shows the room and sends nothing back.
async function restoreShowsTheRoom(page) {
  await page.hostSend('restore', seedRestore());
  const c = await chrome(page);
  assert.equal(c.name, 'Living room');
  assert.equal(c.h1, 'Living room');
  assert.match(c.readout, /^−\d+\.\d dB <u>biggest move · 7 filters<\/u>$/);
}

// A click on Bypass sends exactly one "state", with the bypass on, and repaints the button, the
// tint and the read-out.
async function bypass(withConsole) {
  await withConsole({}, async (page) => {
    await page.hostSend('restore', seedRestore());
    await page.click('#bypassBtn');
    const emits = await page.emits();
    assert.equal(emits.length, 2);
    assert.equal(emits[1][0], 'state');
    assert.equal(typeof emits[1][1], 'string');
    assert.match(emits[1][1], /"bypass":true/);
    const c = await chrome(page);
    assert.deepEqual([c.bypass, c.pressed, c.tinted, c.readout], ['Bypassed', 'true', true, '<b>Bypassed</b>']);
  });
}

// A room name from outside shows literally in the top bar and the heading, and never runs.
async function hostileName(withConsole) {
  const name = '<img src=x onerror="window.__xss=1">';
  await withConsole({}, async (page) => {
    await page.hostSend('restore', seedRestore({ profileName: name }));
    await page.settle();
    const c = await chrome(page);
    assert.equal(c.name, name);
    assert.equal(c.h1, name);
    assert.equal(await page.run(() => document.querySelectorAll('img').length), 0);
    assert.equal(await page.run(() => typeof window.__xss), 'undefined');
  });
}

module.exports = { chrome, handshake, restoreShowsTheRoom, bypass, hostileName };
