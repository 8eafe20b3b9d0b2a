'use strict';

// The console's look in a real browser: the theme's tokens, the scale, the breakpoints, motion.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { ROOT, browserForTests } = require('./browser-harness.js');
const { photograph, assertThemed } = require('./photograph.js');
const { PROBED_PLUGIN } = require('./plugin-probe.js');

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

test('the primary button hovers and the beacon shines in colours of the theme; with reduced motion the rim stays and nothing moves or shines', async () => {
  // The preview lights its rail's primary "Load a room profile"; the pointer rests on it.
  const look = async (page) => {
    const box = await page.page.locator('[data-key="rail:load"]').boundingBox();
    await page.page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    return page.page.evaluate(() => {
      const button = document.querySelector('[data-key="rail:load"]');
      for (const animation of button.getAnimations()) animation.finish();
      const lit = button.closest('.lit');
      const s = getComputedStyle(button);
      const sheen = getComputedStyle(lit, '::before');
      return {
        fill: s.backgroundColor, border: s.borderTopColor, shadow: s.boxShadow, transform: s.transform,
        rim: getComputedStyle(lit).boxShadow, sheen: sheen.backgroundImage, sheenMoves: sheen.animationName,
      };
    });
  };
  // A colour as 0-255 channels and an alpha, however the engine writes it.
  const rgba = (text) => {
    const srgb = /color\(srgb ([\d.]+) ([\d.]+) ([\d.]+) \/ ([\d.]+)\)/.exec(text);
    if (srgb) return [...srgb.slice(1, 4).map((v) => Math.round(Number(v) * 255)), Number(srgb[4])];
    const plain = /rgba?\((\d+), (\d+), (\d+)(?:, ([\d.]+))?\)/.exec(text);
    return plain ? [...plain.slice(1, 4).map(Number), plain[4] === undefined ? 1 : Number(plain[4])] : null;
  };
  const sheenColour = (image) => rgba(image.split(' 50%')[0].split('42%, ')[1]);
  const preview = { bridge: false, query: '' };

  await withConsole(preview, async (page) => {
    let got = await look(page);
    assert.deepEqual([got.fill, got.border, got.transform], ['rgb(194, 61, 34)', 'rgb(194, 61, 34)', 'matrix(1, 0, 0, 1, 0, -1.5)']);
    assert.deepEqual(rgba(got.shadow), [220, 75, 46, 0.9], got.shadow);
    assert.deepEqual(sheenColour(got.sheen), [220, 75, 46, 0.22], got.sheen);
    assert.deepEqual([got.rim, got.sheenMoves], ['rgb(220, 75, 46) 0px 0px 0px 2px', 'beacon-sheen']);

    // Another accent and hover fill: the shadow and the sheen follow the accent, the fill its token.
    await page.page.addStyleTag({ content: ':root { --accent: #00ff00; --primary-hover-fill: #0000ff; }' });
    got = await look(page);
    assert.equal(got.fill, 'rgb(0, 0, 255)');
    assert.deepEqual(rgba(got.shadow), [0, 255, 0, 0.9], got.shadow);
    assert.deepEqual(sheenColour(got.sheen), [0, 255, 0, 0.22], got.sheen);
  });
  await withConsole({ ...preview, reducedMotion: 'reduce' }, async (page) => {
    const got = await look(page);
    assert.deepEqual([got.fill, got.transform, got.rim, got.sheen, got.sheenMoves],
      ['rgb(194, 61, 34)', 'none', 'rgb(220, 75, 46) 0px 0px 0px 2px', 'none', 'none']);
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
      assertThemed(await photograph(page, path.join(dir, `console-empty-${width}.png`)), `${width} px`);
    });
  }
});

test('a key press turns focus rings on and a pointer press turns them off; a modifier alone does not count', async () => {
  // [what the user does, whether the root then carries the keyboard mark]
  const steps = [
    [null, false],
    [(p) => p.keyboard.press('Shift'), false],
    [(p) => p.keyboard.press('Tab'), true],
    [(p) => p.click('.plotwrap canvas'), false],
    [(p) => p.keyboard.press('Alt'), false],
    [(p) => p.keyboard.press('ArrowDown'), true],
    [(p) => p.click('[data-key="field:pct"]'), false],
    [(p) => p.keyboard.type('5'), true],
  ];
  await withConsole({ files: { 'plugin.js': PROBED_PLUGIN } }, async (page) => {
    for (const [i, [act, keys]] of steps.entries()) {
      if (act) await act(page.page);
      assert.equal(await page.page.evaluate(() => document.documentElement.classList.contains('keys')), keys, `step ${i}`);
    }
  });
});

test('keyboard focus rings every control with a 3 px accent outline 2 px outside; a click rings nothing', async () => {
  // [control, its corners when focused from the keyboard (8 px on buttons), its own corners]
  const controls = [
    ['#bypassBtn', '8px', '10px'],
    ['#loadBtn', '8px', '12px'],
    ['[data-key="rail:load"]', '8px', '12px'],
    ['[data-key="cell:amount"]', '8px', '12px'],
    ['[data-key="field:pct"]', '10px', '10px'],
    ['[data-key="knob:freq"]', '0px', '0px'],
    ['[data-key="own:control"]', '0px', '0px'],
  ];
  const ring = (page, selector) => page.page.evaluate((sel) => {
    const node = document.querySelector(sel);
    const s = getComputedStyle(node);
    return { focused: document.activeElement === node, outline: `${s.outlineWidth} ${s.outlineStyle} ${s.outlineColor}`, offset: s.outlineOffset, radius: s.borderTopLeftRadius };
  }, selector);
  await withConsole({ files: { 'plugin.js': PROBED_PLUGIN } }, async (page) => {
    await page.page.evaluate(() => { document.getElementById('fileInput').click = () => {}; });
    for (const [selector, keyRadius, ownRadius] of controls) {
      // Reached by the keyboard: Tab until it has focus.
      await page.page.evaluate(() => document.activeElement.blur());
      for (let i = 0; i < 12 && !(await ring(page, selector)).focused; i += 1) await page.page.keyboard.press('Tab');
      assert.deepEqual(await ring(page, selector), { focused: true, outline: '3px solid rgb(220, 75, 46)', offset: '2px', radius: keyRadius }, `${selector} from the keyboard`);
      await page.page.click(selector);
      const clicked = await ring(page, selector);
      assert.deepEqual([clicked.focused, clicked.outline.split(' ')[1], clicked.radius], [true, 'none', ownRadius], `${selector} clicked`);
    }
  });
});

test('buttons fade their colours in 0.16 s and move when pressed in 0.04 s; with reduced motion they only fade', async () => {
  // The bypass button's transitions by property and where it stands, read from its computed style
  // with every transition of it run to its end: a 40 ms transition is over before a slow machine
  // could look at it, so its timing is read from the style that starts it, never caught running.
  const look = (page) => page.page.evaluate(() => {
    const button = document.getElementById('bypassBtn');
    for (const animation of button.getAnimations()) animation.finish();
    const s = getComputedStyle(button);
    const properties = s.transitionProperty.split(', ');
    const durations = s.transitionDuration.split(', ');
    return { transform: s.transform, timings: Object.fromEntries(properties.map((p, i) => [p, durations[i]])) };
  });
  const pressed = async (page) => {
    await page.page.evaluate(() => {
      window.__ran = [];
      document.getElementById('bypassBtn').addEventListener('transitionrun', (e) => window.__ran.push(e.propertyName));
    });
    const box = await page.page.locator('#bypassBtn').boundingBox();
    await page.page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.page.mouse.down();
    const got = await look(page);
    await page.page.mouse.up();
    return got;
  };
  const colours = { 'border-color': '0.16s', 'background-color': '0.16s', color: '0.16s', 'box-shadow': '0.2s' };
  await withConsole({}, async (page) => {
    assert.deepEqual(await look(page), { transform: 'none', timings: { ...colours, transform: '0.16s' } }, 'at rest');
    // Pressed, it stands 1 px lower, and the move into that place runs as a transition of 40 ms.
    assert.deepEqual(await pressed(page), { transform: 'matrix(1, 0, 0, 1, 0, 1)', timings: { ...colours, transform: '0.04s' } });
    await page.page.waitForFunction(() => window.__ran.includes('transform'));
  });
  await withConsole({ reducedMotion: 'reduce' }, async (page) => {
    const got = await pressed(page);
    assert.equal(got.transform, 'none');
    assert.deepEqual([got.timings['border-color'], got.timings['background-color'], got.timings.color], ['0.16s', '0.16s', '0.16s']);
    await page.settle();
    assert.ok(!(await page.page.evaluate(() => window.__ran.includes('transform'))), 'nothing moves');
  });
});
