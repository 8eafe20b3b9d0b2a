'use strict';

// A console's picture, kept for a person to look at and read for what a test can claim of it:
// the picture is the window at its size, the plot's well shows the theme's well colour (through
// the shell's tint while bypassed), and the top bar shows its own fill under the film grain. A page whose style sheets or script did
// not load, or did not apply, fails these. Works with either harness's console.
const assert = require('node:assert/strict');
const { readPng, rgbNumber } = require('./png-picture.js');

// In the page: the window's size and scale, where the well and the bar are, and their fills.
function pictureLayout() {
  const box = (selector) => {
    const node = document.querySelector(selector);
    if (!node) return null;
    const r = node.getBoundingClientRect();
    return { x: r.x * devicePixelRatio, y: r.y * devicePixelRatio, w: r.width * devicePixelRatio, h: r.height * devicePixelRatio };
  };
  const bar = document.querySelector('.topbar');
  return {
    width: Math.round(innerWidth * devicePixelRatio),
    height: Math.round(innerHeight * devicePixelRatio),
    well: box('.curvewrap'),
    wellFill: getComputedStyle(document.documentElement).getPropertyValue('--well').trim(),
    bar: box('.topbar'),
    barFill: bar ? getComputedStyle(bar).backgroundColor : '',
    shellFilter: getComputedStyle(document.querySelector('.shell') || document.body).filter,
  };
}

function hexOrRgb(css) {
  if (/^#[0-9a-f]{6}$/i.test(css)) return parseInt(css.slice(1), 16);
  if (/^rgb\(/.test(css)) return rgbNumber(css);
  return null;
}

// A colour as the shell's filter shows it: none, or saturate() (the bypass tint), by the
// filter's own matrix.
function throughFilter(colour, filter) {
  if (filter === 'none') return colour;
  const match = /^saturate\(([\d.]+)\)$/.exec(filter);
  if (!match) throw new Error(`the shell's filter ${filter} is not one these checks know`);
  const s = Number(match[1]);
  const [r, g, b] = [16, 8, 0].map((shift) => (colour >> shift) & 255);
  const rows = [
    [0.213 + 0.787 * s, 0.715 - 0.715 * s, 0.072 - 0.072 * s],
    [0.213 - 0.213 * s, 0.715 + 0.285 * s, 0.072 - 0.072 * s],
    [0.213 - 0.213 * s, 0.715 - 0.715 * s, 0.072 + 0.928 * s],
  ];
  const [R, G, B] = rows.map(([kr, kg, kb]) => Math.min(255, Math.max(0, Math.round(kr * r + kg * g + kb * b))));
  return (R << 16) | (G << 8) | B;
}

// The share of a box's pixels within `levels` of a colour in each channel, and the share of
// its most common colour.
function shares(picture, box, colour, levels) {
  let near = 0, all = 0, most = 0;
  for (const [c, n] of picture.colours(box)) {
    all += n;
    most = Math.max(most, n);
    const close = [16, 8, 0].every((shift) => Math.abs(((c >> shift) & 255) - ((colour >> shift) & 255)) <= levels);
    if (close) near += n;
  }
  return { near: near / all, most: most / all };
}

// Saves the picture of the console to `file` and returns it read, with the page's layout.
async function photograph(page, file) {
  const picture = readPng(await page.screenshot(file));
  return { picture, layout: await page.run(pictureLayout) };
}

function assertThemed({ picture, layout }, where) {
  assert.deepEqual([picture.width, picture.height], [layout.width, layout.height], `${where}: the picture is the window`);

  const well = hexOrRgb(layout.wellFill);
  assert.ok(layout.well && well !== null, `${where}: a plot well and the theme's well colour (${layout.wellFill || 'none'})`);
  const shown = throughFilter(well, layout.shellFilter);
  const inWell = shares(picture, layout.well, shown, 6);
  assert.ok(inWell.near >= 0.5, `${where}: ${(100 * inWell.near).toFixed(0)} % of the well shows ${layout.wellFill} (filter ${layout.shellFilter})`);

  const fill = hexOrRgb(layout.barFill);
  assert.ok(layout.bar && fill !== null, `${where}: a top bar with a fill (${layout.barFill || 'none'})`);
  const inBar = shares(picture, layout.bar, fill, 8);
  assert.ok(inBar.near >= 0.6, `${where}: ${(100 * inBar.near).toFixed(0)} % of the top bar shows its fill ${layout.barFill}`);
  // The grain varies the fill from pixel to pixel; a flat one means the base sheet is missing.
  assert.ok(inBar.most <= 0.7, `${where}: one colour covers ${(100 * inBar.most).toFixed(0)} % of the top bar: no grain`);
}

module.exports = { photograph, assertThemed };
