'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { INDEX, WHERE } = require('./page-loader.js');

const html = fs.readFileSync(INDEX, 'utf8');
const VERSION = '?v=cce787c1e8ed';

// The document's start tags in order, with their attributes and the text that follows each.
const tags = [...html.matchAll(/<([a-zA-Z][\w-]*)((?:\s+[\w:-]+(?:="[^"]*")?)*)\s*\/?>([^<]*)/g)].map((m) => ({
  name: m[1].toLowerCase(),
  attrs: Object.fromEntries([...m[2].matchAll(/([\w:-]+)(?:="([^"]*)")?/g)].map((a) => [a[1], a[2] === undefined ? '' : a[2]])),
  text: m[3].trim(),
  at: m.index,
}));
const byId = (id) => tags.find((t) => t.attrs.id === id);
const headEnd = html.indexOf('</head>');
const decoded = (value) => value.replace(/&amp;/g, '&');
// The text inside an element that holds no element of its own name.
const innerText = (tag) => html.slice(tag.at, html.indexOf('</' + tag.name, tag.at)).replace(/<[^>]*>/g, '').trim();

test('the head: language, title, then the web font, which never holds the page up, then the two sheets in order', () => {
  assert.match(html, /^<!doctype html>\n<html lang="en">/i);
  assert.equal(tags.find((t) => t.name === 'title').text, 'Tonwell \u2014 Correct');
  assert.ok(tags.some((t) => t.name === 'meta' && t.attrs.charset === 'utf-8'));
  assert.ok(tags.some((t) => t.name === 'meta' && t.attrs.name === 'viewport' && t.attrs.content === 'width=device-width, initial-scale=1'));

  const links = tags.filter((t) => t.name === 'link');
  assert.ok(links.every((t) => t.at < headEnd));
  const preconnects = links.filter((t) => t.attrs.rel === 'preconnect');
  assert.equal(preconnects.length, 2);
  assert.ok(preconnects.some((t) => 'crossorigin' in t.attrs), 'the font files are fetched anonymously');

  const sheets = links.filter((t) => t.attrs.rel === 'stylesheet');
  const font = sheets.find((t) => t.attrs.href.startsWith('https://'));
  assert.equal(new URL(decoded(font.attrs.href)).pathname + new URL(decoded(font.attrs.href)).search, '/css2?family=Space+Grotesk:wght@400;500;600;700&display=swap');
  // A sheet for another medium is fetched without blocking the first paint or the scripts.
  assert.equal(font.attrs.media, 'print');
  assert.equal(font.attrs.onload, "this.media='all'");
  assert.ok(preconnects.some((t) => new URL(t.attrs.href).host === new URL(decoded(font.attrs.href)).host));

  assert.deepEqual(sheets.filter((t) => t !== font).map((t) => t.attrs.href), ['app.css' + VERSION, 'plugin.css' + VERSION]);
  assert.ok(sheets.indexOf(font) < sheets.findIndex((t) => t.attrs.href.startsWith('app.css')), 'the web font before the style sheets');
});

test('the body: the grain, the top bar as served before any script, the mount point and the file input', () => {
  const svg = tags.find((t) => t.name === 'svg');
  assert.deepEqual([svg.attrs.class, svg.attrs['aria-hidden'], svg.attrs.focusable], ['grain', 'true', 'false']);
  const filter = byId('grainFilter');
  assert.equal(filter.name, 'filter');
  const turbulence = tags.find((t) => t.name === 'feturbulence');
  assert.deepEqual([turbulence.attrs.type, turbulence.attrs.baseFrequency, turbulence.attrs.numOctaves, turbulence.attrs.stitchTiles], ['fractalNoise', '0.72', '4', 'stitch']);
  const matrix = tags.find((t) => t.name === 'fecolormatrix');
  assert.deepEqual([matrix.attrs.type, matrix.attrs.values], ['saturate', '0']);
  const rect = tags.find((t) => t.name === 'rect');
  assert.deepEqual([rect.attrs.width, rect.attrs.height, rect.attrs.filter], ['100%', '100%', 'url(#grainFilter)']);

  const texts = [
    ['brandDot', 'span', ''],
    ['profileChip', 'div', ''],
    ['profileName', 'v', 'No room loaded'],
    ['profileMeta', 'n', 'Load a profile to correct your room'],
    ['loadBtn', 'button', 'Load profile'],
    ['bypassBtn', 'button', 'Bypass'],
    ['stage', 'div', ''],
    ['app', 'div', ''],
  ];
  for (const [id, name, text] of texts) {
    const tag = byId(id);
    assert.ok(tag, id);
    assert.deepEqual([tag.name, tag.text], [name, text], id);
  }
  assert.deepEqual([byId('bypassBtn').attrs['aria-pressed'], byId('bypassBtn').attrs.title], ['false', 'Bypass the whole correction (EQ and delay)']);
  assert.equal(byId('loadBtn').attrs.class, 'ghost');
  const rows = tags.filter((t) => t.attrs.class === 'row');
  assert.deepEqual(rows.map((t) => t.attrs.style), ['gap: 12px; flex-wrap: nowrap', 'gap: 10px; flex-wrap: nowrap']);
  assert.equal(innerText(tags.find((t) => t.attrs.class === 'brand')), 'Tonwell');
  assert.equal(tags.find((t) => t.attrs.class === 'wordmark').text, 'Correct');
  assert.equal(tags.find((t) => t.name === 'k').text, 'PROFILE');
  for (const id of ['brandDot', 'profileChip', 'loadBtn', 'bypassBtn', 'stage', 'app']) {
    assert.ok(byId(id).at > tags.find((t) => t.attrs.class === 'shell').at, `${id} inside the shell`);
  }

  const input = byId('fileInput');
  assert.deepEqual([input.name, input.attrs.type, input.attrs.accept, 'hidden' in input.attrs], ['input', 'file', '.json,application/json', true]);
  const shellCloses = html.lastIndexOf('</div>', input.at);
  assert.ok(shellCloses > byId('app').at, 'the file input stands outside the shell, where no render can replace it');
});

test('the ten scripts: classic, in dependency order, each with the same version query and a file of the bundle', () => {
  const scripts = tags.filter((t) => t.name === 'script');
  assert.deepEqual(
    scripts.map((t) => t.attrs.src),
    ['biquad.js', 'iso226.js', 'protocol.js', 'arrival.js', 'eq-fit.js', 'fabfilter-ffp.js', 'profile.js', 'demo-profile.js', 'runtime.js', 'plugin.js'].map((n) => n + VERSION)
  );
  for (const script of scripts) {
    assert.deepEqual(Object.keys(script.attrs), ['src'], `${script.attrs.src}: no type, defer or async`);
    assert.ok(script.attrs.src.replace(VERSION, '') in WHERE);
    assert.ok(script.at > byId('fileInput').at, 'after the markup it uses');
  }
  const local = tags.flatMap((t) => [t.attrs.src, t.attrs.href]).filter((a) => a !== undefined && !a.startsWith('https://'));
  assert.equal(local.length, 12);
  assert.ok(local.every((a) => a.endsWith(VERSION) && !a.includes('/')), 'every asset by its plain name and the version query');
});
