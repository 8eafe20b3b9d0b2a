'use strict';

// The console's look in a real browser: the theme's tokens, the scale, the breakpoints, motion.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { ROOT, browserForTests } = require('./browser-harness.js');

const withConsole = browserForTests(test);

const BONE = {
  '--paper': '#e9e5db', '--bg': '#e9e5db', '--panel': '#e9e5db', '--sink': '#cdc7b8', '--text': '#1a1815',
  '--faint': '#4a4640', '--body': '#4a4640', '--line': 'rgba(0, 0, 0, .10)', '--edge': 'rgba(0, 0, 0, .20)',
  '--accent': '#dc4b2e', '--accent2': 'rgba(220, 75, 46, .11)', '--bad': '#e4592b', '--bad-text': '#a83a12',
  '--bad2': '#f7e8de', '--confirm': '#1a6560', '--ink-text': '#ece8de', '--ink-muted': '#9c968b',
  '--ink-label': '#7d776c', '--ink-accent': '#f2694a', '--well': '#16181c', '--chan-l': '#2340ff',
  '--chan-r': '#e4592b', '--chan-l-soft': 'rgba(35, 64, 255, .12)', '--chan-r-soft': 'rgba(228, 89, 43, .13)',
  '--chan-l-lift': '#7d92ff', '--chan-r-lift': '#ff8f57', '--alert': '#1a1815', '--dim': '#847f75', '--dimmer': '#b3ada1',
};

test('the theme gives every token its Bone value', async () => {
  await withConsole({}, async (page) => {
    const got = await page.page.evaluate((names) => {
      const style = getComputedStyle(document.documentElement);
      return Object.fromEntries(names.map((n) => [n, style.getPropertyValue(n).trim()]));
    }, Object.keys(BONE));
    assert.deepEqual(got, BONE);
  });
});

test('re-valuing the accent and the alert recolours the wordmark, the brand dot and the pressed bypass button', async () => {
  const colours = (page) => page.page.evaluate(() => ({
    wordmark: getComputedStyle(document.querySelector('.wordmark')).color,
    dot: getComputedStyle(document.getElementById('brandDot')).backgroundColor,
    bypass: getComputedStyle(document.getElementById('bypassBtn')).backgroundColor,
  }));
  await withConsole({}, async (page) => {
    await page.page.addStyleTag({ content: '* { transition: none !important; }' });
    await page.page.click('#bypassBtn');
    await page.page.mouse.move(0, 400);
    assert.deepEqual(await colours(page), { wordmark: 'rgb(220, 75, 46)', dot: 'rgb(220, 75, 46)', bypass: 'rgb(26, 24, 21)' });
    await page.page.addStyleTag({ content: ':root { --accent: #00ff00; --alert: #0000ff; }' });
    assert.deepEqual(await colours(page), { wordmark: 'rgb(0, 255, 0)', dot: 'rgb(0, 255, 0)', bypass: 'rgb(0, 0, 255)' });
  });
});

test('outside its theme block the console sheet writes only the fixed colours of its frame', () => {
  const css = fs.readFileSync(path.join(ROOT, 'plugin/ui/plugin.css'), 'utf8');
  const theme = /\n:root \{[^}]*\}/.exec(css);
  assert.ok(theme, 'one theme block');
  const rest = css.replace(theme[0], '').replace(/\/\*[\s\S]*?\*\//g, '');
  const literals = rest.match(/#[0-9a-f]{3,8}\b|rgba?\([^)]*\)/gi) || [];
  const fixed = ['#fbfaf7', 'rgba(0, 0, 0, .06)', 'rgba(0, 0, 0, .8)'];
  assert.deepEqual([...new Set(literals)].filter((c) => !fixed.includes(c)), []);
});

test('bypass drains the shell in 0.28 s and the grain is at 0.05; with reduced motion at once and 0.035', async () => {
  for (const [reducedMotion, duration, opacity] of [['no-preference', '0.28s', '0.05'], ['reduce', '0s', '0.035']]) {
    await withConsole({ reducedMotion }, async (page) => {
      const got = await page.page.evaluate(() => ({
        duration: getComputedStyle(document.querySelector('.shell')).transitionDuration,
        opacity: getComputedStyle(document.querySelector('.grain')).opacity,
      }));
      assert.deepEqual(got, { duration, opacity }, reducedMotion);
    });
  }
});

test('the shell fills the window with no document scroll at every scale and width', async () => {
  for (const key of ['0.75', '1', '1.25', '2']) {
    for (const width of [560, 1120, 1600]) {
      await withConsole({ viewport: { width, height: 860 }, storageSeed: { 'brindle.plugin.ui.v1': key } }, async (page) => {
        const got = await page.page.evaluate(() => ({
          shell: Math.round(document.querySelector('.shell').getBoundingClientRect().height),
          scrollH: document.documentElement.scrollHeight,
          scrollW: document.documentElement.scrollWidth,
        }));
        assert.deepEqual(got, { shell: 860, scrollH: 860, scrollW: width }, `scale ${key} at ${width} px`);
      });
    }
  }
});

test('the breakpoints switch at 900, 880 and 720 real pixels whatever the scale', async () => {
  const look = (page) => page.page.evaluate(() => ({
    chip: getComputedStyle(document.getElementById('profileChip')).display !== 'none',
    columns: getComputedStyle(document.querySelector('.conbody')).gridTemplateColumns.split(' ').length,
    wellPad: getComputedStyle(document.querySelector('.curvewrap')).paddingTop,
    canvasMin: getComputedStyle(document.querySelector('.plotwrap canvas')).minHeight,
    barWraps: getComputedStyle(document.querySelector('.topbar')).flexWrap === 'wrap',
  }));
  const cases = [
    [901, { chip: true, columns: 2, wellPad: '11px', canvasMin: '180px', barWraps: false }],
    [900, { chip: false, columns: 2, wellPad: '11px', canvasMin: '180px', barWraps: false }],
    [881, { chip: false, columns: 2, wellPad: '11px', canvasMin: '180px', barWraps: false }],
    [880, { chip: false, columns: 1, wellPad: '16px', canvasMin: '150px', barWraps: false }],
    [721, { chip: false, columns: 1, wellPad: '16px', canvasMin: '150px', barWraps: false }],
    [720, { chip: false, columns: 1, wellPad: '16px', canvasMin: '150px', barWraps: true }],
  ];
  for (const key of ['0.75', '1.5']) {
    await withConsole({ storageSeed: { 'brindle.plugin.ui.v1': key } }, async (page) => {
      for (const [width, want] of cases) {
        await page.page.setViewportSize({ width, height: 860 });
        assert.deepEqual(await look(page), want, `${width} px at scale ${key}`);
      }
    });
  }
});

test('the empty console is photographed at 1120 and 620 px', async () => {
  const dir = path.join(ROOT, 'build', 'page-screenshots');
  fs.mkdirSync(dir, { recursive: true });
  for (const width of [1120, 620]) {
    await withConsole({ viewport: { width, height: 860 } }, async (page) => {
      const file = path.join(dir, `console-empty-${width}.png`);
      await page.page.screenshot({ path: file });
      assert.ok(fs.statSync(file).size > 1000);
    });
  }
});
