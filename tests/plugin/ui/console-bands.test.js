'use strict';

// The band bar, its knobs and typed fields, and the filter table, in a real browser with the fake
// host: every edit leaves as one "state", and nothing the user is doing is overwritten or rebuilt
// under them.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const Profile = require('../../../ui/js/profile.js');
const demoProfile = require('../../../plugin/ui/demo-profile.js');
const { ROOT, browserForTests, seedDevices, seedLibrary } = require('./browser-harness.js');
const { photograph, assertThemed } = require('./photograph.js');
const { pluginWith } = require('./plugin-probe.js');

const withConsole = browserForTests(test);

const DEMO = Profile.toJson(Profile.stateForProfile(Profile.readProfile(demoProfile).profile));
const HINT = 'No filter selected \u2014 click a dot on the curve.';

const band = (freqHz, gainDb, q, stereo = 'stereo', on = true) => ({ freqHz, gainDb, q, type: 'bell', stereo, on });

// A room as a load leaves it (its bands are its baseline), or as a restore from a build that kept
// no baseline.
function room(bands, { baseline = true } = {}) {
  const state = Profile.stateForProfile({ name: 'Test room', suggestedPct: 65, bands });
  if (!baseline) state.baseline = null;
  return Profile.toJson(state);
}

// One band at 1000 Hz, -6 dB, Q 4.5: the figures of the arrow steps.
const ONE = room([band(1000, -6, 4.5), band(96, -6.4, 4.5, 'left'), band(3162, -1, 1.414, 'right')]);

const key = (k) => `[data-key="${k}"]`;

async function states(page) {
  return (await page.emits()).filter(([name]) => name === 'state').map(([, text]) => JSON.parse(text));
}

async function stateCount(page) {
  await page.settle();
  return (await states(page)).length;
}

async function lastBand(page, id) {
  const all = await states(page);
  return all[all.length - 1].bands.find((b) => b.id === id);
}

// Selects a band the way a user does without the plot: a click on its table row.
async function selectRow(page, id) {
  await page.page.click(`${key(`row:${id}`)} td.who`);
}

// The room restored and its filter table open in the strip (a probe's strip shows it at once).
async function loaded(page, text, selected) {
  await page.hostSend('restore', text);
  if (await page.page.$(key('cell:filters'))) await page.page.click(key('cell:filters'));
  if (selected) await selectRow(page, selected);
}

function barText(page) {
  return page.page.evaluate(() => {
    const k = document.querySelector('.bb-id k');
    return {
      heading: k && k.textContent,
      sub: k && document.querySelector('.bb-sub').textContent,
      width: k && document.querySelector('.inspwidth').textContent,
      hint: (document.querySelector('.bb-hint') || {}).textContent || null,
    };
  });
}

// Marks every element now in the window, so a test can tell a rebuilt control from the same one.
function markOld(page) {
  return page.page.evaluate(() => {
    for (const node of document.querySelectorAll('#app *')) node.__old = true;
  });
}

function isOld(page, selector) {
  return page.page.evaluate((sel) => Boolean(document.querySelector(sel).__old), selector);
}

async function centre(page, selector) {
  const box = await page.page.locator(selector).boundingBox();
  return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
}

// Presses the pointer on a knob of the band bar; gives the point pressed.
async function grabKnob(page, name) {
  const at = await centre(page, key(`knob:${name}`));
  await page.page.mouse.move(at.x, at.y);
  await page.page.mouse.down();
  return at;
}

test('the band bar keeps one height with and without a filter, and wraps its knobs under the heading at 620 px', async () => {
  for (const width of [1120, 621, 620]) {
    await withConsole({ viewport: { width, height: 860 } }, async (page) => {
      await loaded(page, DEMO);
      const height = () => page.page.evaluate(() => document.querySelector('.bandbar').getBoundingClientRect().height);
      assert.deepEqual(await barText(page), { heading: null, sub: null, width: null, hint: HINT }, `${width} px`);
      const empty = await height();
      await selectRow(page, 'b3');
      assert.equal(await height(), empty, `${width} px: selecting a filter`);
      await selectRow(page, 'b8');
      assert.equal(await height(), empty, `${width} px: selecting another`);
      const wrapped = await page.page.evaluate(() => {
        const box = (s) => document.querySelector(s).getBoundingClientRect();
        return box('.knobrow').top >= box('.bb-id').bottom;
      });
      assert.equal(wrapped, width <= 620, `${width} px: the knobs on a line of their own`);
      await page.page.click(key('band:close'));
      assert.equal(await height(), empty, `${width} px: deselecting`);
    });
  }
});

test('the heading, the sub line and the width note name the band', async () => {
  // [band id, heading, sub line, width note]
  const cases = [
    ['b0', '1.0k Hz B5', 'Bell · both channels', '0.32 oct wide'],
    ['b1', '96 Hz G2', 'Bell · L this side only', '0.32 oct wide'],
    ['b2', '3.16k Hz', 'Bell · R this side only', '1.00 oct wide'],
  ];
  await withConsole({}, async (page) => {
    await loaded(page, ONE);
    for (const [id, heading, sub, width] of cases) {
      await selectRow(page, id);
      assert.deepEqual(await barText(page), { heading, sub, width, hint: null }, id);
    }
    // The blank before the note survives every rewrite of the heading.
    await selectRow(page, 'b0');
    await page.page.focus(key('knob:freq'));
    await page.page.keyboard.press('ArrowUp');
    assert.equal((await barText(page)).heading, '1.17k Hz D6');
    await selectRow(page, 'b2');
    const pill = await page.page.evaluate(() => document.querySelector('.bb-sub .chanpill').className);
    assert.equal(pill, 'chanpill r');
  });
});

test('arrow keys and the wheel step a knob by its share of the sweep, one "state" each', async () => {
  // [knob, how, field read, value after]
  const cases = [
    ['freq', 'ArrowUp', 'freqHz', 1168.4],
    ['freq', 'ArrowRight', 'freqHz', 1168.4],
    ['freq', 'ArrowDown', 'freqHz', 855.8],
    ['freq', 'Shift+ArrowUp', 'freqHz', 1015.7],
    ['q', 'ArrowUp', 'q', 5.02],
    ['q', 'Shift+ArrowUp', 'q', 4.55],
    ['q', 'ArrowLeft', 'q', 4.03],
    ['gain', 'ArrowUp', 'gainDb', -5.2],
    ['gain', 'Shift+ArrowUp', 'gainDb', -5.9],
    ['gain', 'ArrowDown', 'gainDb', -6.8],
    ['freq', 'wheel up', 'freqHz', 1080.9],
    ['q', 'wheel down', 'q', 4.26],
    ['gain', 'wheel down', 'gainDb', -6.4],
    ['gain', 'Shift+wheel up', 'gainDb', -5.9],
    // A wheel with no vertical movement counts as up.
    ['gain', 'wheel none', 'gainDb', -5.6],
  ];
  const wheel = { up: -100, down: 100, none: 0 };
  for (const [knob, how, field, want] of cases) {
    await withConsole({}, async (page) => {
      await loaded(page, ONE, 'b0');
      const before = await stateCount(page);
      const selector = key(`knob:${knob}`);
      if (how.includes('wheel')) {
        const at = await centre(page, selector);
        await page.page.mouse.move(at.x, at.y);
        if (how.startsWith('Shift')) await page.page.keyboard.down('Shift');
        await page.page.mouse.wheel(0, wheel[how.split(' ').pop()]);
        if (how.startsWith('Shift')) await page.page.keyboard.up('Shift');
      } else {
        await page.page.focus(selector);
        await page.page.keyboard.press(how);
      }
      assert.equal(await stateCount(page), before + 1, `${knob} ${how}: one state`);
      assert.equal((await lastBand(page, 'b0'))[field], want, `${knob} ${how}`);
      assert.equal(await page.page.evaluate(() => window.scrollY + document.getElementById('stage').scrollTop), 0, 'the wheel never scrolls the page');
    });
  }
});

test('a fine step that the rounding would swallow still moves the knob one unit', async () => {
  await withConsole({}, async (page) => {
    await loaded(page, room([band(100, -3, 0.2)]), 'b0');
    await page.page.focus(key('knob:q'));
    await page.page.keyboard.press('Shift+ArrowUp');
    assert.equal((await lastBand(page, 'b0')).q, 0.21);
    await page.page.keyboard.press('Shift+ArrowDown');
    assert.equal((await lastBand(page, 'b0')).q, 0.2);
    // At the end of the range nothing is forced past it.
    await loaded(page, room([band(100, -3, 24)]), 'b0');
    await page.page.focus(key('knob:q'));
    await page.page.keyboard.press('Shift+ArrowUp');
    assert.equal((await lastBand(page, 'b0')).q, 24);
  });
});

test('a 180 px drag covers the whole range, 720 px with Shift, one "state" per move and none at the release', async () => {
  await withConsole({}, async (page) => {
    await loaded(page, room([band(10, -6, 4.5)]), 'b0');
    const at = await grabKnob(page, 'freq');
    const freqs = [];
    assert.equal(await page.page.evaluate(() => document.querySelector('.knob3').classList.contains('turning')), true);
    for (const dy of [-90, -180, -400, 0]) {
      await page.page.mouse.move(at.x, at.y + dy);
      freqs.push((await lastBand(page, 'b0')).freqHz);
    }
    await page.page.keyboard.down('Shift');
    await page.page.mouse.move(at.x, at.y - 180);
    freqs.push((await lastBand(page, 'b0')).freqHz);
    await page.page.keyboard.up('Shift');
    const moves = await stateCount(page);
    await page.page.mouse.up();
    assert.deepEqual(freqs, [489.9, 24000, 24000, 10, 70]);
    assert.equal(await stateCount(page), moves, 'the release sends nothing');
    assert.equal(moves, 5);
    assert.equal(await page.page.evaluate(() => document.querySelector('.knob3').classList.contains('turning')), false);
    assert.equal(await page.page.evaluate(() => document.activeElement.dataset.key), 'knob:freq', 'a pressed knob takes focus');
  });
});

test('a knob drag ends when a move comes with no button held or the capture is lost', async () => {
  const ends = {
    'a move with no button': (page) => page.page.evaluate(() => {
      document.querySelector('[data-key="knob:gain"]').dispatchEvent(new PointerEvent('pointermove', { pointerId: 1, buttons: 0, clientY: 0, bubbles: true }));
    }),
    'the capture lost': (page) => page.page.evaluate(() => document.querySelector('[data-key="knob:gain"]').releasePointerCapture(1)),
  };
  for (const [name, end] of Object.entries(ends)) {
    await withConsole({}, async (page) => {
      await loaded(page, ONE, 'b0');
      const at = await grabKnob(page, 'gain');
      await page.page.mouse.move(at.x, at.y - 30);
      const during = await stateCount(page);
      await end(page);
      // The pointer is still down as far as the page's mouse knows: hovering must not edit.
      await page.page.mouse.move(at.x, at.y - 60);
      await page.page.mouse.move(at.x, at.y - 90);
      assert.equal(await stateCount(page), during, `${name}: later moves edit nothing`);
      assert.equal(await page.page.evaluate(() => document.querySelector('[data-key="knob:gain"]').classList.contains('turning')), false, name);
      await page.page.mouse.up();
    });
  }
});

test('a double-click resets a knob to the band as loaded; without a baseline it sends the value unchanged', async () => {
  // [room, the band's gain after the double-click]
  const cases = [[ONE, -6], [room([band(1000, -6, 4.5)], { baseline: false }), -5.2]];
  for (const [text, want] of cases) {
    await withConsole({}, async (page) => {
      await loaded(page, text, 'b0');
      await page.page.focus(key('knob:gain'));
      await page.page.keyboard.press('ArrowUp');
      assert.equal((await lastBand(page, 'b0')).gainDb, -5.2);
      const before = await stateCount(page);
      await page.page.dblclick(key('knob:gain'));
      await page.settle();
      // The two presses of the double-click move nothing; the reset is one more "state".
      assert.equal(await stateCount(page), before + 1);
      assert.equal((await lastBand(page, 'b0')).gainDb, want);
      assert.equal(await page.page.inputValue(key('field:gain')), want.toFixed(1));
    });
  }
});

test('the gain knob fills from 0 dB to either side, mirrored, and draws its sweep in a 46-unit box', async () => {
  await withConsole({}, async (page) => {
    await loaded(page, room([band(100, 0, 1), band(100, -6, 1), band(100, 6, 1)]));
    const shapes = [];
    for (const id of ['b0', 'b1', 'b2']) {
      await selectRow(page, id);
      shapes.push(await page.page.evaluate(() => {
        const dial = document.querySelector('[data-key="knob:gain"]');
        const fill = dial.querySelector('.k-fill');
        const length = fill.getAttribute('d') ? fill.getTotalLength() : 0;
        const start = length ? fill.getPointAtLength(0) : null;
        return {
          box: dial.getAttribute('viewBox'),
          size: dial.getBoundingClientRect().width,
          length: Math.round(length * 100) / 100,
          startX: start && Math.round(start.x),
          value: dial.getAttribute('aria-valuetext'),
          role: dial.getAttribute('role'),
          range: [dial.getAttribute('aria-valuemin'), dial.getAttribute('aria-valuemax')],
        };
      }));
    }
    const [zero, cut, boost] = shapes;
    assert.deepEqual(zero, { box: '0 0 46 46', size: 44, length: 0, startX: null, value: '0.0 dB', role: 'slider', range: ['-30', '12'] });
    assert.equal(cut.value, '-6.0 dB');
    assert.equal(boost.value, '6.0 dB');
    assert.ok(cut.length > 5, 'a cut draws an arc');
    assert.equal(cut.length, boost.length, 'a cut and a boost of one size mirror each other');
    assert.ok(cut.startX < boost.startX, 'the cut runs left of 0 dB, the boost right');
    const track = await page.page.evaluate(() => Math.round(document.querySelector('.k-track').getTotalLength() * 10) / 10);
    assert.equal(track, Math.round(17 * 1.5 * Math.PI * 10) / 10, 'the track sweeps 270 degrees');
  });
});

test('the gain field commits once per edit, on Enter or on leaving, never per keystroke', async () => {
  // [what is typed over the selected text, how it ends, what the field shows, the gain sent or
  // null for nothing sent]
  const cases = [
    ['999', 'Enter', '12.0', 12],
    ['1,5', 'Enter', '1.5', 1.5],
    ['-40', 'Tab', '-30.0', -30],
    ['3', 'Tab', '3.0', 3],
    ['abc', 'Enter', '-6.0', null],
    ['', 'Enter', '-6.0', null],
    ['3', 'Escape', '-6.0', null],
    [null, 'Tab', '-6.0', null],
  ];
  for (const [typed, end, shown, sent] of cases) {
    const label = `${JSON.stringify(typed)} then ${end}`;
    await withConsole({}, async (page) => {
      await loaded(page, ONE, 'b0');
      await page.page.click(key('field:gain'));
      const selected = await page.page.evaluate(() => String(window.getSelection()));
      assert.equal(selected, '-6.0', 'focus selects the whole text');
      if (typed === '') await page.page.keyboard.press('Backspace');
      else if (typed) await page.page.keyboard.type(typed);
      const before = await stateCount(page);
      assert.equal(before, 0, `${label}: nothing sent while typing`);
      await page.page.keyboard.press(end);
      await page.settle();
      const after = await states(page);
      assert.equal(after.length, sent === null ? 0 : 1, `${label}: states`);
      if (sent !== null) assert.equal(after[0].bands[0].gainDb, sent, label);
      assert.equal(await page.page.inputValue(key('field:gain')), shown, label);
      assert.notEqual(await page.page.evaluate(() => document.activeElement.dataset.key), 'field:gain', `${label}: the field is left`);
    });
  }
});

test('Arrow Up and Down step a typed field and commit at once, keeping focus and freeing the held render', async () => {
  // [the field, what is typed first, the key, what it shows and sends]
  const cases = [
    ['gain', null, 'ArrowUp', '-5.9', -5.9],
    ['gain', '3', 'ArrowUp', '3.1', 3.1],
    ['freq', null, 'ArrowDown', '999.9', 999.9],
    ['q', null, 'ArrowUp', '4.51', 4.51],
  ];
  const fields = { gain: 'gainDb', freq: 'freqHz', q: 'q' };
  for (const [field, typed, press, shown, sent] of cases) {
    await withConsole({}, async (page) => {
      await loaded(page, ONE, 'b0');
      await page.page.click(key(`field:${field}`));
      if (typed) await page.page.keyboard.type(typed);
      await page.page.keyboard.press(press);
      assert.equal(await stateCount(page), 1, `${field} ${press}`);
      assert.equal((await lastBand(page, 'b0'))[fields[field]], sent);
      assert.equal(await page.page.inputValue(key(`field:${field}`)), shown);
      // Still in the field, and with nothing left to commit a host render is not held.
      await markOld(page);
      await page.hostSend('library', seedLibrary(['Den']));
      await page.settle();
      assert.equal(await isOld(page, key(`field:${field}`)), false, 'the render ran');
      assert.equal(await page.page.evaluate(() => document.activeElement.dataset.key), `field:${field}`, 'focus is kept');
      assert.equal(await stateCount(page), 1);
    });
  }
});

test('a repaint or a host message never overwrites text being typed, and a knob drag outlives a "devices"', async () => {
  await withConsole({}, async (page) => {
    await loaded(page, ONE, 'b0');
    await page.page.click(key('field:gain'));
    await page.page.keyboard.type('3');
    // A wheel on another knob repaints everything while the gain field keeps focus.
    const q = await centre(page, key('knob:q'));
    await page.page.mouse.move(q.x, q.y);
    await page.page.mouse.wheel(0, -100);
    assert.equal(await stateCount(page), 1, 'the wheel sent its state');
    assert.equal(await page.page.inputValue(key('field:gain')), '3', 'the repaint kept the text');
    await markOld(page);
    await page.hostSend('library', seedLibrary(['Den']));
    await page.settle();
    assert.equal(await isOld(page, key('field:gain')), true, 'the render waits');
    assert.equal(await page.page.inputValue(key('field:gain')), '3');
    assert.equal(await page.page.evaluate(() => document.activeElement.dataset.key), 'field:gain');
    await page.page.keyboard.press('Enter');
    await page.settle();
    assert.equal(await isOld(page, key('field:gain')), false, 'and runs once the text is committed');
    assert.equal(await page.page.inputValue(key('field:gain')), '3.0');
    assert.equal((await lastBand(page, 'b0')).gainDb, 3);
  });

  await withConsole({}, async (page) => {
    await loaded(page, ONE, 'b0');
    const at = await grabKnob(page, 'gain');
    await page.page.mouse.move(at.x, at.y - 20);
    await markOld(page);
    await page.hostSend('devices', seedDevices());
    await page.settle();
    await page.page.mouse.move(at.x, at.y - 40);
    const dial = await page.page.evaluate(() => {
      const node = document.querySelector('[data-key="knob:gain"]');
      return { old: Boolean(node.__old), turning: node.classList.contains('turning') };
    });
    assert.deepEqual(dial, { old: true, turning: true }, 'the same knob, still turning');
    assert.equal(await stateCount(page), 2);
    // 40 px of the 180 that cover -30 .. +12 dB: -6 + 9.33.
    assert.equal((await lastBand(page, 'b0')).gainDb, 3.3);
    await page.page.mouse.up();
    await page.settle();
    assert.equal(await isOld(page, key('knob:gain')), false, 'the render ran after the release');
  });
});

test('On/Off flips the band, greys its row and keeps keyboard focus on the new button', async () => {
  for (const press of ['Enter', 'Space']) {
    await withConsole({}, async (page) => {
      await loaded(page, DEMO, 'b3');
      await page.page.focus(key('band:b3:on'));
      await markOld(page);
      await page.page.keyboard.press(press);
      const got = await page.page.evaluate(() => {
        const a = document.activeElement;
        const row = document.querySelector('[data-key="row:b3"]');
        return {
          key: a.dataset.key, fresh: !a.__old, text: a.textContent, ring: a.matches(':focus-visible'),
          row: row.classList.contains('off'), tableSwitch: document.querySelector('[data-key="row:b3:on"]').getAttribute('aria-pressed'),
        };
      });
      assert.deepEqual(got, { key: 'band:b3:on', fresh: true, text: 'Off', ring: true, row: true, tableSwitch: 'false' }, press);
      assert.equal((await lastBand(page, 'b3')).on, false);
      await page.page.keyboard.press(press);
      assert.equal(await page.page.evaluate(() => document.activeElement.textContent), 'On');
      assert.equal((await lastBand(page, 'b3')).on, true);
      assert.equal(await stateCount(page), 2);
    });
  }
});

test('"×" deselects without sending, and no later render selects the band again', async () => {
  await withConsole({}, async (page) => {
    await loaded(page, DEMO, 'b3');
    assert.equal(await page.page.evaluate(() => document.querySelector('[data-key="row:b3"]').classList.contains('sel')), true);
    await page.page.click(key('band:close'));
    assert.equal((await barText(page)).hint, HINT);
    assert.equal(await page.page.evaluate(() => document.querySelector('.bandbar').classList.contains('empty')), true);
    assert.equal(await page.page.evaluate(() => document.querySelectorAll('.bandtable tr.sel').length), 0);
    await page.hostSend('library', seedLibrary(['Den']));
    await page.hostSend('devices', seedDevices());
    await page.settle();
    assert.equal((await barText(page)).hint, HINT, 'after host renders');
    assert.equal(await stateCount(page), 0);
  });
});

test('Enter with focus on a knob presses nothing and sends nothing', async () => {
  // The strip lights a button of its own, so that Enter has something it could press.
  const lit = pluginWith({
    settingsStrip: `
  function settingsStrip() {
    const go = el('button', { type: 'button', onclick: () => { root.__presses = (root.__presses || 0) + 1; } }, 'Go');
    stripBeacon = beacon(go, {});
    return { el: el('div', { class: 'strip' }, [stripBeacon, bandTable()]) };
  }`,
  });
  await withConsole({ files: { 'plugin.js': lit } }, async (page) => {
    await page.page.evaluate(() => { document.getElementById('fileInput').click = () => { window.__picker = true; }; });
    await loaded(page, ONE, 'b0');
    const presses = () => page.page.evaluate(() => window.__presses || 0);
    await page.page.evaluate(() => document.activeElement.blur());
    await page.page.keyboard.press('Enter');
    assert.equal(await presses(), 1, 'Enter on the body presses the lit button');
    for (const k of ['knob:freq', 'knob:gain', 'knob:q']) {
      await page.page.focus(key(k));
      await page.page.keyboard.press('Enter');
      assert.equal(await presses(), 1, k);
    }
    assert.equal(await stateCount(page), 0, 'nothing is sent');
    assert.equal(await page.page.evaluate(() => window.__picker || false), false, 'no file chooser');
  });
});

test('Tab to a typed field rings it; a click does not', async () => {
  const ring = (page, selector) => page.page.evaluate((sel) => {
    const node = document.querySelector(sel);
    const s = getComputedStyle(node);
    return { focused: document.activeElement === node, outline: `${s.outlineWidth} ${s.outlineStyle} ${s.outlineColor}`, offset: s.outlineOffset, radius: s.borderTopLeftRadius };
  }, selector);
  await withConsole({}, async (page) => {
    await loaded(page, ONE, 'b0');
    // [control, its ring from the keyboard]
    const controls = [
      ['field:gain', { focused: true, outline: '2px solid rgb(220, 75, 46)', offset: '3px', radius: '8px' }],
      ['knob:gain', { focused: true, outline: '3px solid rgb(220, 75, 46)', offset: '2px', radius: '50%' }],
    ];
    for (const [k, want] of controls) {
      await page.page.focus(key('knob:freq'));
      for (let i = 0; i < 6 && !(await ring(page, key(k))).focused; i += 1) await page.page.keyboard.press('Tab');
      assert.deepEqual(await ring(page, key(k)), want, `${k} from the keyboard`);
      await page.page.click(key(k));
      const clicked = await ring(page, key(k));
      assert.deepEqual([clicked.focused, clicked.outline.split(' ')[1]], [true, 'none'], `${k} clicked`);
    }
  });
});

test('the filter table lists each band with its name, values, side, applied gain and switch', async () => {
  await withConsole({}, async (page) => {
    await loaded(page, DEMO);
    const table = () => page.page.evaluate(() => ({
      heads: [...document.querySelectorAll('.bandtable th')].map((th) => th.textContent),
      rows: [...document.querySelectorAll('.bandtable tbody tr')].map((tr) => {
        const cells = tr.querySelectorAll('td');
        return [
          cells[0].textContent, cells[0].querySelector('.swatch').className,
          ...[...tr.querySelectorAll('input')].map((i) => i.value), tr.querySelector('select').value,
          cells[5].textContent, cells[5].className, cells[2].className, tr.className,
        ];
      }),
    }));
    let got = await table();
    assert.deepEqual(got.heads, ['Filter', 'Freq', 'Gain', 'Q', 'Side', 'Applied', 'On']);
    assert.equal(got.rows.length, 11);
    assert.deepEqual(got.rows[0], ['Cut · 45 Hz  F\u266F1', 'swatch', '45', '-5.1', '5.2', 'stereo', '\u22123.3 dB', 'num cut', 'num cut', '']);
    assert.deepEqual(got.rows[3], ['Cut · 96 Hz  G2', 'swatch l', '96', '-4.25', '4.2', 'left', '\u22122.8 dB', 'num cut', 'num cut', '']);
    assert.deepEqual(got.rows[5], ['Boost · 130 Hz  C3', 'swatch', '130', '2.5', '3.2', 'stereo', '+1.6 dB', 'num boost', 'num boost', '']);
    assert.deepEqual(got.rows[8].slice(0, 2), ['Cut · 3.16k Hz', 'swatch']);
    const switches = await page.page.evaluate(() => [...document.querySelectorAll('.bandtable .rowbtn')].map((b) => [b.className, b.getAttribute('aria-pressed'), b.title, b.getAttribute('aria-label'), b.textContent]));
    assert.deepEqual(switches[0], ['rowbtn on', 'true', 'Switch this filter off', 'Filter on or off', '']);

    // Off: the row greys and its applied gain is a dash; bypass dashes every row.
    await page.page.click(key('row:b0:on'));
    got = await table();
    assert.deepEqual(got.rows[0].slice(6), ['\u2014', 'num muted', 'num cut', 'off']);
    assert.equal(await page.page.getAttribute(key('row:b0:on'), 'title'), 'Switch this filter on');
    assert.equal((await lastBand(page, 'b0')).on, false);
    await page.page.click('#bypassBtn');
    got = await table();
    assert.deepEqual([...new Set(got.rows.map((r) => r[6]))], ['\u2014']);
    assert.equal(await stateCount(page), 2);
  });
});

test('the table colours cuts, boosts and idle gains, greys a switched-off row and slides its switch', async () => {
  await withConsole({}, async (page) => {
    await loaded(page, DEMO);
    await page.page.addStyleTag({ content: '*, *::after { transition: none !important; }' });
    await page.page.click(key('row:b1:on'));
    await page.page.mouse.move(0, 0);
    const look = await page.page.evaluate(() => {
      const style = (sel, pseudo) => getComputedStyle(document.querySelector(sel), pseudo);
      const sw = (id) => {
        const b = document.querySelector(`[data-key="row:${id}:on"]`);
        return [b.getBoundingClientRect().width, b.getBoundingClientRect().height, style(`[data-key="row:${id}:on"]`, '::after').left, style(`[data-key="row:${id}:on"]`).backgroundColor];
      };
      return {
        cut: [style('[data-key="row:b0"] td:nth-child(6)').color, style('[data-key="row:b0:gain"]').color],
        boost: [style('[data-key="row:b5"] td:nth-child(6)').color, style('[data-key="row:b5:gain"]').color],
        idle: style('[data-key="row:b1"] td:nth-child(6)').color,
        offRow: style('[data-key="row:b1"] td').opacity,
        onRow: style('[data-key="row:b0"] td').opacity,
        switches: [sw('b0'), sw('b1')],
        scroll: style('.bandscroll').maxHeight,
      };
    });
    assert.deepEqual(look, {
      cut: ['rgb(220, 75, 46)', 'rgb(220, 75, 46)'],
      boost: ['rgb(26, 101, 96)', 'rgb(26, 101, 96)'],
      idle: 'rgb(74, 70, 64)',
      offRow: '0.42',
      onRow: '1',
      switches: [[38, 22, '19px', 'rgb(220, 75, 46)'], [38, 22, '3px', 'rgb(205, 199, 184)']],
      scroll: '260px',
    });
  });
});

test('typing in a table cell applies every keystroke, clamped and rounded, once each', async () => {
  // [cell, typed over its text, the values sent one by one, what the cell shows once left]
  const cases = [
    ['freq', '1500', [10, 15, 150, 1500], '1500'],
    ['freq', '96.25', [10, 96, 96.2, 96.3], '96.3'],
    ['gain', '-99', [-9, -30], '-30'],
    ['gain', '1,5', [1, 1.5], '1.5'],
    ['q', '30', [3, 24], '24'],
    ['q', '2.346', [2, 2.3, 2.34, 2.35], '2.35'],
    ['q', 'x', [], '4.5'],
  ];
  const fields = { freq: 'freqHz', gain: 'gainDb', q: 'q' };
  for (const [cell, typed, sent, shown] of cases) {
    await withConsole({}, async (page) => {
      await loaded(page, ONE);
      await page.page.click(key(`row:b0:${cell}`));
      await page.page.keyboard.press('Control+A');
      await page.page.keyboard.type(typed);
      await page.page.keyboard.press('Tab');
      await page.settle();
      const got = (await states(page)).map((s) => s.bands[0][fields[cell]]);
      assert.deepEqual(got, sent, `${cell} ${typed}`);
      assert.equal(await page.page.inputValue(key(`row:b0:${cell}`)), shown, `${cell} ${typed}: shown once left`);
    });
  }
});

test('a band edited from a knob, a typed cell or its side renames and recolours its row in place, as a rebuilt row shows it', async () => {
  await withConsole({}, async (page) => {
    await loaded(page, ONE, 'b0');
    const row = () => page.page.evaluate(() => {
      const tr = document.querySelector('[data-key="row:b0"]');
      return {
        name: tr.querySelector('td.who').textContent,
        swatch: tr.querySelector('.swatch').className,
        gainCell: tr.querySelector('[data-key="row:b0:gain"]').parentElement.className,
        side: tr.querySelector('select').value,
        labels: [...tr.querySelectorAll('input, select')].map((c) => c.getAttribute('aria-label')),
      };
    });
    await markOld(page);
    await page.page.click(key('row:b0:gain'));
    await page.page.keyboard.press('Control+A');
    await page.page.keyboard.type('3');
    await page.page.keyboard.press('Tab');
    await page.page.focus(key('knob:freq'));
    await page.page.keyboard.press('ArrowUp');
    await page.page.selectOption(key('row:b0:side'), 'right');
    const edited = await lastBand(page, 'b0');
    assert.deepEqual([edited.freqHz, edited.gainDb, edited.stereo], [1168.4, 3, 'right']);
    assert.equal(await isOld(page, key('row:b0')), true, 'the row was repainted, not rebuilt');
    const inPlace = await row();
    assert.equal(inPlace.name, 'Boost \u00B7 1.17k Hz  D6');
    assert.deepEqual([inPlace.swatch, inPlace.gainCell], ['swatch r', 'num boost']);

    // A click on the open cell renders the window again: the new row reads the same.
    await page.page.click(key('cell:filters'));
    assert.equal(await isOld(page, key('row:b0')), false, 'the row was rebuilt');
    assert.deepEqual(await row(), inPlace);
  });
});

test('a row click selects its band without sending; Side and On in the table rebuild the band bar', async () => {
  await withConsole({}, async (page) => {
    await loaded(page, DEMO);
    await selectRow(page, 'b0');
    assert.equal(await stateCount(page), 0, 'a selection sends nothing');
    assert.deepEqual(await barText(page), { heading: '45 Hz F\u266F1', sub: 'Bell · both channels', width: '0.28 oct wide', hint: null });
    assert.deepEqual(await page.page.evaluate(() => [...document.querySelectorAll('.bandtable tr.sel')].map((tr) => tr.dataset.key)), ['row:b0']);
    // A click on a control of another row does its work and selects nothing.
    await page.page.click(key('row:b5:q'));
    assert.equal((await barText(page)).heading, '45 Hz F\u266F1');

    await page.page.selectOption(key('row:b0:side'), 'left');
    assert.equal((await lastBand(page, 'b0')).stereo, 'left');
    assert.equal((await barText(page)).sub, 'Bell · L this side only');
    assert.equal(await page.page.evaluate(() => document.querySelector('.bb-sub .chanpill').className), 'chanpill l');
    await page.page.click(key('row:b0:on'));
    assert.equal(await page.page.textContent(key('band:b0:on')), 'Off');
    assert.equal(await page.page.getAttribute(key('band:b0:on'), 'class'), 'rowbtn');
    assert.equal(await stateCount(page), 2);

    // From the keyboard: Enter on a focused row selects it.
    await page.page.focus(key('row:b5'));
    await page.page.keyboard.press('Enter');
    assert.equal((await barText(page)).heading, '130 Hz C3');
    assert.equal(await stateCount(page), 2);
  });
});

test('24 filters scroll inside their panel, at most 260 px tall, and the strip does not move', async () => {
  const bands = Array.from({ length: 24 }, (_, i) => band(30 * 1.25 ** i, -3, 2));
  await withConsole({}, async (page) => {
    await loaded(page, room(bands));
    const look = () => page.page.evaluate(() => {
      const scroll = document.querySelector('.bandscroll');
      return {
        height: scroll.clientHeight, full: scroll.scrollHeight, rows: scroll.querySelectorAll('tbody tr').length,
        strip: document.querySelector('.strip').getBoundingClientRect().top,
        panelBottom: document.querySelector('.cellpanel').getBoundingClientRect().bottom,
        page: document.documentElement.scrollHeight, stage: document.getElementById('stage').scrollHeight - document.getElementById('stage').clientHeight,
      };
    });
    const before = await look();
    assert.equal(before.rows, 24);
    assert.ok(before.height <= 260 && before.height > 200, `the panel is ${before.height} px`);
    assert.ok(before.full > before.height, 'the list scrolls');
    assert.ok(before.panelBottom <= 860, 'the panel stays on the window');
    assert.equal(before.page, 860, 'the page itself does not scroll');
    assert.equal(before.stage, 0);
    await page.page.evaluate(() => { const s = document.querySelector('.bandscroll'); s.scrollTop = s.scrollHeight; });
    await selectRow(page, 'b23');
    const after = await look();
    assert.equal(after.strip, before.strip, 'the strip stays where it was');
    assert.equal(after.panelBottom, before.panelBottom);
  });
});

test('the demo room with a band selected is photographed at 1120 and 620 px', async () => {
  const dir = path.join(ROOT, 'build', 'page-screenshots');
  fs.mkdirSync(dir, { recursive: true });
  for (const width of [1120, 620]) {
    await withConsole({ viewport: { width, height: 860 } }, async (page) => {
      await loaded(page, DEMO, 'b3');
      await page.page.mouse.move(0, 0);
      assertThemed(await photograph(page, path.join(dir, `console-bands-${width}.png`)), `${width} px`);
    });
  }
});
