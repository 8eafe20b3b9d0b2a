'use strict';

// The response plot in a real browser: what it draws (read from the canvas text recorder and from
// pixels of the backing store) and what the pointer does to the bands and the host.
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');
const assert = require('node:assert/strict');
const { browserForTests, ROOT } = require('./browser-harness.js');
const { photograph, assertThemed } = require('./photograph.js');
const C = require('../../../plugin/ui/plugin.js');
const Profile = require('../../../ui/js/profile.js');

const withConsole = browserForTests(test);

const MINUS = '\u2212';
const RATE = 48000;
// 150 % on a device of scale 2, in a window whose layout is the design size.
const SCALED = { deviceScaleFactor: 2, viewport: { width: 1680, height: 1290 }, storageSeed: { 'brindle.plugin.ui.v1': '1.5' } };

const bell = (freqHz, gainDb, q = 2, stereo = 'stereo', on = true) => ({ freqHz, gainDb, q, type: 'bell', stereo, on });

function roomJson(bands, fields = {}) {
  return Profile.toJson(Profile.sanitizeState({ ...Profile.defaultState(), profileName: 'Test room', bands, ...fields }));
}

// The plot's place in the window, and its layout pixels mapped to window pixels the way the
// pointer sees them. The geometry is the plot's own, for the room the page shows.
async function plotOf(page, json) {
  const box = await page.page.evaluate(() => {
    const c = document.querySelector('.plotwrap canvas');
    const r = c.getBoundingClientRect();
    return { left: r.left, top: r.top, sx: r.width / c.clientWidth, sy: r.height / c.clientHeight, width: c.clientWidth, height: c.clientHeight, backW: c.width, backH: c.height };
  });
  const g = C.plotGeometry(box.width, box.height, C.plotCurves(Profile.fromJson(json), RATE).maxDb);
  const client = (x, y) => ({ x: box.left + x * box.sx, y: box.top + y * box.sy });
  return { ...box, g, client, handle: (band) => client(g.x(band.freqHz), g.y(band.gainDb)) };
}

async function showRoom(page, json) {
  await page.hostSend('restore', json);
  await page.settle();
  return plotOf(page, json);
}

// The texts of one whole frame: the plot's tick runs before callbacks asked for after it.
function frameText(page) {
  return page.page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => {
    window.__rec.canvasText.length = 0;
    requestAnimationFrame(() => resolve(window.__rec.canvasText.slice()));
  })));
}

// Backing-store pixels [r, g, b, alpha] at layout positions.
function pixels(page, points) {
  return page.page.evaluate((list) => {
    const c = document.querySelector('.plotwrap canvas');
    const ctx = c.getContext('2d');
    const s = c.width / c.clientWidth;
    return list.map(([x, y]) => Array.from(ctx.getImageData(Math.floor(x * s), Math.floor(y * s), 1, 1).data));
  }, points);
}

const states = async (page) => (await page.emits()).filter(([name]) => name === 'state').map(([, text]) => JSON.parse(text));
const cursor = (page) => page.page.evaluate(() => getComputedStyle(document.querySelector('.plotwrap canvas')).cursor);

// A pointer event straight to the canvas, at an exact window position.
function dispatch(page, type, at, init = {}) {
  return page.page.evaluate(([t, p, rest]) => {
    const Ctor = t === 'wheel' ? WheelEvent : PointerEvent;
    const event = new Ctor(t, { clientX: p.x, clientY: p.y, pointerId: 1, pointerType: 'mouse', bubbles: true, cancelable: true, ...rest });
    return document.querySelector('.plotwrap canvas').dispatchEvent(event);
  }, [type, at, init]);
}

test('the geometry maps 20 Hz to 20 kHz and ±maxDb onto the area inside the margins, and back', () => {
  const g = C.plotGeometry(900, 400, 12);
  assert.deepEqual([g.x0, g.x1, g.top, g.bottom], [34, 884, 16, 374]);
  assert.deepEqual([g.x(20), g.x(20000), g.y(12), g.y(-12), g.y(0)], [34, 884, 16, 374, 195]);
  assert.ok(Math.abs(g.x(Math.sqrt(20 * 20000)) - 459) < 1e-9, 'the geometric centre is half way');
  for (const f of [10, 96, 1234.5, 24000]) assert.ok(Math.abs(g.freqAt(g.x(f)) - f) < 1e-9 * f, `${f} Hz`);
  for (const db of [-30, -6.4, 0, 11.9]) assert.ok(Math.abs(g.dbAt(g.y(db)) - db) < 1e-9, `${db} dB`);
  // [room peak, axis]: never tighter than ±12, else 2 dB of room above the peak in 3 dB steps.
  const axes = [[0, 12], [6, 12], [9.5, 12], [10, 12], [11, 15], [11.5, 15], [20, 24], [20.5, 24], [25, 27]];
  for (const [peak, maxDb] of axes) assert.equal(C.axisMaxDb(peak), maxDb, `peak ${peak}`);
});

// The figures computed the plain way: every band summed at every point.
function plainCurves(s) {
  const full = s.bands.filter((band) => band.on);
  const inForce = Profile.activeBands(s);
  const at = (bands, channel) => Array.from({ length: C.CURVE_N }, (_, i) => Profile.responseDb(bands, 20 * 1000 ** (i / (C.CURVE_N - 1)), channel, RATE));
  const [fullL, fullR] = [at(full, 'left'), at(full, 'right')];
  return {
    room: fullL.map((l, i) => -(l + fullR[i]) / 2), left: at(inForce, 'left'), right: at(inForce, 'right'),
    split: inForce.some((band) => band.stereo !== 'stereo'), empty: inForce.length === 0,
  };
}

test('the curves are the room at full gain and the bands in force per channel, also when kept parts are reused after an edit', () => {
  const base = () => Profile.fromJson(roomJson([bell(45, -8, 5), bell(96, -6.44, 4.5, 'left'), bell(130, 3, 2, 'right'), bell(3000, -2, 1)]));
  // [edit, whether a band in force sits on one channel only afterwards]
  const edits = [
    ['nothing', () => {}, true],
    ['a frequency', (s) => { s.bands[0].freqHz = 52.3; }, true],
    ['a gain', (s) => { s.bands[1].gainDb = -2.1; }, true],
    ['a Q', (s) => { s.bands[3].q = 7.5; }, true],
    ['a side', (s) => { s.bands[1].stereo = 'stereo'; s.bands[2].stereo = 'stereo'; }, false],
    ['a switch', (s) => { s.bands[1].on = false; }, true],
    ['the amount', (s) => { s.correctionPct = 30; }, true],
    ['bypass', (s) => { s.bypass = true; }, false],
  ];
  const near = (a, b) => a.every((v, i) => Math.abs(v - b[i]) < 1e-9);
  for (const [name, edit, split] of edits) {
    const s = base();
    const before = C.plotCurves(s, RATE);
    edit(s);
    const plain = plainCurves(s);
    for (const got of [C.plotCurves(s, RATE, before), C.plotCurves(s, RATE)]) {
      assert.ok(near(got.room, plain.room) && near(got.left, plain.left) && near(got.right, plain.right), name);
      assert.deepEqual([got.split, got.empty], [split, name === 'bypass'], name);
    }
  }
});

test('the level scale fits the room peak, and the frequency scale runs 20 … 1.0k … 20k', async () => {
  // [room peak, the level labels from top to bottom]
  const level = (n) => (n > 0 ? `+${n}` : `${MINUS}${-n}`);
  const cases = [
    [9.5, [12, 9, 6, 3, -3, -6, -9, -12]],
    [11.5, [15, 12, 9, 6, 3, -3, -6, -9, -12, -15]],
    [20.5, [24, 18, 12, 6, -6, -12, -18, -24]],
  ];
  await withConsole({}, async (page) => {
    for (const [peak, labels] of cases) {
      // A wide cut is its own peak on the curve's grid to within a few hundredths.
      const plot = await showRoom(page, roomJson([bell(1000, -peak, 0.7)]));
      const texts = await frameText(page);
      const levels = texts.filter((t) => /^[+\u2212]\d+$/.test(t.text)).sort((a, b) => a.y - b.y);
      assert.deepEqual(levels.map((t) => t.text), labels.map(level), `peak ${peak}`);
      const rowOf = (db) => plot.g.top + (plot.g.bottom - plot.g.top) * (1 - db / labels[0]) / 2;
      levels.forEach((t, i) => {
        assert.equal(t.x, 28, `${t.text}: 6 px left of x0`);
        assert.ok(Math.abs(t.y - (rowOf(labels[i]) + 4)) < 1e-9, `${t.text}: 4 px below its row`);
      });
      const zero = texts.filter((t) => t.text === '0');
      assert.deepEqual(zero.map((t) => [t.x, t.y, /^(700|bold) 10px/.test(t.font)]), [[28, (plot.g.top + plot.g.bottom) / 2 + 4, true]]);
      const freqs = texts.filter((t) => /^\d+(\.\d)?k?$/.test(t.text) && t.text !== '0');
      assert.deepEqual(freqs.map((t) => t.text), ['20', '30', '50', '100', '200', '300', '500', '1.0k', '2.0k', '3.0k', '5.0k', '10k', '20k']);
      assert.deepEqual([freqs[0].x, freqs.at(-1).x, freqs[0].y], [34.5, Math.round(plot.g.x1) + 0.5, plot.height - 9]);
      assert.ok(freqs.every((t, i) => i === 0 || t.x > freqs[i - 1].x));
    }
  });
});

// Layout rows of a column of the plot, at `x`, whose pixels are not transparent.
async function paintedRows(page, plot, x) {
  const rows = [];
  for (let y = plot.g.top; y < plot.g.bottom; y += 1) rows.push(y);
  const got = await pixels(page, rows.map((y) => [x, y + 0.5]));
  return rows.filter((y, i) => got[i][3] > 0);
}

const nearZero = (plot, y) => Math.abs(y + 0.5 - plot.g.y(0)) <= 1.5;
const isAccent = ([r, g, b, a]) => a > 0 && r - b > 80;

test('an empty room says so and draws no curve; bands that are all off show dimmed handles and no correction', async () => {
  await withConsole({}, async (page) => {
    let plot = await plotOf(page, roomJson([]));
    const empty = (await frameText(page)).filter((t) => t.text === 'No filters in this profile');
    assert.deepEqual(empty.map((t) => [t.x, t.y, t.font.startsWith('500 13px')]), [[(plot.g.x0 + plot.g.x1) / 2, (plot.g.top + plot.g.bottom) / 2, true]]);
    assert.deepEqual((await paintedRows(page, plot, plot.g.x(100))).filter((y) => !nearZero(plot, y)), [], 'only the 0 dB line');

    // [bands on, what the column through the first handle shows away from the handle and the 0 dB line]
    for (const on of [true, false]) {
      const bands = [bell(100, -8, 2, 'stereo', on), bell(1000, -6, 1.5, 'left', on)];
      plot = await showRoom(page, roomJson(bands));
      const x = plot.g.x(100);
      const [centre] = await pixels(page, [[x, plot.g.y(-8)]]);
      const away = (await paintedRows(page, plot, x)).filter((y) => !nearZero(plot, y) && Math.abs(y + 0.5 - plot.g.y(-8)) > 8);
      assert.equal((await frameText(page)).some((t) => t.text === 'No filters in this profile'), false);
      if (on) {
        assert.ok(centre[3] > 200, `a handle in force is solid: ${centre}`);
        assert.ok(away.length > 0, 'the room and the correction are drawn');
      } else {
        // The ink at alpha .18 (read back unpremultiplied, so within a few steps).
        const dimmed = [236, 232, 222, 0.18 * 255];
        assert.ok(centre.every((v, i) => Math.abs(v - dimmed[i]) <= 3), `a switched-off handle is dimmed: ${centre}`);
        assert.deepEqual(away, [], 'no correction, and the room is flat');
      }
    }
  });
});

test('bypass draws the correction as a dashed flat line, while the room and the handles stay', async () => {
  await withConsole({}, async (page) => {
    const bands = [bell(100, -8, 2), bell(1000, -6, 1.5)];
    for (const bypass of [false, true]) {
      const plot = await showRoom(page, roomJson(bands, { bypass }));
      // Just above the 0 dB line, inside the 2 px dashed stroke, from x0 along 100 px.
      const row = plot.g.y(0) - 0.75;
      const xs = Array.from({ length: 100 }, (_, i) => plot.g.x(2000) + i + 0.5);
      const along = await pixels(page, xs.map((x) => [x, row]));
      const on = along.map((p) => p[3] > 20);
      const switches = on.filter((v, i) => i > 0 && v !== on[i - 1]).length;
      const column = await pixels(page, (await paintedRows(page, plot, plot.g.x(300))).map((y) => [plot.g.x(300), y + 0.5]));
      if (bypass) {
        assert.ok(switches >= 18 && switches <= 22, `dashes 5 on 5 off: ${switches} switches over 100 px`);
        assert.ok(along.filter((p, i) => on[i]).every(([r, g, b]) => r === g && g === b), 'in the room line\'s neutral tint');
        assert.equal(column.some(isAccent), false, 'no correction in the accent');
      } else {
        assert.ok(switches <= 2, `a solid line without bypass: ${switches}`);
        assert.ok(column.some(isAccent));
      }
      const [handle] = await pixels(page, [[plot.g.x(100), plot.g.y(-8)]]);
      assert.ok(handle[3] > 200, 'the handle stays');
      // The room is the full-gain correction upside down: +8 dB where the 8 dB cut sits.
      const roomTop = (await paintedRows(page, plot, plot.g.x(100)))[0];
      assert.ok(Math.abs(roomTop + 0.5 - plot.g.y(8)) <= 1.5, `the room stays: its top at ${roomTop}, +8 dB at ${plot.g.y(8)}`);
    }
  });
});

test('a handle label and the crosshair read-out', async () => {
  const bands = [bell(96, -6.44, 4.5, 'left'), bell(96, -2.2, 4.5, 'right'), bell(3000, 2, 2)];
  // At 65 % the curve is scaled while the handles keep the full gain.
  const json = roomJson(bands, { correctionPct: 65 });
  const inForce = Profile.activeBands(Profile.fromJson(json));
  await withConsole({}, async (page) => {
    const plot = await showRoom(page, json);
    await page.page.mouse.move(plot.handle(bands[0]).x, plot.handle(bands[0]).y);
    await page.page.mouse.down();
    await page.page.mouse.up();
    await page.page.mouse.move(plot.handle(bands[2]).x, plot.handle(bands[2]).y);
    const labels = (await frameText(page)).filter((t) => / dB {2}Q/.test(t.text)).map((t) => t.text);
    assert.deepEqual(labels.sort(), ['3.0k Hz  +2.0 dB  Q2.0', `96 Hz  ${MINUS}6.4 dB  Q4.5  L`], 'the selected and the hovered handle');

    // [frequency under the pointer, the read-out's form]
    const cases = [
      [96, /^96 Hz {2}G2 {3}([−+]?\d+\.\d) dB {2}\/ {2}([−+]?\d+\.\d) dB$/],
      [440, /^440 Hz {2}A4 {3}([−+]?\d+\.\d) dB {2}\/ {2}([−+]?\d+\.\d) dB$/],
      [2500, /^2.5k Hz {3}([−+]?\d+\.\d) dB {2}\/ {2}([−+]?\d+\.\d) dB$/],
    ];
    await page.page.mouse.move(0, 0);
    for (const [f, form] of cases) {
      await dispatch(page, 'pointermove', plot.client(plot.g.x(f), plot.g.y(-10)), { buttons: 0 });
      // The read-out is the one text with three blanks in a row.
      const readouts = (await frameText(page)).filter((t) => t.text.includes('   '));
      assert.equal(readouts.length, 1, `${f} Hz: ${readouts.map((t) => t.text)}`);
      const m = form.exec(readouts[0].text);
      assert.ok(m, `${f} Hz: ${readouts[0].text}`);
      const read = (s) => Number(s.replace(MINUS, '-'));
      assert.ok(Math.abs(read(m[1]) - Profile.responseDb(inForce, f, 'left', RATE)) <= 0.15, `left at ${f} Hz: ${m[1]}`);
      assert.ok(Math.abs(read(m[2]) - Profile.responseDb(inForce, f, 'right', RATE)) <= 0.15, `right at ${f} Hz: ${m[2]}`);
      assert.equal(readouts[0].y, plot.g.top + 14);
    }

    // Both channels alike: one figure.
    const stereo = roomJson([bell(1200, -4, 2)], { correctionPct: 100 });
    const same = await showRoom(page, stereo);
    await dispatch(page, 'pointermove', same.client(same.g.x(1200), same.g.y(-10)), { buttons: 0 });
    assert.deepEqual((await frameText(page)).filter((t) => t.text.includes('   ')).map((t) => t.text), [`1.2k Hz  D6   ${MINUS}4.0 dB`]);
  });
});

const round = (value, digits) => Math.round(value * 10 ** digits) / 10 ** digits;
const isStep = (value, digits) => Math.abs(value * 10 ** digits - Math.round(value * 10 ** digits)) < 1e-6;

// The labels the plot draws for the selected and the hovered handle.
const handleLabels = async (page) => (await frameText(page)).filter((t) => / dB {2}Q/.test(t.text)).map((t) => t.text);

// Counts the pointer moves with a button held that reach the canvas.
const countMoves = (page) => page.page.evaluate(() => {
  window.__moves = 0;
  document.querySelector('.plotwrap canvas').addEventListener('pointermove', (e) => {
    if (e.buttons) window.__moves += 1;
  });
});

test('at 150 % on a device of scale 2: a press on a handle selects it and sends nothing; each move sends one "state" and the release one more', async () => {
  const bands = [bell(100, -6, 3), bell(1000, -3, 2, 'left')];
  const json = roomJson(bands);
  await withConsole(SCALED, async (page) => {
    const plot = await showRoom(page, json);
    assert.ok(Math.abs(plot.backW - plot.width * 3) <= 1 && Math.abs(plot.backH - plot.height * 3) <= 1,
      `backing store ${plot.backW} x ${plot.backH} for ${plot.width} x ${plot.height} layout px`);
    assert.equal(await cursor(page), 'crosshair');
    const grab = plot.handle(bands[1]);
    await page.page.mouse.move(grab.x, grab.y);
    assert.equal(await cursor(page), 'grab');
    await page.page.mouse.down();
    assert.equal(await cursor(page), 'grabbing');
    assert.deepEqual(await states(page), [], 'a selection alone sends nothing');
    assert.deepEqual(await handleLabels(page), [`1.0k Hz  ${MINUS}3.0 dB  Q2.0  L`]);
    const [centre] = await pixels(page, [[plot.g.x(1000), plot.g.y(-3)]]);
    assert.deepEqual(centre, [242, 105, 74, 255], 'the selected handle is solid accent');

    await countMoves(page);
    // Off the 0.1 grid in both axes, so the rounding shows.
    const target = { x: plot.g.x(2000) + 0.37, y: plot.g.y(-5) + 0.29 };
    const to = plot.client(target.x, target.y);
    await page.page.mouse.move(to.x, to.y, { steps: 12 });
    const moved = await page.page.evaluate(() => window.__moves);
    let sent = await states(page);
    assert.ok(moved >= 6, `${moved} moves`);
    assert.equal(sent.length, moved, 'one "state" per move received');
    for (const s of sent) assert.ok(isStep(s.bands[1].freqHz, 1) && isStep(s.bands[1].gainDb, 1), JSON.stringify(s.bands[1]));
    const last = sent.at(-1).bands;
    assert.deepEqual([last[1].freqHz, last[1].gainDb], [round(plot.g.freqAt(target.x), 1), round(plot.g.dbAt(target.y), 1)], 'under the pointer');
    assert.deepEqual([last[0].freqHz, last[0].gainDb], [100, -6], 'the other band is untouched');

    await page.page.mouse.up();
    sent = await states(page);
    assert.equal(sent.length, moved + 1, 'the release sends one more');
    assert.deepEqual(sent.at(-1).bands, last);
    assert.equal(await cursor(page), 'grab');
  });
});

test('a drag grabbed 10 px beside a handle puts it under the pointer, and clamps to the limits', async () => {
  const bands = [bell(1000, -3, 2)];
  const json = roomJson(bands);
  // [window position of the pointer relative to the plot's box (fractions), the band's frequency and gain]
  const cases = [
    [[0.5, 0.25], null],
    [[4, -4], [24000, 12]],
    [[-4, 4], [10, -30]],
  ];
  await withConsole(SCALED, async (page) => {
    const plot = await showRoom(page, json);
    const grab = plot.client(plot.g.x(1000) - 10, plot.g.y(-3));
    await dispatch(page, 'pointerdown', grab, { buttons: 1 });
    for (const [[fx, fy], want] of cases) {
      const at = { x: plot.left + fx * plot.width * plot.sx, y: plot.top + fy * plot.height * plot.sy };
      await dispatch(page, 'pointermove', at, { buttons: 1 });
      const band = (await states(page)).at(-1).bands[0];
      const x = (at.x - plot.left) / plot.sx;
      const y = (at.y - plot.top) / plot.sy;
      assert.deepEqual([band.freqHz, band.gainDb], want || [round(plot.g.freqAt(x), 1), round(plot.g.dbAt(y), 1)], `at ${fx}, ${fy}`);
    }
    await dispatch(page, 'pointerup', grab, { buttons: 0 });
    assert.equal((await states(page)).length, cases.length + 1);
  });
});

test('Alt, Ctrl or Meta moves a quarter of the travel in 0.01 steps; Shift at the grab changes only the gain', async () => {
  const bands = [bell(1000, -3, 2)];
  await withConsole(SCALED, async (page) => {
    let plot = await showRoom(page, roomJson(bands));
    for (const key of ['Alt', 'Control', 'Meta']) {
      plot = await showRoom(page, roomJson(bands));
      const from = plot.handle(bands[0]);
      await page.page.mouse.move(from.x, from.y);
      await page.page.mouse.down();
      await page.page.keyboard.down(key);
      const to = plot.client(plot.g.x(1000) + 83, plot.g.y(-3) - 41);
      await page.page.mouse.move(to.x, to.y);
      await page.page.keyboard.up(key);
      await page.page.mouse.up();
      const band = (await states(page)).at(-1).bands[0];
      const want = [round(plot.g.freqAt(plot.g.x(1000) + 83 / 4), 2), round(plot.g.dbAt(plot.g.y(-3) - 41 / 4), 2)];
      assert.ok(Math.abs(band.freqHz - want[0]) <= 0.011 && Math.abs(band.gainDb - want[1]) <= 0.011, `${key}: ${band.freqHz}, ${band.gainDb} for ${want}`);
      assert.ok(isStep(band.freqHz, 2) && !isStep(band.freqHz, 1), `${key}: ${band.freqHz} in 0.01 steps`);
    }

    // [Shift held at the grab, Shift held during the moves, whether the frequency may change]
    for (const [atGrab, during, freqMoves] of [[true, false, false], [false, true, true]]) {
      plot = await showRoom(page, roomJson(bands));
      const from = plot.handle(bands[0]);
      await page.page.mouse.move(from.x, from.y);
      if (atGrab) await page.page.keyboard.down('Shift');
      await page.page.mouse.down();
      if (atGrab) await page.page.keyboard.up('Shift');
      if (during) await page.page.keyboard.down('Shift');
      const before = (await states(page)).length;
      const to = plot.client(plot.g.x(3000), plot.g.y(-8));
      await page.page.mouse.move(to.x, to.y, { steps: 5 });
      if (during) await page.page.keyboard.up('Shift');
      await page.page.mouse.up();
      const sent = (await states(page)).slice(before).map((s) => s.bands[0]);
      assert.ok(sent.length >= 3);
      assert.equal(sent.at(-1).gainDb, -8);
      assert.equal(sent.every((b) => b.freqHz === 1000), !freqMoves, `Shift at the grab ${atGrab}: ${sent.map((b) => b.freqHz)}`);
    }
  });
});

test('the wheel over a handle scales its Q and sends one "state"; over empty space the page scrolls and nothing is sent', async () => {
  const bands = [bell(1000, -3, 2), bell(100, -6, 24)];
  await withConsole(SCALED, async (page) => {
    const plot = await showRoom(page, roomJson(bands));
    // [band, modifier held, wheel delta (negative is up), factor]
    const cases = [
      [0, null, -100, 1.12], [0, null, 100, 1 / 1.12], [0, 'Alt', -100, 1.02], [0, 'Alt', 100, 1 / 1.02],
      [0, null, 0, 1.12], [1, null, -100, 1],
    ];
    const q = bands.map((b) => b.q);
    for (const [i, key, delta, factor] of cases) {
      const at = plot.handle(bands[i]);
      await page.page.mouse.move(at.x, at.y);
      const before = (await states(page)).length;
      if (key) await page.page.keyboard.down(key);
      await page.page.mouse.wheel(0, delta);
      if (key) await page.page.keyboard.up(key);
      await page.settle();
      const sent = (await states(page)).slice(before);
      q[i] = Math.min(24, round(q[i] * factor, 2));
      assert.equal(sent.length, 1, `${key} ${delta}`);
      assert.equal(sent[0].bands[i].q, q[i], `${key} ${delta}`);
    }
    assert.equal(q[1], 24, 'Q 24 stays 24');
    assert.deepEqual(await handleLabels(page), [`100 Hz  ${MINUS}6.0 dB  Q24.0`], 'the band is selected');

    const empty = plot.client(plot.g.x(5000), plot.g.y(9));
    const before = (await states(page)).length;
    await page.page.mouse.move(empty.x, empty.y);
    await page.page.mouse.wheel(0, -100);
    await page.settle();
    assert.equal((await states(page)).length, before, 'nothing sent');
    assert.equal(await dispatch(page, 'wheel', empty, { deltaY: 100 }), true, 'over empty space the scroll goes ahead');
    assert.equal(await dispatch(page, 'wheel', plot.handle(bands[0]), { deltaY: 100 }), false, 'over a handle it is taken');
  });
});

test('a tie goes to the earlier band, a press on empty space deselects, and a band beyond the edge cannot be grabbed', async () => {
  // Two handles on one spot, told apart by their Q.
  const a = bell(500, -4, 3);
  const b = bell(500, -4, 5);
  await withConsole(SCALED, async (page) => {
    // [bands in list order, the Q of the band a press beside them selects]
    for (const [list, chosen] of [[[a, b], 'Q3.0'], [[b, a], 'Q5.0']]) {
      const plot = await showRoom(page, roomJson(list));
      const beside = plot.client(plot.g.x(500) + 5, plot.g.y(-4) - 7);
      await dispatch(page, 'pointerdown', beside, { buttons: 1 });
      await dispatch(page, 'pointerup', beside, { buttons: 0 });
      assert.deepEqual(await handleLabels(page), [`500 Hz  ${MINUS}4.0 dB  ${chosen}`]);
    }
    const plot = await plotOf(page, roomJson([b, a]));
    const sent = (await states(page)).length;
    const empty = plot.client(plot.g.x(5000), plot.g.y(9));
    await page.page.mouse.move(empty.x, empty.y);
    await page.page.mouse.down();
    await page.page.mouse.up();
    assert.deepEqual(await handleLabels(page), [], 'deselected');
    assert.equal((await states(page)).length, sent, 'nothing sent');

    // At 24 kHz the handle's centre lies beyond the canvas, yet within 16 px of its right margin.
    const far = bell(24000, -3, 2);
    const edge = await showRoom(page, roomJson([far]));
    assert.ok(edge.g.x(24000) > edge.g.x1 + 8 && edge.g.x(24000) - 15 < edge.width, `x ${edge.g.x(24000)} of ${edge.width}`);
    const reach = { x: edge.width - 1, y: edge.g.y(-3) };
    assert.deepEqual(await pixels(page, [[reach.x, reach.y]]), [[0, 0, 0, 0]], 'not drawn');
    const at = edge.client(reach.x, reach.y);
    await page.page.mouse.move(at.x, at.y);
    assert.equal(await cursor(page), 'crosshair');
    await page.page.mouse.down();
    await page.page.mouse.move(at.x - 30, at.y + 30);
    await page.page.mouse.up();
    assert.equal(await dispatch(page, 'wheel', at, { deltaY: -100 }), true, 'the wheel scrolls the page');
    assert.deepEqual(await handleLabels(page), []);
    assert.equal((await states(page)).length, sent, 'nothing grabbed, nothing sent');
  });
});

// Presses on the band's handle and moves it, still pressed, to the frequency and gain; gives the
// window position it was moved to.
async function dragHandle(page, plot, band, freqHz, gainDb) {
  const from = plot.handle(band);
  await page.page.mouse.move(from.x, from.y);
  await page.page.mouse.down();
  const to = plot.client(plot.g.x(freqHz), plot.g.y(gainDb));
  await page.page.mouse.move(to.x, to.y);
  return to;
}

// Marks the canvas of the current render, so that a later look can tell whether a render ran.
const markCanvas = (page) => page.page.evaluate(() => { document.querySelector('.plotwrap canvas').__old = true; });
const rendered = (page) => page.page.evaluate(() => !document.querySelector('.plotwrap canvas').__old);

test('a drag ends with its "state" when a move comes with no button or the capture is lost, and later moves edit nothing', async () => {
  const bands = [bell(1000, -3, 2)];
  // [how the drag's end reaches the page, with the pointer still held as far as the browser knows]
  const ends = [
    ['a move with no button', (page, at) => dispatch(page, 'pointermove', at, { buttons: 0 })],
    ['the capture lost', async (page, at) => {
      await page.page.evaluate(() => document.querySelector('.plotwrap canvas').releasePointerCapture(1));
      // The loss is delivered with the next pointer event.
      await page.page.mouse.move(at.x + 3, at.y + 3);
    }],
  ];
  for (const [name, end] of ends) {
    await withConsole(SCALED, async (page) => {
      const plot = await showRoom(page, roomJson(bands));
      const to = await dragHandle(page, plot, bands[0], 2000, -6);
      assert.equal(await page.page.evaluate(() => document.querySelector('.plotwrap canvas').hasPointerCapture(1)), true, name);
      await markCanvas(page);
      await page.hostSend('library', { names: ['Den'] });
      assert.equal(await rendered(page), false, `${name}: the drag holds host renders`);

      await end(page, to);
      await page.settle();
      const sent = await states(page);
      assert.equal(sent.length, 2, `${name}: the move and the drag's end`);
      assert.deepEqual([sent[1].bands[0].freqHz, sent[1].bands[0].gainDb], [2000, -6], name);
      assert.equal(await rendered(page), true, `${name}: the owed render runs once the drag has ended`);

      // The browser still thinks the button is down: these moves carry it, yet edit nothing.
      for (let i = 1; i <= 4; i += 1) {
        await page.page.mouse.move(to.x + 10 * i, to.y - 10 * i);
        await dispatch(page, 'pointermove', plot.client(plot.g.x(3000), plot.g.y(-i)), { buttons: 0 });
      }
      await page.page.mouse.up();
      await page.settle();
      assert.equal((await states(page)).length, 2, `${name}: nothing more is sent`);
    });
  }
});

test('a drag keeps host renders waiting while the window loses focus, until it ends', async () => {
  const bands = [bell(1000, -3, 2)];
  await withConsole(SCALED, async (page) => {
    const plot = await showRoom(page, roomJson(bands));
    const to = await dragHandle(page, plot, bands[0], 2000, -6);
    await markCanvas(page);
    await page.page.evaluate(() => window.dispatchEvent(new Event('blur')));
    await page.hostSend('library', { names: ['Den'] });
    await page.settle();
    assert.equal(await rendered(page), false, 'the drag goes on under the pointer');
    await page.page.mouse.move(to.x + 20, to.y);
    await page.page.mouse.up();
    await page.settle();
    assert.equal(await rendered(page), true);
    assert.equal((await states(page)).length, 3, 'two moves and the release');
  });
});

// Wraps the profile module's response function: `calls` counts every call and `rebuilds` every
// burst of calls made within one task, which is how the plot fills its whole curve cache.
function countResponses() {
  const profile = window.BrindleProfile;
  const responseDb = profile.responseDb;
  const count = { calls: 0, rebuilds: 0 };
  let open = false;
  profile.responseDb = function (...args) {
    count.calls += 1;
    if (!open) {
      open = true;
      count.rebuilds += 1;
      queueMicrotask(() => { open = false; });
    }
    return responseDb.apply(this, args);
  };
  window.__responses = count;
}

test('hover, crosshair and selection frames draw from the curve cache; a drag step rebuilds it once', async () => {
  const bands = [bell(100, -6, 3), bell(1000, -3, 2, 'left'), bell(5000, 2, 1, 'right')];
  await withConsole(SCALED, async (page) => {
    const plot = await showRoom(page, roomJson(bands));
    await page.page.evaluate(countResponses);
    const responses = () => page.page.evaluate(() => ({ ...window.__responses }));
    const frames = (n) => page.page.evaluate((count) => new Promise((resolve) => {
      const next = (left) => (left ? requestAnimationFrame(() => next(left - 1)) : resolve());
      next(count);
    }), n);

    for (let i = 0; i < 12; i += 1) {
      const at = plot.client(plot.g.x(30 * 1.7 ** i), plot.g.y(-8 + i));
      await page.page.mouse.move(at.x, at.y);
      await frames(1);
    }
    const hover = plot.handle(bands[0]);
    await page.page.mouse.move(hover.x, hover.y);
    await frames(2);
    const empty = plot.client(plot.g.x(5000), plot.g.y(9));
    await page.page.mouse.move(empty.x, empty.y);
    await page.page.mouse.down();
    await page.page.mouse.up();
    await frames(3);
    assert.deepEqual(await responses(), { calls: 0, rebuilds: 0 }, 'hover, crosshair and a deselection only repaint');

    const grab = plot.handle(bands[1]);
    await page.page.mouse.move(grab.x, grab.y);
    await page.page.mouse.down();
    await frames(2);
    assert.deepEqual(await responses(), { calls: 0, rebuilds: 0 }, 'a selection only repaints');
    const to = plot.client(plot.g.x(1500), plot.g.y(-5));
    await page.page.mouse.move(to.x, to.y);
    await frames(4);
    const step = await responses();
    assert.equal(step.rebuilds, 1, 'one rebuild for one drag step');
    assert.equal(step.calls % C.CURVE_N, 0, `${step.calls} calls fill whole curves`);
    await page.page.mouse.up();
  });
});

test('the demo room is photographed: at 1120 px with a handle selected and the crosshair, bypassed, at 620 px, and at 150 % on a device of scale 2', async () => {
  const demo = Profile.stateForProfile(Profile.readProfile(require('../../../plugin/ui/demo-profile.js')).profile);
  const dir = path.join(ROOT, 'build', 'page-screenshots');
  fs.mkdirSync(dir, { recursive: true });
  const shots = [
    ['console-plot-demo-1120', { viewport: { width: 1120, height: 860 } }, {}],
    ['console-plot-demo-bypassed-1120', { viewport: { width: 1120, height: 860 } }, { bypass: true }],
    ['console-plot-demo-620', { viewport: { width: 620, height: 860 } }, {}],
    ['console-plot-demo-150', SCALED, {}],
  ];
  for (const [name, options, fields] of shots) {
    await withConsole(options, async (page) => {
      const json = Profile.toJson({ ...demo, ...fields });
      const plot = await showRoom(page, json);
      const band = demo.bands[3];
      const at = plot.handle(band);
      await page.page.mouse.move(at.x, at.y);
      await page.page.mouse.down();
      await page.page.mouse.up();
      const hover = plot.client(plot.g.x(700), plot.g.y(-7));
      await page.page.mouse.move(hover.x, hover.y);
      const texts = await frameText(page);
      assert.ok(texts.some((t) => t.text.startsWith(`${C.fmtHz(band.freqHz)} Hz  `)), `${name}: the selected handle's label`);
      assertThemed(await photograph(page, path.join(dir, `${name}.png`)), name);
    });
  }
});
