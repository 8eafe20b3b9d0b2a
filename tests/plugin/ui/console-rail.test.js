'use strict';

// The rooms rail and profile loading in a real browser: the demo room, files from the picker and
// dropped on the window, the host's library and the measuring application's stored rooms, reset
// and unload, the beacon and Enter, the drop veil, names shown as text, and the rail's layout.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { ROOT, seedDevices, seedLibrary, browserForTests } = require('./browser-harness.js');
const { photograph, assertThemed } = require('./photograph.js');
const Profile = require('../../../ui/js/profile.js');
const Demo = require('../../../plugin/ui/demo-profile.js');

const withConsole = browserForTests(test);

const DEMO_NAME = 'Demo room — small rectangular, suspended floor';
const UNREADABLE = 'That file could not be read.';
const NOT_JSON = 'That file is not valid JSON.';
const NO_ROOMS = 'No other rooms yet. Export a map as JSON from the measuring app and drop it on this window.';
const MARKUP = '<img src=x onerror="window.__markup=1">';
const MiB = 1024 * 1024;

// A room profile as the measuring application exports it: the demo's first `matches` room modes,
// with the given name (none when undefined).
function roomExport(name, matches = 2) {
  const room = { match: JSON.parse(JSON.stringify(Demo.match.slice(0, matches))) };
  if (name !== undefined) room.name = name;
  return room;
}
const roomText = (name, matches) => JSON.stringify(roomExport(name, matches));
const bandsIn = (text) => Profile.readProfile(text).profile.bands.length;
const jsonFile = (name, text) => ({ name, mimeType: 'application/json', buffer: Buffer.from(text) });

// A 17 MiB file on disk (sparse, so it costs nothing), handed to the picker by its path.
function bigFile() {
  const file = path.join(os.tmpdir(), `console-rail-${process.pid}-film.json`);
  if (!fs.existsSync(file)) {
    fs.writeFileSync(file, '');
    fs.truncateSync(file, 17 * MiB);
    process.on('exit', () => fs.rmSync(file, { force: true }));
  }
  return file;
}

// What the rail shows, in order.
const railView = (page) => page.page.evaluate(() => {
  const rail = document.querySelector('.conrail');
  const entry = (node) => ({
    name: node.querySelector('.roomname').textContent,
    pct: node.querySelector('.roompct') ? node.querySelector('.roompct').textContent : null,
    out: node.querySelector('.roomout') ? node.querySelector('.roomout').textContent : null,
    on: node.classList.contains('on'),
    title: node.title,
    button: node.tagName === 'BUTTON',
  });
  const lines = [...rail.querySelectorAll(':scope > .conrailfoot')];
  return {
    heads: [...rail.querySelectorAll('.conrailhead')].map((n) => n.firstChild.textContent),
    warn: rail.querySelector('.warnbox') ? rail.querySelector('.warnbox').textContent : null,
    warnBeforeRoom: Boolean(rail.querySelector('.warnbox + .room.on')),
    load: Boolean(rail.querySelector('[data-key="rail:load"]')),
    demo: Boolean(rail.querySelector('[data-key="rail:demo"]')),
    entries: [...rail.querySelectorAll('.room')].map(entry),
    noRooms: lines.length > 1 ? lines[0].textContent : null,
    foot: lines[lines.length - 1].innerText.replace('\n', ' / '),
    lit: [...document.querySelectorAll('.lit')].map((n) => (n.querySelector('button') || n).dataset.key),
  };
});

const states = async (page) => (await page.emits()).filter(([name]) => name === 'state').map(([, text]) => JSON.parse(text));

// Runs an action that ends in a render (every load does, whether it succeeds or fails) and waits
// for that render: file reads finish asynchronously.
async function rendering(page, act) {
  await page.page.evaluate(() => { document.querySelector('.win').__old = true; });
  await act();
  await page.page.waitForFunction(() => !document.querySelector('.win').__old);
}

// The browser's file chooser, opened by `open`. Playwright catches the chooser only once its
// interception is on, which takes a round trip to the page after the listener is added.
async function chooserFrom(page, open) {
  const chooser = page.page.waitForEvent('filechooser');
  await page.page.evaluate(() => 0);
  await open();
  return chooser;
}

async function pick(page, files, opener = '[data-key="rail:add"]') {
  await rendering(page, async () => {
    const chooser = await chooserFrom(page, () => page.page.click(opener));
    await chooser.setFiles(files);
  });
}

// Drops a file built in the page (a text, or `size` zero bytes) on the plot.
async function drop(page, name, text, size) {
  await rendering(page, () => page.page.evaluate(([n, t, s]) => {
    const data = new DataTransfer();
    data.items.add(new File([s ? new Uint8Array(s) : t], n, { type: 'application/json' }));
    const target = document.querySelector('.plotwrap canvas');
    target.dispatchEvent(new DragEvent('dragenter', { bubbles: true, cancelable: true, dataTransfer: data }));
    const dropped = new DragEvent('drop', { bubbles: true, cancelable: true, dataTransfer: data });
    target.dispatchEvent(dropped);
    window.__dropPrevented = dropped.defaultPrevented;
  }, [name, text, size]));
}

// Counts file reads, and makes every read fail when asked.
const watchReads = (page, fail) => page.page.evaluate((failing) => {
  window.__reads = 0;
  const read = Blob.prototype.text;
  File.prototype.text = function () {
    window.__reads += 1;
    return failing ? Promise.reject(new DOMException('the file has gone', 'NotReadableError')) : read.call(this);
  };
}, fail);

const loadDemo = (page) => rendering(page, () => page.page.click('[data-key="rail:demo"]'));

test('"Try the demo room" sends one state and shows the demo in the top bar, the scope, the rail and its foot', async () => {
  await withConsole({}, async (page) => {
    await page.page.evaluate(() => { document.querySelector('.curvewrap').__kept = true; });
    await loadDemo(page);
    const sent = await states(page);
    assert.equal(sent.length, 1, 'exactly one state');
    const [s] = sent;
    assert.deepEqual([s.profileName, s.correctionPct, s.delayLeftMs, s.delayRightMs, s.bands.length], [DEMO_NAME, 65, 0, 0.354, 11]);
    const shown = await page.page.evaluate(() => ({
      meta: document.getElementById('profileMeta').textContent,
      readout: document.querySelector('.plotread').textContent,
      h1: document.querySelector('.curvehead h1').textContent,
    }));
    assert.deepEqual(shown, {
      meta: '11 filters · 65% correction · delay 0.000 / 0.354 ms',
      readout: '−5.1 dB biggest move · 11 filters',
      h1: DEMO_NAME,
    });
    let rail = await railView(page);
    assert.deepEqual(rail.entries[0], { name: DEMO_NAME, pct: '65%', out: '11 filters', on: true, title: DEMO_NAME, button: true });
    assert.equal(rail.foot, '11 filters fitted / 11 in force at 65%');
    assert.deepEqual([rail.load, rail.demo, rail.warn, rail.lit], [false, false, null, []]);

    // The entry in force and the foot follow a change in place; nothing is rebuilt.
    await page.page.evaluate(() => { document.querySelector('.room.on').__kept = true; });
    await page.page.click('#bypassBtn');
    rail = await railView(page);
    assert.deepEqual([rail.entries[0].out, rail.foot], ['11 filters · bypassed', '11 filters fitted / bypassed']);
    assert.equal(await page.page.evaluate(() => document.querySelector('.room.on').__kept), true);
    // Clicking the room in force does nothing.
    await page.page.click('.room.on');
    await page.settle();
    assert.equal((await states(page)).length, 2, 'only the bypass went out');
  });
});

test('with the host\'s route the rail shows the output device for the room in force and the machine\'s two devices', async () => {
  const cases = [
    { name: 'a full route', devices: seedDevices(), out: 'Speakers', input: 'Loopback Cable', output: 'Speakers' },
    {
      name: 'nothing chosen',
      devices: seedDevices({ selected: { ...seedDevices().selected, inputDevice: '', outputDevice: '' } }),
      out: '11 filters', input: 'nothing chosen yet', output: 'nothing chosen yet',
    },
    { name: 'no selected route', devices: seedDevices({ selected: null }), out: '11 filters', machine: false },
  ];
  for (const { name, devices, out, input, output, machine = true } of cases) {
    await withConsole({}, async (page) => {
      await page.hostSend('devices', devices);
      await loadDemo(page);
      const rail = await railView(page);
      assert.equal(rail.entries[0].out, out, name);
      assert.deepEqual(rail.heads, machine ? ['Rooms', 'This machine'] : ['Rooms'], name);
      if (!machine) return;
      assert.deepEqual(rail.entries.slice(-2).map((e) => [e.name, e.out, e.title, e.button]), [
        ['Taking audio from', input, input, false],
        ['Playing it out of', output, output, false],
      ], name);
    });
  }
  // The browser preview has no machine block and counts the filters.
  await withConsole({ bridge: false, query: '' }, async (page) => {
    await loadDemo(page);
    const rail = await railView(page);
    assert.deepEqual([rail.heads, rail.entries[0].out], [['Rooms'], '11 filters']);
  });
});

test('loading files: names from the file, the reader\'s errors, unreadable and oversized files, the same file twice', async () => {
  const named = roomText('Kitchen', 3);
  // Each step: how the file comes in, then the room in force after it (null for none), the
  // warning shown, and the states sent by the step.
  const steps = [
    ['not JSON, no room', (p) => pick(p, [jsonFile('notes.json', 'not json')]), null, NOT_JSON, 0],
    ['not a profile, no room', (p) => drop(p, 'list.json', '[1, 2]'), null, 'That file does not contain a room profile.', 0],
    ['room-a.JSON without a name', (p) => pick(p, [jsonFile('room-a.JSON', roomText(undefined))]), 'room-a', null, 1],
    ['"Untitled room" takes the file\'s name', (p) => pick(p, [jsonFile('room-b.json', roomText('Untitled room'))]), 'room-b', null, 1],
    ['an empty name takes the file\'s name', (p) => drop(p, 'room-c.Json', roomText('')), 'room-c', null, 1],
    ['only a final .json goes', (p) => pick(p, [jsonFile('my.json.room.json', roomText(undefined))]), 'my.json.room', null, 1],
    ['its own name stays', (p) => pick(p, [jsonFile('whatever.json', named)]), 'Kitchen', null, 1],
    ['not JSON keeps the room', (p) => drop(p, 'notes.json', '{"name": '), 'Kitchen', NOT_JSON, 0],
    ['no measurements keeps the room', (p) => pick(p, [jsonFile('empty.json', '{"name": "Empty"}')]), 'Kitchen', /^No measurements in this profile/, 0],
    ['the next good load clears the warning', (p) => drop(p, 'hall.json', roomText('Hall')), 'Hall', null, 1],
  ];
  await withConsole({}, async (page) => {
    for (const [name, act, room, warning, sends] of steps) {
      const before = (await states(page)).length;
      await act(page);
      const after = await states(page);
      const rail = await railView(page);
      assert.equal(after.length - before, sends, `${name}: states sent`);
      if (sends) assert.equal(after[after.length - 1].profileName, room, `${name}: the state's name`);
      if (warning instanceof RegExp) assert.match(rail.warn, warning, name);
      else assert.equal(rail.warn, warning, name);
      const inForce = rail.entries.find((e) => e.on);
      assert.equal(inForce ? inForce.name : null, room, `${name}: the room in force`);
      assert.equal(await page.page.textContent('.curvehead h1'), room || 'Untitled room', name);
      if (room && warning) assert.ok(rail.warnBeforeRoom, `${name}: the warning stands above the room`);
      if (!room) assert.deepEqual([rail.load, rail.demo], [true, true], `${name}: the empty rail`);
    }
  });

  // A file that cannot be read, from the picker and dropped, with and without a room; and one over
  // 16 MiB, which is never read at all.
  const unreadable = [
    ['picked, unreadable', true, (p) => pick(p, [jsonFile('gone.json', named)]), 1],
    ['dropped, unreadable', true, (p) => drop(p, 'gone.json', named), 1],
    ['picked, 17 MiB', false, (p) => pick(p, bigFile()), 0],
    ['dropped, 17 MiB', false, (p) => drop(p, 'film.json', null, 17 * MiB), 0],
  ];
  for (const withRoom of [false, true]) {
    for (const [name, failing, act, reads] of unreadable) {
      await withConsole({}, async (page) => {
        if (withRoom) await loadDemo(page);
        await watchReads(page, failing);
        const before = (await states(page)).length;
        await act(page);
        const rail = await railView(page);
        const label = `${name}${withRoom ? ', with a room' : ''}`;
        assert.equal(rail.warn, UNREADABLE, label);
        assert.equal(await page.page.evaluate(() => window.__reads), reads, `${label}: reads`);
        assert.equal((await states(page)).length, before, `${label}: nothing sent`);
        assert.equal(rail.entries.some((e) => e.on && e.name === DEMO_NAME), withRoom, `${label}: the room stays`);
      });
    }
  }

  // The same file twice loads twice, also when the browser kept the last file in the input (an
  // unchanged value would fire no "change").
  await withConsole({}, async (page) => {
    const file = jsonFile('room-a.json', roomText(undefined));
    await pick(page, [file]);
    const kept = await page.page.evaluate((text) => {
      const input = document.getElementById('fileInput');
      const data = new DataTransfer();
      data.items.add(new File([text], 'room-a.json'));
      input.files = data.files;
      input.__seen = [];
      input.addEventListener('click', () => input.__seen.push(input.value), { capture: true });
      return input.value;
    }, roomText(undefined));
    assert.match(kept, /room-a\.json$/);
    await pick(page, [file], '#loadBtn');
    assert.deepEqual((await states(page)).map((s) => s.profileName), ['room-a', 'room-a']);
    assert.deepEqual(await page.page.evaluate(() => document.getElementById('fileInput').__seen), [''], 'the picker opens on an empty input');
  });
});

test('a selection survives a load by position, and goes when the new room has no band there', async () => {
  await withConsole({}, async (page) => {
    const selected = () => page.page.evaluate(() => ({
      rows: [...document.querySelectorAll('.bandtable tr.sel')].map((tr) => tr.dataset.key),
      hint: Boolean(document.querySelector('.bandbar .bb-hint')),
    }));
    await loadDemo(page);
    await page.page.click('[data-key="cell:filters"]');
    await page.page.click('[data-key="row:b3"] td.who');
    assert.deepEqual(await selected(), { rows: ['row:b3'], hint: false });
    assert.ok(bandsIn(roomText('Four', 4)) > 3, 'the fixture has a band at the fourth place');
    await drop(page, 'four.json', roomText('Four', 4));
    assert.deepEqual(await selected(), { rows: ['row:b3'], hint: false });
    assert.equal(bandsIn(roomText('One', 1)), 1);
    await drop(page, 'one.json', roomText('One', 1));
    assert.deepEqual(await selected(), { rows: [], hint: true });
    // With no selection, a load selects nothing.
    await drop(page, 'four.json', roomText('Four', 4));
    assert.deepEqual(await selected(), { rows: [], hint: true });
  });
});

test('"Unload this room" sends a state with no bands and leaves the empty rail, its last error gone', async () => {
  await withConsole({}, async (page) => {
    await page.hostSend('devices', seedDevices());
    await loadDemo(page);
    await drop(page, 'notes.json', 'not json');
    assert.equal((await railView(page)).warn, NOT_JSON);
    await rendering(page, () => page.page.click('[data-key="rail:unload"]'));
    const sent = await states(page);
    assert.equal(sent.length, 2);
    assert.deepEqual(sent[1], Profile.sanitizeState(Profile.defaultState()));
    assert.match((await page.emits()).pop()[1], /"bands":\[\]/);
    const rail = await railView(page);
    assert.deepEqual([rail.warn, rail.load, rail.demo, rail.lit], [null, true, true, ['rail:load']]);
    assert.equal(rail.entries.some((e) => e.on), false);
    assert.equal(rail.foot, '0 filters fitted / 0 in force at 65%');
    assert.equal(await page.page.textContent('#profileName'), 'No room loaded');
  });
});

test('"Unload this room" keeps the output trim and the safe-headroom choice, so the speakers never get louder', async () => {
  await withConsole({}, async (page) => {
    await loadDemo(page);
    const loaded = (await states(page))[0];
    await page.hostSend('restore', JSON.stringify({ ...loaded, outputDb: -10, safeHeadroom: false }));
    await rendering(page, () => page.page.click('[data-key="rail:unload"]'));
    const sent = (await states(page)).pop();
    assert.deepEqual(sent, Profile.sanitizeState({ ...Profile.defaultState(), outputDb: -10, safeHeadroom: false }));
  });
});

test('"↺ Reset to the profile" restores the bands, the amount and the delays, and keeps the trim and the rest', async () => {
  await withConsole({}, async (page) => {
    await loadDemo(page);
    const loaded = (await states(page))[0];
    // The room as the user left it: edited bands, amount and delays, a trim, linear phase, bypassed.
    const edited = JSON.parse(JSON.stringify(loaded));
    edited.bands[0].gainDb = -12;
    edited.bands[2].on = false;
    edited.bands[4].freqHz = 2000;
    Object.assign(edited, { correctionPct: 40, delayLeftMs: 1.5, delayRightMs: 0, outputDb: -3.5, phaseMode: 'linear', bypass: true });
    await page.hostSend('restore', JSON.stringify(edited));
    assert.match(await page.page.textContent('#profileMeta'), /· edited$/);
    await drop(page, 'notes.json', 'not json');
    await rendering(page, () => page.page.click('[data-key="rail:reset"]'));
    const sent = (await states(page)).pop();
    assert.deepEqual(sent, { ...loaded, outputDb: -3.5, phaseMode: 'linear', bypass: true });
    assert.equal((await railView(page)).warn, null, 'the reset clears the last error');
    assert.doesNotMatch(await page.page.textContent('#profileMeta'), /edited/);
  });
});

test('the host\'s library: listed once each, a click asks the host to load, and its restore sends nothing back', async () => {
  await withConsole({}, async (page) => {
    await page.hostSend('library', { names: [] });
    assert.equal((await railView(page)).noRooms, NO_ROOMS);
    await loadDemo(page);
    await page.hostSend('library', seedLibrary(['Den', DEMO_NAME, 'Living room']));
    await page.settle();
    let rail = await railView(page);
    assert.deepEqual(rail.entries.map((e) => [e.name, e.out, e.on]), [
      [DEMO_NAME, '11 filters', true],
      ['Den', 'saved on this machine', false],
      ['Living room', 'saved on this machine', false],
    ]);
    assert.equal(rail.noRooms, null);
    // A failed load keeps the room and its warning; the host's room ends both.
    await drop(page, 'notes.json', 'not json');
    const before = (await page.emits()).length;
    await page.page.click('[data-key="room:library:Den"]');
    await page.settle();
    const sent = (await page.emits()).slice(before);
    assert.deepEqual(sent.map(([name, payload]) => [name, JSON.stringify(payload)]), [['library', '{"action":"load","name":"Den"}']]);
    // The host answers with the room's state; the page shows it and says nothing.
    const den = Profile.stateForProfile({ ...Profile.readProfile(roomText('Den', 3)).profile });
    await page.hostSend('restore', Profile.toJson(den));
    await page.settle();
    assert.equal((await page.emits()).length, before + 1);
    rail = await railView(page);
    assert.deepEqual(rail.entries.map((e) => [e.name, e.on]), [['Den', true], [DEMO_NAME, false], ['Living room', false]]);
    assert.equal(rail.warn, null);
    // A payload without names empties the list.
    await page.hostSend('library', { rooms: ['Den'] });
    await page.settle();
    assert.equal((await railView(page)).noRooms, NO_ROOMS);
  });
});

test('the measuring application\'s stored rooms are listed sorted and load through the reader; a store that is not an object or throws gives none', async () => {
  const stored = {
    Zeta: roomExport(undefined, 3),
    alpha: roomExport('Alpha room', 2),
    Beta: roomExport(undefined, 1),
    Broken: { name: 'Broken' },
  };
  await withConsole({ storageSeed: { 'brindle.profiles.v1': JSON.stringify(stored) } }, async (page) => {
    let rail = await railView(page);
    assert.deepEqual(rail.entries.map((e) => [e.name, e.out]), [
      ['Beta', 'measured in this browser'], ['Broken', 'measured in this browser'],
      ['Zeta', 'measured in this browser'], ['alpha', 'measured in this browser'],
    ]);
    await rendering(page, () => page.page.click('[data-key="room:browser:Zeta"]'));
    await rendering(page, () => page.page.click('[data-key="room:browser:alpha"]'));
    const sent = await states(page);
    assert.deepEqual(sent.map((s) => [s.profileName, s.bands.length]), [['Zeta', bandsIn(roomText(undefined, 3))], ['Alpha room', 2]]);
    // A stored room without measurements fails like a file and keeps the room.
    await rendering(page, () => page.page.click('[data-key="room:browser:Broken"]'));
    rail = await railView(page);
    assert.match(rail.warn, /^No measurements in this profile/);
    assert.deepEqual(rail.entries.filter((e) => e.on).map((e) => e.name), ['Alpha room']);
    assert.equal((await states(page)).length, 2);
    assert.equal(await page.page.evaluate((key) => localStorage.getItem(key), 'brindle.profiles.v1'), JSON.stringify(stored), 'never written');
  });
  const empty = [
    ['an array', { storageSeed: { 'brindle.profiles.v1': JSON.stringify([roomExport('A')]) } }],
    ['a number', { storageSeed: { 'brindle.profiles.v1': '42' } }],
    ['not JSON', { storageSeed: { 'brindle.profiles.v1': '{"A": ' } }],
    ['null', { storageSeed: { 'brindle.profiles.v1': 'null' } }],
    ['a store that throws', { storage: 'throws' }],
  ];
  for (const [name, options] of empty) {
    await withConsole(options, async (page) => {
      const rail = await railView(page);
      assert.deepEqual([rail.entries.length, rail.noRooms], [0, NO_ROOMS], name);
    });
  }
});

test('with no room and audio running only "Load a room profile" is lit, and Enter on the page opens the file chooser; in the preview it is lit too', async () => {
  await withConsole({}, async (page) => {
    await page.hostSend('devices', seedDevices());
    await page.hostSend('library', seedLibrary());
    assert.deepEqual((await railView(page)).lit, ['rail:load']);
    await page.page.evaluate(() => document.activeElement && document.activeElement.blur());
    const chooser = await chooserFrom(page, () => page.page.keyboard.press('Enter'));
    assert.equal(await chooser.element().evaluate((node) => node.id), 'fileInput');
    await rendering(page, () => chooser.setFiles([jsonFile('room-a.json', roomText(undefined))]));
    assert.deepEqual((await railView(page)).lit, [], 'a room loaded lights nothing');
  });
  // Audio stopped: the rail's load is not the next action, starting the routed stream is.
  await withConsole({}, async (page) => {
    await page.hostSend('devices', seedDevices({ status: { running: false } }));
    assert.deepEqual((await railView(page)).lit, ['route:apply']);
  });
  await withConsole({ bridge: false, query: '' }, async (page) => {
    assert.deepEqual((await railView(page)).lit, ['rail:load']);
    assert.equal(await page.page.evaluate(() => getComputedStyle(document.querySelector('.lit')).getPropertyValue('--br').trim()), '10px');
  });
});

test('dragging over nested elements shows one veil, which goes with the last leave or the drop', async () => {
  await withConsole({}, async (page) => {
    const drag = (steps) => page.page.evaluate((list) => {
      const data = new DataTransfer();
      data.items.add(new File([''], 'room.json'));
      const prevented = [];
      for (const [type, selector] of list) {
        const event = new DragEvent(type, { bubbles: true, cancelable: true, dataTransfer: data });
        document.querySelector(selector).dispatchEvent(event);
        prevented.push(event.defaultPrevented);
      }
      return { prevented, veils: [...document.querySelectorAll('.dropveil')].map((n) => [n.textContent, n.parentNode === document.body]) };
    }, steps);
    const one = [['Drop a room profile', true]];
    let got = await drag([['dragenter', '.conrail'], ['dragenter', '.curvewrap'], ['dragover', '.curvewrap'], ['dragenter', '.plotwrap canvas'], ['dragleave', '.conrail'], ['dragleave', '.curvewrap']]);
    assert.deepEqual(got, { prevented: [true, true, true, true, false, false], veils: one });
    const veil = await page.page.evaluate(() => {
      const s = getComputedStyle(document.querySelector('.dropveil'));
      return [s.position, s.zIndex, s.pointerEvents, s.borderStyle, s.borderWidth, s.fontSize, s.zoom];
    });
    assert.deepEqual(veil, ['fixed', '80', 'none', 'dashed', '3px', '18px', '1']);
    got = await drag([['dragleave', '.plotwrap canvas']]);
    assert.deepEqual(got.veils, [], 'the last leave');
    // A leave too many does not leave the counter below zero: the next enter shows the veil again.
    got = await drag([['dragleave', '.conrail'], ['dragenter', '.conrail']]);
    assert.deepEqual(got.veils, one);
    await rendering(page, () => drag([['dragenter', '.curvewrap'], ['drop', '.curvewrap']]));
    assert.deepEqual(await page.page.evaluate(() => document.querySelectorAll('.dropveil').length), 0, 'the drop');
    // The counter started again at the drop: the next drag's first enter shows the veil, and its
    // leave takes it away.
    got = await drag([['dragenter', '.curvewrap']]);
    assert.deepEqual(got.veils, one);
    got = await drag([['dragleave', '.curvewrap']]);
    assert.deepEqual(got.veils, []);
  });
  // A drop without files does nothing.
  await withConsole({}, async (page) => {
    const prevented = await page.page.evaluate(() => {
      const event = new DragEvent('drop', { bubbles: true, cancelable: true, dataTransfer: new DataTransfer() });
      document.querySelector('.curvewrap').dispatchEvent(event);
      return event.defaultPrevented;
    });
    await page.settle();
    assert.equal(prevented, true);
    assert.deepEqual([(await railView(page)).warn, (await states(page)).length], [null, 0]);
  });
});

test('names from a file, the library, storage and the host\'s devices show as written, never as markup', async () => {
  const room = roomExport(MARKUP);
  const devices = seedDevices({ selected: { ...seedDevices().selected, inputDevice: MARKUP, outputDevice: `${MARKUP} out` } });
  await withConsole({ storageSeed: { 'brindle.profiles.v1': JSON.stringify({ [`${MARKUP} stored`]: roomExport(undefined) }) } }, async (page) => {
    await page.hostSend('devices', devices);
    await page.hostSend('library', seedLibrary([`${MARKUP} saved`]));
    await drop(page, 'room.json', JSON.stringify(room));
    const rail = await railView(page);
    assert.deepEqual(rail.entries.map((e) => [e.name, e.out, e.title]), [
      [MARKUP, `${MARKUP} out`, MARKUP],
      [`${MARKUP} saved`, 'saved on this machine', `${MARKUP} saved`],
      [`${MARKUP} stored`, 'measured in this browser', `${MARKUP} stored`],
      ['Taking audio from', MARKUP, MARKUP],
      ['Playing it out of', `${MARKUP} out`, `${MARKUP} out`],
    ]);
    assert.equal(await page.page.textContent('#profileName'), MARKUP);
    assert.equal(await page.page.textContent('.curvehead h1'), MARKUP);
    // A stored room whose key is markup loads under that name, still as text.
    await page.page.evaluate(() => document.activeElement && document.activeElement.blur());
    await rendering(page, () => page.page.locator('.room', { hasText: 'measured in this browser' }).click());
    assert.equal((await states(page)).pop().profileName, `${MARKUP} stored`);
    assert.equal(await page.page.locator('img').count(), 0);
    assert.equal(await page.page.evaluate(() => window.__markup), undefined);
  });
});

test('the rail\'s look: entries, the loaded room, long names cut with an ellipsis, the warning box', async () => {
  const long = 'A very long room name that never fits in the rail of the console window';
  await withConsole({}, async (page) => {
    await page.page.addStyleTag({ content: '* { transition: none !important; }' });
    await drop(page, 'long.json', roomText(long));
    await drop(page, 'notes.json', 'not json');
    const look = await page.page.evaluate(() => {
      const style = (sel, ...names) => {
        const s = getComputedStyle(document.querySelector(sel));
        return names.map((n) => s.getPropertyValue(n));
      };
      const name = document.querySelector('.room.on .roomname');
      return {
        rail: style('.conrail', 'width', 'padding-top', 'padding-left', 'border-right-width'),
        on: style('.room.on', 'background-color', 'box-shadow', 'border-radius', 'padding-left'),
        name: [...style('.room.on .roomname', 'font-size', 'font-weight', 'color', 'text-overflow'), name.scrollWidth > name.clientWidth],
        pct: style('.room.on .roompct', 'font-size', 'color'),
        out: style('.room.on .roomout', 'font-size', 'color', 'margin-top'),
        head: style('.conrailhead', 'font-size', 'letter-spacing', 'text-transform', 'margin-left'),
        warn: style('.conrail .warnbox', 'background-color', 'border-top-color', 'color', 'border-radius', 'font-size'),
        foot: style('.conrailrule + .conrailfoot', 'font-size', 'color', 'padding-left'),
      };
    });
    assert.deepEqual(look, {
      rail: ['246px', '20px', '14px', '1px'],
      on: ['rgba(220, 75, 46, 0.11)', 'rgb(220, 75, 46) 2px 0px 0px 0px inset', '11px', '11px'],
      name: ['13.5px', '600', 'rgb(26, 24, 21)', 'ellipsis', true],
      pct: ['11.5px', 'rgb(220, 75, 46)'],
      out: ['11px', 'rgb(74, 70, 64)', '4px'],
      head: ['10px', '1.6px', 'uppercase', '11px'],
      warn: ['rgb(247, 232, 222)', 'rgba(228, 89, 43, 0.3)', 'rgb(138, 58, 23)', '12px', '13.5px'],
      foot: ['11.5px', 'rgb(132, 127, 117)', '11px'],
    });
    // An entry that is not loaded: quiet, with a faint fill under the pointer.
    await page.hostSend('library', seedLibrary(['Den']));
    const den = '[data-key="room:library:Den"]';
    const fill = () => page.page.evaluate((sel) => getComputedStyle(document.querySelector(sel)).backgroundColor, den);
    await page.page.mouse.move(1000, 500);
    assert.equal(await fill(), 'rgba(0, 0, 0, 0)');
    await page.page.hover(den);
    assert.equal(await fill(), 'rgba(0, 0, 0, 0.035)');
  });
});

test('at 880 px and below the rail is a sideways-scrolling row of 190 px entries without heads, rules or foot', async () => {
  const look = (page) => page.page.evaluate(() => {
    const rail = document.querySelector('.conrail');
    const s = getComputedStyle(rail);
    const shown = (sel) => [...rail.querySelectorAll(sel)].some((n) => getComputedStyle(n).display !== 'none');
    const rooms = [...rail.querySelectorAll('.room')];
    return {
      row: s.display === 'flex' && s.flexDirection === 'row',
      scrolls: s.overflowX,
      gap: s.columnGap,
      padding: s.padding,
      widths: [...new Set(rooms.map((n) => Math.round(parseFloat(getComputedStyle(n).width))))],
      shrink: [...new Set(rooms.map((n) => getComputedStyle(n).flexShrink))],
      heads: shown('.conrailhead'),
      rules: shown('.conrailrule'),
      foot: shown('.conrailfoot'),
      wider: rail.scrollWidth > rail.clientWidth,
      above: rail.getBoundingClientRect().bottom <= document.querySelector('.conmain').getBoundingClientRect().top + 1,
    };
  });
  await withConsole({ viewport: { width: 881, height: 860 } }, async (page) => {
    await page.hostSend('devices', seedDevices());
    await page.hostSend('library', seedLibrary(['Den', 'Living room', 'Study', 'Attic']));
    await loadDemo(page);
    const wide = await look(page);
    assert.deepEqual([wide.row, wide.heads, wide.rules, wide.foot], [false, true, true, true]);
    await page.page.setViewportSize({ width: 880, height: 860 });
    assert.deepEqual(await look(page), {
      row: true, scrolls: 'auto', gap: '8px', padding: '13px', widths: [190], shrink: ['0'],
      heads: false, rules: false, foot: false, wider: true, above: true,
    });
  });
});

test('the console with the demo room is photographed at 1120 and 620 px', async () => {
  const dir = path.join(ROOT, 'build', 'page-screenshots');
  fs.mkdirSync(dir, { recursive: true });
  for (const width of [1120, 620]) {
    await withConsole({ viewport: { width, height: 860 } }, async (page) => {
      await page.hostSend('devices', seedDevices());
      await page.hostSend('library', seedLibrary());
      await loadDemo(page);
      await page.page.mouse.move(width - 1, 859);
      assertThemed(await photograph(page, path.join(dir, `console-demo-${width}.png`)), `${width} px`);
    });
  }
  // The empty rail after a failed load, for the eye.
  await withConsole({ viewport: { width: 1120, height: 860 } }, async (page) => {
    await page.hostSend('devices', seedDevices());
    await drop(page, 'notes.json', 'not json');
    assertThemed(await photograph(page, path.join(dir, 'console-rail-error-1120.png')), 'after a failed load');
  });
});
