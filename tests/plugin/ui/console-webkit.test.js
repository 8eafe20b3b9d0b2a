'use strict';

// The console's main flows in WebKitGTK, the engine the host's web view embeds: the handshake,
// a restore, bypass, a hostile room name, the UI scale, the settings strip, the rooms rail and the
// routing panel. The Chromium tests cover the rest; what differs between the engines is mended in
// the page.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { layoutState } = require('./browser-harness.js');
const flows = require('./console-smoke-flows.js');
const { seedDevices, seedMeter, seedRestore, webkitForTests, SCREENSHOTS } = require('./webkit-harness.js');
const { photograph, assertThemed } = require('./photograph.js');

const withConsole = webkitForTests(test);

test('under the host the page listens to its four events in order and says only "ready"', () => flows.handshake(withConsole, async (page) => {
  // The page's only https addresses are the font service's.
  assert.ok(page.refused.includes('https:'), 'the font sheet is refused, not fetched');
}));

test('a restore shows the room and sends nothing back', async () => {
  await withConsole({}, async (page) => {
    await flows.restoreShowsTheRoom(page);
    await page.settle();
    assert.deepEqual(await page.emits(), [['ready', {}]]);
  });
});

test('a click on Bypass sends one state and repaints the button, the tint and the read-out', () => flows.bypass(withConsole));

test('a room name from outside shows as text and never as markup', () => flows.hostileName(withConsole));

test('the zoomed shell fills the window at every scale, and fit follows a resize', async () => {
  const cases = [
    { key: 'fit', width: 560, height: 860, ui: '0.75' },
    { key: '1', width: 1120, height: 860, ui: '1' },
    { key: '1.25', width: 1120, height: 860, ui: '1.25' },
    { key: '1.75', width: 1600, height: 1000, ui: '1.75' },
  ];
  const look = (page) => page.run(() => {
    const root = document.documentElement;
    const bottom = document.elementFromPoint(innerWidth / 2, innerHeight - 1);
    return {
      ui: root.style.getPropertyValue('--ui'), scrollW: root.scrollWidth, scrollH: root.scrollHeight,
      bottomRowInShell: Boolean(bottom && bottom.closest('.shell')),
    };
  });
  for (const { key, width, height, ui } of cases) {
    await withConsole({ viewport: { width, height }, storageSeed: { 'brindle.plugin.ui.v1': key } }, async (page) => {
      assert.deepEqual(await look(page), { ui, scrollW: width, scrollH: height, bottomRowInShell: true }, `scale ${key} at ${width}×${height}`);
      if (key !== 'fit') return;
      await page.setViewport({ width: 1120, height: 860 });
      await page.waitFor(() => document.documentElement.style.getPropertyValue('--ui') === '1');
    });
  }
});

test('routing: Enter on the lit setup card asks for the download page; an arrow key on a closed select changes the route and keeps focus, and Enter applies it', async () => {
  const noSource = seedDevices({
    loopbackInputs: [], selected: { ...seedDevices().selected, inputDevice: '' }, status: { running: false },
  });
  const focused = (page) => page.run(() => document.activeElement.dataset.key || null);
  await withConsole({}, async (page) => {
    // With no stream the Routing cell opens by itself, and stays open.
    await page.hostSend('devices', noSource);
    await page.settle();
    await page.click('.routestat');
    await page.press('Return');
    await page.settle();
    const [, shell] = (await page.emits())[1];
    assert.deepEqual(Object.keys(shell).sort(), ['action', 'url']);
    assert.equal(shell.action, 'openurl');
    assert.match(shell.url, /^https:\/\/[^/]+\/Cable\/$/);

    await page.hostSend('restore', seedRestore());
    await page.hostSend('devices', seedDevices());
    await page.run(() => document.querySelector('[data-key="route:bufferSize"]').focus());
    await page.press('Down');
    await page.settle();
    assert.equal(await focused(page), 'route:bufferSize', 'focus is on the rebuilt select');
    assert.deepEqual(await page.run(() => [
      document.querySelector('[data-key="route:bufferSize"]').value,
      document.querySelector('.lit [data-key="route:apply"]').textContent,
    ]), ['512', 'Apply this routing \u2192']);
    await page.run(() => document.activeElement.blur());
    await page.press('Return');
    await page.settle();
    const routes = await page.run(() => window.__rec.emits.filter((e) => e.name === 'route').map((e) => JSON.stringify(e.payload)));
    assert.deepEqual(routes, ['{"deviceType":"ALSA","inputDevice":"Loopback Cable","outputDevice":"Speakers","sampleRate":48000,"bufferSize":512,"queueMs":30}']);
  });
});

test('the setup card makes the stage scroll: the plot keeps its 180 px and nothing runs over it', async () => {
  const noSource = seedDevices({
    loopbackInputs: [], selected: { ...seedDevices().selected, inputDevice: '' }, status: { running: false },
  });
  await withConsole({}, async (page) => {
    await page.hostSend('devices', noSource);
    await page.settle();
    const got = await page.run(layoutState);
    assert.deepEqual(got, {
      canvas: 180, canvasMin: 180, overlapping: [], stageScrolls: true, panelShown: true, documentScroll: 0,
    });
  });
});

test('the restored console is photographed in WebKitGTK at 1120 and 560 px', async () => {
  fs.mkdirSync(SCREENSHOTS, { recursive: true });
  for (const width of [1120, 560]) {
    await withConsole({ viewport: { width, height: 860 } }, async (page) => {
      await page.hostSend('restore', seedRestore());
      await page.settle();
      const shot = await photograph(page, path.join(SCREENSHOTS, `console-webkit-${width}.png`));
      assert.equal(shot.picture.width, width, 'the picture is the page at its width');
      assertThemed(shot, `${width} px`);
    });
  }
});

test('the strip opens a panel, a segment sends one state, and the cell and the rule follow', async () => {
  const strip = (page) => page.run(() => {
    const on = document.querySelector('.scell.on');
    const phase = document.querySelector('[data-key="cell:phase"]');
    const bar = document.querySelector('.stripbar');
    return {
      open: on ? on.dataset.key : null,
      phase: [phase.querySelector('v b').textContent, phase.querySelector('v u').textContent, phase.classList.contains('warn')],
      warning: (document.querySelector('.warnbox:not([hidden])') || {}).textContent || null,
      rule: on ? [Math.round(bar.getBoundingClientRect().left - on.getBoundingClientRect().left), Math.round(bar.getBoundingClientRect().width - on.getBoundingClientRect().width)] : null,
    };
  });
  const ruleSettled = () => document.querySelector('.stripbar').getAnimations().length === 0;
  await withConsole({}, async (page) => {
    await page.hostSend('devices', seedDevices());
    await page.hostSend('restore', seedRestore());
    await page.settle();
    await page.waitFor(ruleSettled);
    assert.deepEqual(await strip(page), { open: 'cell:amount', phase: ['Minimum', '0.31 ms', false], warning: null, rule: [0, 0] });
    await page.click('[data-key="cell:phase"]');
    await page.click('[data-key="seg:phase:linear"]');
    await page.settle();
    await page.waitFor(ruleSettled);
    assert.deepEqual(await strip(page), {
      open: 'cell:phase', phase: ['Linear', '192 ms', true], warning: '192 ms will put video, games and calls out of sync.', rule: [0, 0],
    });
    assert.deepEqual((await page.emits()).map(([name]) => name), ['ready', 'state']);
    fs.mkdirSync(SCREENSHOTS, { recursive: true });
    await page.screenshot(path.join(SCREENSHOTS, 'strip-webkit-phase.png'));
    await page.click('[data-key="panel:hide"]');
    assert.deepEqual((await strip(page)).open, null);
  });
});

test('a strip cell whose figures a "meter" repaints while it is pressed still opens on the release', async () => {
  // The press lands on the Routing cell's figure, and the meter rewrites it before the release: the
  // click must still arrive (WebKit drops it when the pressed text has left the document). Phase
  // is opened between the two Routing presses, so that the second one has a panel to open.
  await withConsole({}, async (page) => {
    await page.hostSend('devices', seedDevices());
    await page.settle();
    for (const [latencyMs, cell, figure] of [[13.7, 'routing', 'b'], [9.9, 'phase', 'b'], [14.2, 'routing', 'u']]) {
      await page.click(`[data-key="cell:${cell}"] v ${figure}`, () => page.hostSend('meter', seedMeter({ latencyMs })));
      await page.settle();
      assert.equal(await page.run(() => document.querySelector('.scell.on').dataset.key), `cell:${cell}`, `${cell} ${figure}`);
      if (cell === 'routing') assert.equal(await page.run(() => document.querySelector('[data-key="cell:routing"] v u').textContent), `${latencyMs} ms`);
    }
  });
});

test('the rail loads the demo room by a real click, and a dropped file is read, or kept out with its reason', async () => {
  const rail = (page) => page.run(() => ({
    room: [...document.querySelectorAll('.room.on .roomname, .room.on .roompct')].map((n) => n.textContent),
    foot: document.querySelector('.conrailrule + .conrailfoot').innerText.replace('\n', ' / '),
    warn: (document.querySelector('.conrail .warnbox') || {}).textContent || null,
    veils: document.querySelectorAll('.dropveil').length,
  }));
  // A file dropped on the plot, as the window's drag and drop hands it over.
  const drop = (page, name, text) => page.runAsync((n, t) => new Promise((resolve) => {
    const data = new DataTransfer();
    data.items.add(new File([t], n, { type: 'application/json' }));
    const target = document.querySelector('.plotwrap canvas');
    target.dispatchEvent(new DragEvent('dragenter', { bubbles: true, cancelable: true, dataTransfer: data }));
    const veils = document.querySelectorAll('.dropveil').length;
    const old = document.querySelector('.win');
    target.dispatchEvent(new DragEvent('drop', { bubbles: true, cancelable: true, dataTransfer: data }));
    const wait = () => (document.querySelector('.win') !== old ? resolve(veils) : setTimeout(wait, 10));
    wait();
  }), name, text);
  await withConsole({}, async (page) => {
    await page.hostSend('devices', seedDevices());
    await page.settle();
    await page.click('[data-key="rail:demo"]');
    await page.settle();
    const sent = (await page.emits()).filter(([name]) => name === 'state');
    assert.equal(sent.length, 1);
    assert.match(sent[0][1], /"profileName":"Demo room — small rectangular, suspended floor","profileAt":"[^"]+","bypass":false,"correctionPct":65,/);
    assert.deepEqual(await rail(page), {
      room: ['Demo room — small rectangular, suspended floor', '65%'], foot: '11 filters fitted / 11 in force at 65%', warn: null, veils: 0,
    });
    assert.equal(await drop(page, 'notes.json', 'not json'), 1, 'the veil shows while the file is over the window');
    assert.deepEqual(await rail(page), {
      room: ['Demo room — small rectangular, suspended floor', '65%'], foot: '11 filters fitted / 11 in force at 65%',
      warn: 'That file is not valid JSON.', veils: 0,
    });
    await drop(page, 'room-a.JSON', JSON.stringify({ match: [{ freqHz: 45, lowHz: 42.4, highHz: 47.7, q: 5.2, boostDbL: 8.5, boostDbR: 8.5 }] }));
    assert.deepEqual(await rail(page), { room: ['room-a', '65%'], foot: '1 filter fitted / 1 in force at 65%', warn: null, veils: 0 });
    assert.equal((await page.emits()).filter(([name]) => name === 'state').length, 2);
  });
});
