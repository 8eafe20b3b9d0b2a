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

async function loaded(page, text, selected) {
  await page.hostSend('restore', text);
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
