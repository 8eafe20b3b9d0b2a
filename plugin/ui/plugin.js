/*
 * The console script: it builds the console window into `app`, wires the top bar,
 * listens to the host's events and turns every user gesture into a change of one
 * working correction state, which leaves through one door, `push`. It knows
 * nothing of how a correction is built (BrindleProfile) or of audio
 * (BrindleRuntime). In the page it publishes nothing and boots itself. Loaded by
 * `require` it does not boot; it hands out `boot` (for a harness that gives it a
 * document), the palette's readers and constants, and its pure helpers (the UI
 * scale, the formatters, the route helpers, the plot's geometry and curves), so
 * they can be checked outside a browser.
 */
(function (root, factory) {
  'use strict';
  const inNode = typeof module === 'object' && module && module.exports && typeof require === 'function';
  if (inNode) {
    module.exports = factory(root, require('../../ui/js/profile.js'), require('../../ui/js/arrival.js'), require('./runtime.js'));
  } else if (root.document) {
    factory(root, root.BrindleProfile, root.BrindleArrival, root.BrindleRuntime).boot();
  }
})(typeof window !== 'undefined' ? window : globalThis, function (root, Profile, Arrival, Runtime) {
  'use strict';

  const doc = root.document || null;

  // ------------------------------------------------------------------ storage

  const UI_STORE = 'brindle.plugin.ui.v1';
  const STORE = 'brindle.plugin.v1';

  // Private modes and quotas make storage throw; a failure must change nothing.
  function storageGet(key) {
    try {
      const value = root.localStorage.getItem(key);
      return typeof value === 'string' ? value : null;
    } catch (e) {
      return null;
    }
  }

  function storageSet(key, value) {
    try {
      root.localStorage.setItem(key, value);
      return true;
    } catch (e) {
      return false;
    }
  }

  // ------------------------------------------------------------------ module state

  const SW = Boolean(Runtime && Runtime.isDuzezavure());
  const HOSTED = Boolean(Runtime && Runtime.isNative());

  let state = Profile.defaultState();
  let version = 0;
  let selectedBandId = null;
  let lastError = null;
  let cleanup = null;
  let refreshers = [];
  let meterHooks = [];
  let devices = null;
  let meter = null;
  let libraryNames = [];
  let pendingRoute = null;
  let showAllInputs = false;
  let plot = null;
  let openCell;
  let litNode = null;
  let railLoad = null;
  let stripBeacon = null;
  let lastBar = null;
  let uiPref = 'fit';
  // The strip and the rail of the current render; push repaints them in place.
  let strip = null;
  let rail = null;

  // The rate every figure of the window is computed at: the runtime's, 48 kHz when it gives none.
  const FALLBACK_RATE = 48000;

  function runtimeRate() {
    const rate = Number(Runtime.sampleRate());
    return Number.isFinite(rate) && rate > 0 ? rate : FALLBACK_RATE;
  }

  // ------------------------------------------------------------------ palette

  // Reading the computed style forces a style resolution, and the plot reads colours every frame.
  let TOK = null;

  function tok(name, fallback) {
    if (!TOK && doc && typeof root.getComputedStyle === 'function') TOK = root.getComputedStyle(doc.documentElement);
    const value = TOK ? String(TOK.getPropertyValue(name)).trim() : '';
    return value || fallback;
  }

  function hexA(colour, alpha) {
    const text = String(colour);
    const m = /^#([0-9a-f]{3}|[0-9a-f]{6})$/i.exec(text);
    if (!m) return text;
    const hex = m[1].length === 3 ? m[1].replace(/./g, '$&$&') : m[1];
    const [r, g, b] = [0, 2, 4].map((i) => parseInt(hex.slice(i, i + 2), 16));
    return `rgba(${r},${g},${b},${alpha})`;
  }

  const C_ACCENT = () => tok('--ink-accent', '#f2694a');
  const C_CHAN_L = () => tok('--chan-l-lift', '#7d92ff');
  const C_CHAN_R = () => tok('--chan-r-lift', '#ff8f57');
  const C_INK = () => tok('--ink-text', '#ece8de');
  const C_INK_DIM = () => tok('--ink-muted', '#9c968b');
  const C_WELL = () => tok('--well', '#16181c');
  const GRID_ZERO = 'rgba(255,255,255,.22)';
  const ROOM_FILL = 'rgba(255,255,255,.05)';
  const ROOM_LINE = 'rgba(255,255,255,.16)';
  const PLOT_FONT = "'Space Grotesk',system-ui,sans-serif";

  // ------------------------------------------------------------------ UI scale

  const UI_DESIGN_W = 1120;
  const UI_DESIGN_H = 860;
  const UI_MIN = 0.75;
  const UI_MAX = 1.75;
  const UI_STEPS = Object.freeze([
    Object.freeze({ key: 'fit', label: 'Fit' }),
    Object.freeze({ key: '1', label: '100%' }),
    Object.freeze({ key: '1.25', label: '125%' }),
    Object.freeze({ key: '1.5', label: '150%' }),
  ]);

  function uiScaleFor(key, width, height) {
    let scale = key === 'fit' ? Math.min(width / UI_DESIGN_W, height / UI_DESIGN_H) : Number(key);
    if (!Number.isFinite(scale)) scale = 1;
    scale = Math.min(UI_MAX, Math.max(UI_MIN, scale));
    return Math.round(scale * 1000) / 1000;
  }

  function applyUiScale() {
    const scale = uiScaleFor(uiPref, root.innerWidth, root.innerHeight);
    doc.documentElement.style.setProperty('--ui', String(scale));
    return scale;
  }

  function setUiPref(key) {
    uiPref = String(key);
    applyUiScale();
    storageSet(UI_STORE, uiPref);
  }

  // ------------------------------------------------------------------ elements

  // Repaints an element's text in place. Its text node is kept and only its data changes: WebKit
  // drops the click of a press whose node left the document before the release, so a figure
  // that the meter rewrites under the pointer (a strip cell's) would make the click miss.
  function setText(node, text) {
    const value = String(text);
    const only = node.firstChild;
    if (only && only === node.lastChild && only.nodeType === 3) {
      if (only.data !== value) only.data = value;
    } else if (node.textContent !== value) {
      node.textContent = value;
    }
  }

  // A boolean false leaves the attribute out (a disabled="false" would still disable), true sets it
  // empty; ARIA states are passed as the strings "true" and "false". `html` is only for markup the
  // page composes from its own fixed texts: anything from a profile, the host, storage or a file
  // goes in as `text` or as a string child.
  function el(tag, props, children) {
    const node = doc.createElement(tag);
    for (const [name, value] of Object.entries(props || {})) {
      if (value === null || value === undefined || value === false) continue;
      if (name === 'text') node.textContent = String(value);
      else if (name === 'html') node.innerHTML = String(value);
      else if (name.startsWith('on')) node[name.toLowerCase()] = value;
      else node.setAttribute(name, value === true ? '' : String(value));
    }
    const list = Array.isArray(children) ? children : [children];
    for (const child of list) {
      if (child === null || child === undefined || child === '' || child === false) continue;
      node.append(typeof child === 'object' ? child : doc.createTextNode(String(child)));
    }
    return node;
  }

  function beacon(node, options) {
    const o = options || {};
    const radius = Number.isFinite(o.radius) ? o.radius : 12;
    return el('span', { class: o.block ? 'beacon block' : 'beacon', style: `--br: ${radius}px` }, [node]);
  }

  function light(wrapper) {
    if (litNode && litNode !== wrapper) litNode.classList.remove('lit');
    if (wrapper) wrapper.classList.add('lit');
    litNode = wrapper || null;
  }

  // A drag captures its pointer where the engine lets it; without capture the drag goes on, and
  // a move with no button held ends it. Releasing what was never captured (or was lost) is no fault.
  function capturePointer(node, pointerId) {
    try {
      node.setPointerCapture(pointerId);
    } catch (err) {
      // The drag goes on without capture.
    }
  }

  function releasePointer(node, pointerId) {
    try {
      if (node.hasPointerCapture(pointerId)) node.releasePointerCapture(pointerId);
    } catch (err) {
      // Nothing to release.
    }
  }

  // ------------------------------------------------------------------ canvas scaffolding

  const HIDDEN_TICK_MS = 120;

  // The canvas is drawn in layout pixels while the window's zoom paints it larger, so its backing
  // store follows the painted size.
  function plate(draw) {
    const canvas = el('canvas');
    const ctx = canvas.getContext('2d');
    const born = root.performance.now();
    let key = '';
    let width = 0;
    let height = 0;
    let frame = 0;
    let timer = 0;
    let observer = null;
    let running = false;

    // The zoom the canvas is painted at, from the zoom factors on its way up. Its bounding
    // rectangle cannot tell: Chromium gives it in the window's pixels, WebKit in the zoomed
    // ancestors' own units, which are the layout pixels.
    function zoomOf() {
      let zoom = 1;
      for (let node = canvas; node; node = node.parentElement) zoom *= Number(root.getComputedStyle(node).zoom) || 1;
      return zoom;
    }

    function size() {
      width = canvas.clientWidth || 900;
      height = canvas.clientHeight || 348;
      const zoom = zoomOf();
      const scale = Math.min(3, (root.devicePixelRatio || 1) * zoom);
      const next = `${width}x${height}@${scale.toFixed(4)}`;
      // Writing the size clears the canvas and would wake the resize observer again.
      if (next === key) return false;
      key = next;
      canvas.width = Math.round(width * scale);
      canvas.height = Math.round(height * scale);
      ctx.setTransform(scale, 0, 0, scale, 0, 0);
      return true;
    }

    function redraw() {
      if (!width) return;
      draw(ctx, width, height, (root.performance.now() - born) / 1000, api);
    }

    function schedule() {
      if (!running) return;
      const tick = () => {
        frame = 0;
        timer = 0;
        if (!key) size();
        redraw();
        schedule();
      };
      // Frames are suspended while the document is hidden; the plot must not stay blank.
      if (doc.hidden) timer = root.setTimeout(tick, HIDDEN_TICK_MS);
      else frame = root.requestAnimationFrame(tick);
    }

    function unschedule() {
      if (frame) root.cancelAnimationFrame(frame);
      if (timer) root.clearTimeout(timer);
      frame = 0;
      timer = 0;
    }

    // A frame asked for just before the document was hidden would never come, and the timer would
    // never start: the loop switches between frames and the timer whenever visibility changes.
    function onVisibility() {
      if (!running) return;
      unschedule();
      schedule();
    }

    // A pointer's place in the drawing's pixels. The drawing is the client size, a whole number
    // of layout pixels, stretched over the painted rectangle, so a fractional layout height moves
    // what is drawn by up to half a pixel: the pointer is mapped by the same stretch. Its event is
    // in the window's pixels in both engines; the rectangle is too in Chromium, and in layout
    // pixels in WebKit, which its width tells apart.
    function local(e) {
      const rect = canvas.getBoundingClientRect();
      const zoom = zoomOf();
      const painted = canvas.clientWidth * zoom;
      const toWindow = Math.abs(rect.width - painted) <= Math.abs(rect.width - canvas.clientWidth) ? 1 : zoom;
      const fx = rect.width ? canvas.clientWidth / (rect.width * toWindow) : 1 / zoom;
      const fy = rect.height ? canvas.clientHeight / (rect.height * toWindow) : 1 / zoom;
      return { x: (e.clientX - rect.left * toWindow) * fx, y: (e.clientY - rect.top * toWindow) * fy };
    }

    // The canvas takes its size in its first frame, after the browser's own layout: measuring it
    // here would force a layout of the whole window inside the render (a third of the boot).
    function start() {
      running = true;
      root.addEventListener('resize', size);
      if (typeof root.ResizeObserver === 'function') {
        observer = new root.ResizeObserver(() => {
          if (size()) redraw();
        });
        observer.observe(canvas);
      }
      doc.addEventListener('visibilitychange', onVisibility);
      schedule();
    }

    function stop() {
      running = false;
      unschedule();
      doc.removeEventListener('visibilitychange', onVisibility);
      root.removeEventListener('resize', size);
      if (observer) observer.disconnect();
      observer = null;
    }

    const api = { el: canvas, txt, rr, redraw, local, start, stop };
    return api;
  }

  function txt(ctx, text, x, y, colour, size, align, weight) {
    ctx.font = `${weight || 600} ${size || 10}px ${PLOT_FONT}`;
    ctx.fillStyle = colour;
    ctx.textAlign = align || 'left';
    ctx.fillText(text, x, y);
  }

  function rr(ctx, x, y, w, h, radius) {
    ctx.beginPath();
    if (typeof ctx.roundRect === 'function') ctx.roundRect(x, y, w, h, radius);
    else ctx.rect(x, y, w, h);
  }

  // ------------------------------------------------------------------ response plot
  //
  // One canvas on the scope well: the room behind (the correction turned upside down), the
  // correction in force in front, and one handle per band at its full gain, so a handle always
  // matches the numbers in the band bar and the table while the curve follows the amount.

  const CURVE_N = 220;
  const PLOT_LO_HZ = 20;
  const PLOT_SPAN = Math.log(1000);
  const PLOT_MARGIN = Object.freeze({ left: 34, right: 16, top: 16, bottom: 26 });
  const FREQ_MARKS = Object.freeze([20, 30, 50, 100, 200, 300, 500, 1000, 2000, 3000, 5000, 10000, 20000]);
  const HIT_RADIUS = 16;
  // A handle further than this outside the plot area is not drawn, and so cannot be grabbed.
  const HANDLE_SLACK = 8;
  const FINE_TRAVEL = 0.25;
  const Q_STEP = 1.12;
  const Q_STEP_FINE = 1.02;
  const NOTE_BELOW_HZ = 2000;

  // Thin lines on a half pixel fall on one row of pixels instead of smearing over two.
  const crisp = (value) => Math.round(value) + 0.5;

  function curveFreq(i) {
    return PLOT_LO_HZ * Math.pow(1000, i / (CURVE_N - 1));
  }

  // Fits the room but is never tighter than ±12 dB.
  function axisMaxDb(peakDb) {
    return Math.max(12, 3 * Math.ceil((Math.max(peakDb, 6) + 2) / 3));
  }

  // Value-to-pixel mapping of a plot of the given layout size; every pixel here is a layout pixel.
  function plotGeometry(width, height, maxDb) {
    const x0 = PLOT_MARGIN.left;
    const x1 = width - PLOT_MARGIN.right;
    const top = PLOT_MARGIN.top;
    const bottom = height - PLOT_MARGIN.bottom;
    const mid = (top + bottom) / 2;
    const half = (bottom - top) / 2;
    return {
      x0, x1, top, bottom, maxDb,
      x: (f) => x0 + Math.log(f / PLOT_LO_HZ) / PLOT_SPAN * (x1 - x0),
      freqAt: (x) => PLOT_LO_HZ * Math.exp((x - x0) / (x1 - x0) * PLOT_SPAN),
      y: (db) => mid - db / maxDb * half,
      dbAt: (y) => (mid - y) / half * maxDb,
    };
  }

  function oneChannel(band) {
    return band.stereo === 'left' || band.stereo === 'right';
  }

  // The letter that names a speaker on the plot's labels and the channel pills.
  function sideLetter(stereo) {
    return stereo === 'left' ? 'L' : 'R';
  }

  // One band's response on the channel it plays on, over the curve's points.
  function bandCurve(band, sampleRate) {
    const one = [band];
    const channel = band.stereo === 'right' ? 'right' : 'left';
    const values = new Float64Array(CURVE_N);
    for (let i = 0; i < CURVE_N; i += 1) values[i] = Profile.responseDb(one, curveFreq(i), channel, sampleRate);
    return values;
  }

  function addBand(band, values, left, right) {
    for (let i = 0; i < CURVE_N; i += 1) {
      if (band.stereo !== 'right') left[i] += values[i];
      if (band.stereo !== 'left') right[i] += values[i];
    }
  }

  // The plot's figures for one state: the room, the correction in force per channel, and the axis
  // that fits them. Each band's own curve is kept (`parts`, by its values) and taken from the
  // previous figures when unchanged, so a drag step computes only the band being dragged.
  function plotCurves(s, sampleRate, previous) {
    const known = previous ? previous.parts : new Map();
    const parts = new Map();
    const partOf = (band) => {
      const key = `${band.freqHz}|${band.gainDb}|${band.q}|${band.type}|${band.stereo}|${sampleRate}`;
      const values = parts.get(key) || known.get(key) || bandCurve(band, sampleRate);
      parts.set(key, values);
      return values;
    };
    const fullL = new Float64Array(CURVE_N);
    const fullR = new Float64Array(CURVE_N);
    const left = new Float64Array(CURVE_N);
    const right = new Float64Array(CURVE_N);
    for (const band of s.bands) {
      if (band.on) addBand(band, partOf(band), fullL, fullR);
    }
    const inForce = Profile.activeBands(s);
    for (const band of inForce) addBand(band, partOf(band), left, right);
    const room = new Float64Array(CURVE_N);
    let peak = 0;
    for (let i = 0; i < CURVE_N; i += 1) {
      room[i] = -(fullL[i] + fullR[i]) / 2;
      peak = Math.max(peak, Math.abs(fullL[i]), Math.abs(fullR[i]));
    }
    return { room, left, right, split: inForce.some(oneChannel), empty: inForce.length === 0, maxDb: axisMaxDb(peak), parts };
  }

  // The curve's value at a frequency, interpolated between the two nearest points.
  function curveAt(values, f) {
    const t = Math.log(f / PLOT_LO_HZ) / PLOT_SPAN * (CURVE_N - 1);
    const i0 = clamp(Math.floor(t), 0, CURVE_N - 1);
    const i1 = Math.min(CURVE_N - 1, i0 + 1);
    const frac = clamp(t - i0, 0, 1);
    return values[i0] + (values[i1] - values[i0]) * frac;
  }

  function handleLabel(band) {
    const side = oneChannel(band) ? `  ${sideLetter(band.stereo)}` : '';
    return `${fmtHz(band.freqHz)} Hz  ${fmtDb(band.gainDb)} dB  Q${band.q.toFixed(1)}${side}`;
  }

  function crosshairLabel(f, curves) {
    const note = f < NOTE_BELOW_HZ ? `  ${noteName(f)}` : '';
    const left = `${fmtDb(curveAt(curves.left, f))} dB`;
    const right = curves.split ? `  /  ${fmtDb(curveAt(curves.right, f))} dB` : '';
    return `${fmtHz(f)} Hz${note}   ${left}${right}`;
  }

  // A label box centred over a point, held inside the plot area.
  function labelLeft(g, x, width) {
    return Math.min(Math.max(x - width / 2, g.x0), g.x1 - width);
  }

  function drawAxes(ctx, g, height) {
    const dim = C_INK_DIM();
    for (const f of FREQ_MARKS) txt(ctx, fmtHz(f), crisp(g.x(f)), height - 9, dim, 9.5, 'center');
    const step = g.maxDb > 18 ? 6 : 3;
    for (let db = -g.maxDb; db <= g.maxDb; db += step) {
      if (db !== 0) txt(ctx, (db > 0 ? '+' : MINUS) + Math.abs(db), g.x0 - 6, g.y(db) + 4, dim, 9.5, 'right');
    }
    const zero = crisp(g.y(0));
    ctx.strokeStyle = GRID_ZERO;
    ctx.lineWidth = 1;
    ctx.beginPath();
    ctx.moveTo(g.x0, zero);
    ctx.lineTo(g.x1, zero);
    ctx.stroke();
    txt(ctx, '0', g.x0 - 6, g.y(0) + 4, C_INK(), 10, 'right', 700);
  }

  // The curve as a path; `closed` runs it down to 0 dB at both ends for a fill. The points are
  // evenly spaced in log frequency, so evenly spaced across the plot.
  function tracePath(ctx, g, values, closed) {
    const dx = (g.x1 - g.x0) / (CURVE_N - 1);
    ctx.beginPath();
    if (closed) ctx.moveTo(g.x0, g.y(0));
    for (let i = 0; i < CURVE_N; i += 1) {
      if (i === 0 && !closed) ctx.moveTo(g.x0, g.y(values[0]));
      else ctx.lineTo(g.x0 + i * dx, g.y(values[i]));
    }
    if (closed) {
      ctx.lineTo(g.x1, g.y(0));
      ctx.closePath();
    }
  }

  function fillCurve(ctx, g, values, colour) {
    tracePath(ctx, g, values, true);
    ctx.fillStyle = colour;
    ctx.fill();
  }

  function strokeCurve(ctx, g, values, colour, width, dash) {
    tracePath(ctx, g, values, false);
    ctx.strokeStyle = colour;
    ctx.lineWidth = width;
    ctx.lineJoin = 'round';
    ctx.setLineDash(dash || []);
    ctx.stroke();
    ctx.setLineDash([]);
  }

  function drawRoom(ctx, g, curves) {
    fillCurve(ctx, g, curves.room, ROOM_FILL);
    strokeCurve(ctx, g, curves.room, ROOM_LINE, 1);
  }

  function drawCorrection(ctx, g, curves) {
    if (state.bypass) {
      strokeCurve(ctx, g, curves.left, ROOM_LINE, 2, [5, 5]);
    } else if (curves.split) {
      fillCurve(ctx, g, curves.left, hexA(C_CHAN_L(), 0.15));
      fillCurve(ctx, g, curves.right, hexA(C_CHAN_R(), 0.13));
      strokeCurve(ctx, g, curves.left, C_CHAN_L(), 3);
      strokeCurve(ctx, g, curves.right, C_CHAN_R(), 3);
    } else if (!curves.empty) {
      fillCurve(ctx, g, curves.left, hexA(C_ACCENT(), 0.17));
      strokeCurve(ctx, g, curves.left, C_ACCENT(), 3.4);
    }
  }

  function handleFill(band, selected) {
    if (selected) return C_ACCENT();
    if (band.stereo === 'left') return C_CHAN_L();
    if (band.stereo === 'right') return C_CHAN_R();
    return C_INK();
  }

  function drawHandle(ctx, x, y, radius, band, selected) {
    ctx.beginPath();
    ctx.arc(x, y, radius, 0, 2 * Math.PI);
    if (!band.on) {
      ctx.fillStyle = hexA(C_INK(), 0.18);
      ctx.strokeStyle = hexA(C_INK(), 0.45);
      ctx.lineWidth = 1.5;
    } else {
      ctx.globalAlpha = selected ? 1 : 0.9;
      ctx.fillStyle = handleFill(band, selected);
      ctx.strokeStyle = C_WELL();
      ctx.lineWidth = 2;
    }
    ctx.fill();
    ctx.stroke();
    ctx.globalAlpha = 1;
  }

  function drawHandleLabel(ctx, g, x, y, radius, band) {
    const text = handleLabel(band);
    const width = 8 + 6.1 * text.length;
    const left = labelLeft(g, x, width);
    let top = y - radius - 24;
    if (top < g.top) top = y + radius + 6;
    drawLabelBox(ctx, text, left, top, width, 19, false);
  }

  // A dark rounded box with its text centred on a baseline 6 px above its foot.
  function drawLabelBox(ctx, text, left, top, width, height, outlined) {
    rr(ctx, left, top, width, height, 6);
    ctx.fillStyle = hexA(C_INK(), 0.93);
    ctx.fill();
    if (outlined) {
      ctx.strokeStyle = 'rgba(0,0,0,.14)';
      ctx.lineWidth = 1;
      ctx.stroke();
    }
    txt(ctx, text, left + width / 2, top + height - 6, C_WELL(), 10.5, 'center');
  }

  function drawCrosshair(ctx, g, curves, at) {
    const f = g.freqAt(at.x);
    const x = crisp(at.x);
    ctx.strokeStyle = GRID_ZERO;
    ctx.lineWidth = 1;
    ctx.setLineDash([3, 3]);
    ctx.beginPath();
    ctx.moveTo(x, g.top);
    ctx.lineTo(x, g.bottom);
    ctx.stroke();
    ctx.setLineDash([]);
    ctx.beginPath();
    ctx.arc(at.x, g.y(curveAt(curves.left, f)), 3, 0, 2 * Math.PI);
    ctx.fillStyle = state.bypass ? ROOM_LINE : C_ACCENT();
    ctx.fill();
    const text = crosshairLabel(f, curves);
    const width = 12 + 5.9 * text.length;
    const left = labelLeft(g, at.x, width);
    drawLabelBox(ctx, text, left, g.top + 2, width, 18, true);
  }

  function insidePlot(g, at) {
    return at.x >= g.x0 && at.x <= g.x1 && at.y >= g.top && at.y <= g.bottom;
  }

  // The drawn handles, in list order: a band beyond the edges is neither drawn nor grabbed, and
  // stays editable in the band bar and the table.
  function drawnHandles(g) {
    const handles = [];
    for (const band of state.bands) {
      const x = g.x(band.freqHz);
      if (x < g.x0 - HANDLE_SLACK || x > g.x1 + HANDLE_SLACK) continue;
      handles.push({ band, x, y: g.y(band.gainDb) });
    }
    return handles;
  }

  // The nearest drawn handle within reach; on equal distance the earlier band wins.
  function handleNear(g, at) {
    let best = null;
    let bestD2 = HIT_RADIUS * HIT_RADIUS;
    for (const h of drawnHandles(g)) {
      const d2 = (h.x - at.x) ** 2 + (h.y - at.y) ** 2;
      if (d2 < bestD2) {
        best = h.band;
        bestD2 = d2;
      }
    }
    return best;
  }

  function eqPlot(onedit) {
    let sel = null;
    let hovered = null;
    let drag = null;
    let pointer = null;
    let curves = null;
    let curvesAt = -1;
    let geometry = null;
    const surface = plate(draw);
    const canvas = surface.el;

    function currentCurves() {
      if (!curves || curvesAt !== version) {
        curves = plotCurves(state, runtimeRate(), curves);
        curvesAt = version;
      }
      return curves;
    }

    function draw(ctx, width, height) {
      ctx.clearRect(0, 0, width, height);
      const c = currentCurves();
      const g = plotGeometry(width, height, c.maxDb);
      geometry = g;
      drawAxes(ctx, g, height);
      drawRoom(ctx, g, c);
      drawCorrection(ctx, g, c);
      const labelled = [];
      for (const h of drawnHandles(g)) {
        const id = h.band.id;
        const radius = id === sel ? 8 : id === hovered ? 7.5 : 6;
        drawHandle(ctx, h.x, h.y, radius, h.band, id === sel);
        if (id === sel || id === hovered) labelled.push({ ...h, radius });
      }
      for (const h of labelled) drawHandleLabel(ctx, g, h.x, h.y, h.radius, h.band);
      if (pointer && !drag && insidePlot(g, pointer)) drawCrosshair(ctx, g, c, pointer);
      if (!state.bands.length) {
        txt(ctx, 'No filters in this profile', (g.x0 + g.x1) / 2, (g.top + g.bottom) / 2, C_INK_DIM(), 13, 'center', 500);
      }
    }

    function edit(kind) {
      if (typeof onedit === 'function') onedit(kind);
    }

    function hit(at) {
      return geometry ? handleNear(geometry, at) : null;
    }

    function setHover(id) {
      if (id === hovered) return;
      hovered = id;
      if (!drag) canvas.style.cursor = id === null ? 'crosshair' : 'grab';
    }

    function onDown(e) {
      const at = surface.local(e);
      const band = hit(at);
      sel = band ? band.id : null;
      if (band) {
        drag = { id: band.id, shift: e.shiftKey, grab: at, pointerId: e.pointerId };
        hovered = band.id;
        canvas.style.cursor = 'grabbing';
        // The drag holds host renders until it ends, however it ends.
        holdRenders(canvas);
        capturePointer(canvas, e.pointerId);
      }
      edit('select');
    }

    function dragTo(at, e) {
      const band = bandById(drag.id);
      if (!band || !geometry) return;
      const fine = e.altKey || e.ctrlKey || e.metaKey;
      const k = fine ? FINE_TRAVEL : 1;
      const digits = fine ? 2 : 1;
      const x = drag.grab.x + k * (at.x - drag.grab.x);
      const y = drag.grab.y + k * (at.y - drag.grab.y);
      const limits = Profile.LIMITS;
      if (!drag.shift) band.freqHz = roundTo(clamp(geometry.freqAt(x), limits.freqHz.min, limits.freqHz.max), digits);
      band.gainDb = roundTo(clamp(geometry.dbAt(y), limits.gainDb.min, limits.gainDb.max), digits);
      edit('drag');
    }

    function endDrag() {
      if (!drag) return;
      const pointerId = drag.pointerId;
      drag = null;
      canvas.style.cursor = 'grab';
      releasePointer(canvas, pointerId);
      edit('commit');
      releaseRenders(canvas);
    }

    function onMove(e) {
      const at = surface.local(e);
      pointer = at;
      if (!drag) {
        const band = hit(at);
        setHover(band ? band.id : null);
      } else if (e.buttons === 0) {
        // The release happened where the page could not hear it (a context menu, another window).
        endDrag();
      } else {
        dragTo(at, e);
      }
    }

    function onLeave() {
      pointer = null;
      if (!drag) setHover(null);
    }

    function onWheel(e) {
      const band = hit(surface.local(e));
      if (!band) return;
      e.preventDefault();
      sel = band.id;
      const step = e.altKey || e.ctrlKey || e.metaKey ? Q_STEP_FINE : Q_STEP;
      const d = e.deltaY > 0 ? -1 : 1;
      band.q = roundTo(clamp(band.q * step ** d, Profile.LIMITS.q.min, Profile.LIMITS.q.max), 2);
      edit('commit');
    }

    canvas.addEventListener('pointerdown', onDown);
    canvas.addEventListener('pointermove', onMove);
    canvas.addEventListener('pointerup', endDrag);
    canvas.addEventListener('pointercancel', endDrag);
    canvas.addEventListener('lostpointercapture', endDrag);
    canvas.addEventListener('pointerleave', onLeave);
    canvas.addEventListener('wheel', onWheel, { passive: false });

    return {
      el: canvas,
      start: surface.start,
      stop: surface.stop,
      selected: () => sel,
      select(id) {
        sel = id === undefined ? null : id;
      },
    };
  }

  // ------------------------------------------------------------------ formatters

  function clamp(value, lo, hi) {
    return Math.min(hi, Math.max(lo, value));
  }

  function roundTo(value, decimals) {
    const k = 10 ** decimals;
    return Math.round(value * k) / k;
  }

  const MINUS = '\u2212';
  const NOTES = ['C', 'C\u266F', 'D', 'D\u266F', 'E', 'F', 'F\u266F', 'G', 'G\u266F', 'A', 'A\u266F', 'B'];
  const SPEED_MPS = 343;

  function fmtHz(f) {
    if (f >= 10000) return (f % 1000 === 0 ? String(f / 1000) : (f / 1000).toFixed(1)) + 'k';
    if (f >= 1000) return (f / 1000).toFixed(2).replace(/(\.\d)0$/, '$1') + 'k';
    return String(Math.round(f * 10) / 10);
  }

  function fmtDb(v, digits) {
    const sign = v > 0 ? '+' : v < 0 ? MINUS : '';
    return sign + Math.abs(v).toFixed(digits === undefined || digits === null ? 1 : digits);
  }

  function noteName(f) {
    const n = Math.round(12 * Math.log2(f / 440)) + 69;
    return NOTES[((n % 12) + 12) % 12] + (Math.floor(n / 12) - 1);
  }

  function mmFor(ms) {
    const mm = Arrival && typeof Arrival.usToMm === 'function' ? Arrival.usToMm(ms * 1000) : ms * SPEED_MPS;
    return Math.round(mm * 10) / 10;
  }

  // A level for a typed field and what stands beside one: one decimal, a plain hyphen-minus and no
  // "+", since a number field shows nothing at all for "+3".
  function fmtPlainDb(db) {
    return roundTo(db, 1).toFixed(1);
  }

  // A figure written straight from its value; one that shows as zero has no sign ("0.0", not "-0.0").
  function fixedUnsignedZero(value, digits) {
    const text = value.toFixed(digits);
    return Number(text) === 0 ? (0).toFixed(digits) : text;
  }

  function plural(count, word) {
    return `${count} ${word}${count === 1 ? '' : 's'}`;
  }

  // ------------------------------------------------------------------ host reports
  //
  // What the host sends is read only through these: a record, a text, a number, the stream's
  // status. Anything of the wrong shape reads as nothing, so a host's fault never shows as
  // "NaN", "undefined" or an exception.

  // A host's record: an array or a scalar where a record belongs is treated as no record.
  function isObject(value) {
    return Boolean(value) && typeof value === 'object' && !Array.isArray(value);
  }

  function textOf(value) {
    return value === null || value === undefined ? '' : String(value);
  }

  function numberOr(value, fallback) {
    const n = Number(value);
    return value === null || value === undefined || !Number.isFinite(n) || n === 0 ? fallback : n;
  }

  // A number the host sent; anything that is not a finite number reads 0, so "NaN" never shows.
  function hostNumber(value) {
    return typeof value === 'number' && Number.isFinite(value) ? value : 0;
  }

  // The last "meter", else the status inside the last "devices" report.
  function streamStatus() {
    if (isObject(meter)) return meter;
    return devices && isObject(devices.status) ? devices.status : null;
  }

  function statusRunning() {
    const status = streamStatus();
    return Boolean(status && status.running);
  }

  // ------------------------------------------------------------------ routes

  function copyRoute(route) {
    const r = isObject(route) ? route : {};
    return {
      deviceType: textOf(r.deviceType),
      inputDevice: textOf(r.inputDevice),
      outputDevice: textOf(r.outputDevice),
      sampleRate: numberOr(r.sampleRate, 48000),
      bufferSize: numberOr(r.bufferSize, 256),
      queueMs: numberOr(r.queueMs, 30),
    };
  }

  // Whether the route the selects show is the one running (nothing chosen that is not applied yet).
  function routeIsLive(pending, report) {
    if (!report || !pending) return true;
    const running = copyRoute(report.selected);
    return Object.keys(running).every((key) => String(pending[key]) === String(running[key]));
  }

  // ------------------------------------------------------------------ routing panel and source setup
  //
  // Under this program's host the console picks its own audio route: a loopback source that
  // carries what the computer plays, the real output device and the engine settings. The selects
  // edit `pendingRoute` only; the running route changes when the action button sends it.

  const ROUTE_KEYS = Object.freeze(Object.keys(copyRoute(null)));
  const NUMERIC_ROUTE_KEYS = Object.freeze(['sampleRate', 'bufferSize', 'queueMs']);
  const QUEUE_LENGTHS_MS = Object.freeze([10, 20, 30, 50, 80, 120]);
  const MACHINE = 'this PC';
  const ASKING_FOR_DEVICES = 'Asking the system what audio devices it has\u2026';

  // Where a machine without a loopback source gets one. The host opens only the allow-listed
  // vendor sites, so the address must stay on one of them.
  const SOURCE_SETUP = Object.freeze({
    windows: Object.freeze({
      name: 'VB-CABLE',
      url: 'https://vb-audio.com/Cable/',
      howTo: (machine) => 'Install VB-CABLE (donationware), then set "CABLE Input" as '
        + `${machine}\u2019s playback device in Sound settings. It will appear here as "CABLE Output".`,
    }),
  });

  const ENGINE_SELECTS = Object.freeze([
    { key: 'deviceType', values: (d) => hostTexts(d.types), format: null, title: 'Audio backend' },
    { key: 'sampleRate', values: (d) => hostFigures(d.rates), format: (rate) => `${rate / 1000} kHz`, title: 'Sample rate' },
    { key: 'bufferSize', values: (d) => hostFigures(d.bufferSizes), format: (size) => `${size} smp`, title: 'Buffer size' },
    {
      key: 'queueMs', values: () => QUEUE_LENGTHS_MS, format: (ms) => `${ms} ms`,
      title: 'Queue \u2014 the cushion held between the two devices\u2019 clocks',
    },
  ]);

  // Lists from the host, keeping only the entries of their kind: names, or finite figures.
  function hostTexts(value) {
    return Array.isArray(value) ? value.filter((v) => typeof v === 'string') : [];
  }

  function hostFigures(value) {
    return Array.isArray(value) ? value.filter((v) => typeof v === 'number' && Number.isFinite(v)) : [];
  }

  // What the report says about loopback sources. A host that never sends the list is treated as
  // one from before the classification: every input is offered and no missing source is claimed.
  function loopInfo(report) {
    const haveLoopInfo = Boolean(report) && Array.isArray(report.loopbackInputs);
    const loopbackInputs = haveLoopInfo ? hostTexts(report.loopbackInputs) : [];
    return { haveLoopInfo, loopbackInputs, noSource: haveLoopInfo && loopbackInputs.length === 0 };
  }

  // The status line's parts, each a list of pieces: text, or { b } bold, or { bad } a marked count.
  function statusParts(status, noSource) {
    if (!status || !status.running) {
      const error = status && typeof status.error === 'string' ? status.error : '';
      let why = 'Choose where audio comes from and where it goes.';
      if (error) why = error;
      else if (noSource) why = 'Nothing is feeding audio in yet.';
      return [[{ b: 'Not correcting.' }, ` ${why}`]];
    }
    const parts = [[{ b: `${hostNumber(status.latencyMs).toFixed(1)} ms` }, ' latency']];
    if (!status.duplex) {
      const target = hostNumber(status.targetFrames);
      const fill = target > 0 ? Math.round(hostNumber(status.fillFrames) / target * 100) : 0;
      parts.push([`queue ${fill}%`], [`drift ${fixedUnsignedZero(hostNumber(status.correctionPpm), 1)} ppm`]);
    }
    for (const [key, word] of [['dropouts', 'dropout'], ['overruns', 'overrun']]) {
      const count = Math.round(hostNumber(status[key]));
      if (count !== 0) parts.push([{ bad: plural(count, word) }]);
    }
    return parts;
  }

  // What each status line shows, so that a meter with the same figures leaves its nodes alone.
  const shownStatus = new WeakMap();

  // Built from elements: the error text is the host's and goes in as text.
  function paintRouteStatus(node) {
    const parts = statusParts(streamStatus(), loopInfo(devices).noSource);
    const shown = JSON.stringify(parts);
    if (shownStatus.get(node) === shown) return;
    shownStatus.set(node, shown);
    node.replaceChildren();
    parts.forEach((part, i) => {
      if (i) node.append(' \u00b7 ');
      for (const piece of part) {
        if (typeof piece === 'string') node.append(piece);
        else if (piece.b !== undefined) node.append(el('b', { text: piece.b }));
        else node.append(el('u', { class: 'bad', text: piece.bad }));
      }
    });
  }

  // The select shared by the route rows and the engine row. A pending value the report does not
  // offer (an unplugged device, a renamed driver, a rate the device lost) is named as missing,
  // never silently replaced by the first entry.
  function pendingSelect(key, values, format, props) {
    const pending = textOf(pendingRoute[key]);
    const options = values.map((value) => el('option', {
      value: String(value), selected: String(value) === pending,
    }, format ? format(value) : String(value)));
    if (!values.some((value) => String(value) === pending)) {
      const missing = pending ? `${pending} (not available)` : 'Choose\u2026';
      options.unshift(el('option', { value: pending, selected: true }, missing));
    }
    const select = el('select', { ...props, 'data-key': `route:${key}` }, options);
    select.addEventListener('change', () => choose(key, select.value));
    return select;
  }

  function choose(key, value) {
    pendingRoute[key] = NUMERIC_ROUTE_KEYS.includes(key) ? Number(value) : value;
    if (key === 'deviceType') {
      // Another back end has other device lists; the host is asked for them, and nothing runs
      // differently until the route is applied.
      pendingRoute.inputDevice = '';
      pendingRoute.outputDevice = '';
      Runtime.send('rescan', { deviceType: value });
    }
    render();
  }

  function routeSelect(label, key, values, format, hint) {
    const row = el('div', { class: 'routerow' }, [
      el('span', { text: label }),
      pendingSelect(key, values, format, { 'aria-label': label }),
    ]);
    if (!hint) return row;
    return el('div', { class: 'routewrap' }, [row, el('div', { class: 'routehint', text: hint })]);
  }

  function bareSelect(key, values, format, title) {
    return pendingSelect(key, values, format, { class: 'inline', title, 'aria-label': title });
  }

  function sourceSetupCard(platform, machine) {
    const setup = Object.hasOwn(SOURCE_SETUP, platform) ? SOURCE_SETUP[platform] : SOURCE_SETUP.windows;
    const gap = (px) => `margin: 0 0 ${px}px`;
    return el('div', { class: 'setupcard' }, [
      el('p', { style: gap(10) }, [
        el('small', {}, [
          el('b', { text: `Nothing is handing ${machine}\u2019s audio over yet.` }),
          ' Tonwell corrects audio that is given to it, so it needs a virtual output device to read '
            + 'back \u2014 the list below has only real inputs, like a microphone.',
        ]),
      ]),
      el('p', { style: gap(14) }, [el('b', { text: setup.name }), ` \u2014 ${setup.howTo(machine)}`]),
      el('div', { class: 'setupacts' }, [
        el('button', {
          type: 'button', class: 'primary', 'data-key': 'setup:get',
          onclick: () => Runtime.send('shell', { action: 'openurl', url: setup.url }),
        }, `Get ${setup.name} \u2192`),
        el('button', {
          type: 'button', 'data-key': 'setup:settings',
          onclick: () => Runtime.send('shell', { action: 'soundsettings' }),
        }, 'Open sound settings'),
      ]),
    ]);
  }

  function sendRoute() {
    if (!pendingRoute || !pendingRoute.inputDevice || !pendingRoute.outputDevice) return;
    const route = {};
    for (const key of ROUTE_KEYS) route[key] = pendingRoute[key];
    Runtime.send('route', route);
  }

  function actionText(running, live) {
    if (!running) return 'Start correcting \u2192';
    return live ? 'Restart the stream' : 'Apply this routing \u2192';
  }

  function sourceHint() {
    if (showAllInputs) return `Showing every input, microphones included. Only a loopback device carries what ${MACHINE} plays.`;
    return `The virtual device everything on ${MACHINE} plays into \u2014 not your interface.`;
  }

  // The source row lists loopback inputs only, with a way out for a cable the host did not
  // recognise; that link stays outside the row's light, so Enter on the lit row never presses it.
  function sourceRows(report, source) {
    const hasInput = pendingRoute.inputDevice !== '';
    const isLoopback = source.loopbackInputs.includes(pendingRoute.inputDevice);
    // A working setup with a cable the host did not recognise is never hidden.
    if (source.haveLoopInfo && hasInput && !isLoopback) showAllInputs = true;
    const settled = source.haveLoopInfo && !showAllInputs && isLoopback;

    const inputs = showAllInputs || !source.haveLoopInfo ? hostTexts(report.inputs) : source.loopbackInputs;
    const row = beacon(routeSelect('Take audio from', 'inputDevice', inputs, null, settled ? null : sourceHint()), { block: true, radius: 10 });
    if (!source.haveLoopInfo || settled) return { row, escape: null };

    const escape = el('div', { class: 'routehint escape' }, [
      el('button', {
        type: 'button', class: 'linkish', 'data-key': 'route:every-input',
        onclick() {
          showAllInputs = !showAllInputs;
          render();
        },
      }, showAllInputs ? 'Show only system sources' : 'My cable is not listed \u2014 show every input'),
    ]);
    return { row, escape };
  }

  function engineRow(report) {
    return el('div', { class: 'routerow' }, [
      el('span', { text: 'Engine' }),
      ...ENGINE_SELECTS.map((s) => bareSelect(s.key, s.values(report), s.format, s.title)),
    ]);
  }

  function routingPanel() {
    const report = devices;
    if (!report) return { el: el('div', { class: 'routing' }, [el('p', { class: 'pctnote', text: ASKING_FOR_DEVICES })]) };
    if (!pendingRoute) pendingRoute = copyRoute(report.selected);
    const hasInput = pendingRoute.inputDevice !== '';
    const hasOutput = pendingRoute.outputDevice !== '';
    const source = loopInfo(report);

    const status = el('div', { class: 'routestat' });
    const paintStatus = () => paintRouteStatus(status);
    meterHooks.push(paintStatus);
    paintStatus();

    const card = source.noSource ? beacon(sourceSetupCard(report.platform, MACHINE), { block: true }) : null;
    const input = sourceRows(report, source);
    const outputRow = beacon(routeSelect('Play it out of', 'outputDevice', hostTexts(report.outputs)), { block: true, radius: 10 });

    const running = statusRunning();
    const live = routeIsLive(pendingRoute, devices);
    const action = el('button', {
      type: 'button', class: 'primary', 'data-key': 'route:apply', disabled: !(hasInput && hasOutput), onclick: sendRoute,
    }, actionText(running, live));
    const actionLight = beacon(action);

    // The next action, and never a disabled control: with no output the output row stands for it.
    if (card && !hasInput) light(card);
    else if (!hasInput) light(input.row);
    else if (!(live && running)) light(action.disabled ? outputRow : actionLight);

    return {
      el: el('div', { class: 'routing' }, [
        status, card, input.row, input.escape, outputRow, engineRow(report),
        el('div', { class: 'routerow routeact' }, [actionLight]),
      ]),
    };
  }

  // ------------------------------------------------------------------ band bar, knobs, typed fields, filter table

  const SVG_NS = 'http://www.w3.org/2000/svg';
  const KNOB_SWEEP = 270;
  const KNOB_CENTRE = 23;
  const KNOB_RADIUS = 17;
  // Pixels of vertical travel that cover the whole range; Shift is four times finer.
  const KNOB_SPAN_PX = 180;
  const KNOB_FINE_SPAN_PX = 720;
  const KNOB_KEY_STEP = 0.02;
  const KNOB_WHEEL_STEP = 0.01;
  const KNOB_FINE_KEY_STEP = 0.002;
  const KNOB_FINE_WHEEL_STEP = 0.002;
  const BAND_HINT = 'No filter selected \u2014 click a dot on the curve.';

  function svgEl(tag, attrs) {
    const node = doc.createElementNS(SVG_NS, tag);
    for (const [name, value] of Object.entries(attrs || {})) {
      if (value !== null && value !== undefined) node.setAttribute(name, String(value));
    }
    return node;
  }

  function bandById(id) {
    return state.bands.find((band) => band.id === id) || null;
  }

  // Flips a band in or out, from the band bar or its table row; a band that is gone is left alone.
  function switchBand(id) {
    const band = bandById(id);
    if (!band) return;
    band.on = !band.on;
    push();
  }

  function baselineBand(id) {
    const base = state.baseline;
    const bands = base && Array.isArray(base.bands) ? base.bands : [];
    return bands.find((band) => band.id === id) || null;
  }

  // A decimal comma goes into a number field as the point, however it comes: Chromium drops the
  // comma, so "1,5" would read 15, and WebKit keeps it and reads the whole field as empty. A typed
  // key is caught at its key-down (Chromium drops it before anything else hears of it), text that
  // arrives in one piece (a paste, a drop, an input method) before it is inserted. Where the point
  // cannot be inserted the comma goes in as it came, and reading the field takes it as the point.
  function commaAsPoint(e) {
    if (e.key !== ',' || e.ctrlKey || e.metaKey || e.altKey) return;
    if (doc.execCommand('insertText', false, '.')) e.preventDefault();
  }

  function textCommaAsPoint(e) {
    const text = typeof e.data === 'string' ? e.data : e.dataTransfer ? e.dataTransfer.getData('text/plain') : '';
    if (!e.cancelable || !text.includes(',')) return;
    if (doc.execCommand('insertText', false, text.replace(/,/g, '.'))) e.preventDefault();
  }

  function takeDecimalComma(input) {
    input.addEventListener('keydown', commaAsPoint);
    input.addEventListener('beforeinput', textCommaAsPoint);
  }

  // An arrow on a field that is empty or holds no number steps from the value the field stands
  // for: the browser would step from 0 and apply a value the user never saw (10 Hz for a cut at
  // 96 Hz).
  function isStepKey(e) {
    return e.key === 'ArrowUp' || e.key === 'ArrowDown';
  }

  // The value typed into a number field, or null for text that is empty or not a number.
  function typedNumber(input) {
    const text = String(input.value).trim().replace(',', '.');
    const value = Number(text);
    return text !== '' && Number.isFinite(value) ? value : null;
  }

  // Frequency and Q map logarithmically, so the bass, where the deep filters live, gets most of
  // the travel.
  function knobScale(o) {
    return {
      toPos(value) {
        const v = clamp(value, o.min, o.max);
        return o.log ? Math.log(v / o.min) / Math.log(o.max / o.min) : (v - o.min) / (o.max - o.min);
      },
      fromPos(n) {
        const t = clamp(n, 0, 1);
        return o.log ? o.min * (o.max / o.min) ** t : o.min + t * (o.max - o.min);
      },
    };
  }

  // Positions run clockwise from the bottom left (-225 degrees) through straight up to the bottom
  // right (+45).
  function knobPoint(n) {
    const a = ((-225 + KNOB_SWEEP * n) * Math.PI) / 180;
    return `${(KNOB_CENTRE + KNOB_RADIUS * Math.cos(a)).toFixed(3)} ${(KNOB_CENTRE + KNOB_RADIUS * Math.sin(a)).toFixed(3)}`;
  }

  function knobArc(from, to) {
    if (to - from < 1e-6) return '';
    const large = (to - from) * KNOB_SWEEP > 180 ? 1 : 0;
    return `M ${knobPoint(from)} A ${KNOB_RADIUS} ${KNOB_RADIUS} 0 ${large} 1 ${knobPoint(to)}`;
  }

  // A knob's and a typed field's repaints join `o.refreshers` when given (a part that rebuilds on
  // its own keeps its own list), else the window's.
  function knob(o) {
    const scale = knobScale(o);
    // A centred knob fills from 0, so a cut and a boost of one size mirror each other.
    const zero = o.centre ? scale.toPos(0) : 0;
    const fill = svgEl('path', { class: 'k-fill' });
    const pointer = svgEl('line', {
      class: 'k-ptr', x1: KNOB_CENTRE, y1: KNOB_CENTRE, x2: KNOB_CENTRE, y2: KNOB_CENTRE - KNOB_RADIUS + 3,
    });
    const dial = svgEl('svg', {
      class: 'knob3', viewBox: '0 0 46 46', role: 'slider', tabindex: '0', 'aria-label': o.label,
      'aria-valuemin': o.min, 'aria-valuemax': o.max, 'data-key': o.key,
    });
    dial.append(svgEl('path', { class: 'k-track', d: knobArc(0, 1) }), fill, pointer);

    function refresh() {
      const value = o.get();
      const n = scale.toPos(value);
      fill.setAttribute('d', knobArc(Math.min(zero, n), Math.max(zero, n)));
      pointer.setAttribute('transform', `rotate(${(-135 + KNOB_SWEEP * n).toFixed(3)} ${KNOB_CENTRE} ${KNOB_CENTRE})`);
      dial.setAttribute('aria-valuenow', String(value));
      dial.setAttribute('aria-valuetext', o.suffix ? `${o.format(value)} ${o.suffix}` : o.format(value));
    }

    // A step the rounding would swallow (a fine step on a small Q) still moves one unit.
    function stepBy(delta) {
      const before = o.get();
      const n = scale.toPos(before) + delta;
      o.set(scale.fromPos(n));
      if (o.get() === before && n > 0 && n < 1 && o.step) o.set(before + Math.sign(delta) * o.step);
      push();
    }

    let drag = null;

    function endDrag() {
      if (!drag) return;
      const id = drag.pointerId;
      drag = null;
      dial.classList.remove('turning');
      releasePointer(dial, id);
    }

    dial.addEventListener('pointerdown', (e) => {
      endDrag();
      drag = { pointerId: e.pointerId, y: e.clientY, n: scale.toPos(o.get()) };
      capturePointer(dial, e.pointerId);
      dial.classList.add('turning');
      e.preventDefault();
      // The default is prevented, and with it the focus a press would give; arrows work after a click.
      dial.focus({ preventScroll: true });
    });
    dial.addEventListener('pointermove', (e) => {
      if (!drag || e.pointerId !== drag.pointerId) return;
      // A release the dial never heard of (a context menu, a window switch) ends the drag, and a
      // render that replaced the dial ends it too: its band may now be another room's.
      if (e.buttons === 0 || !dial.isConnected) {
        endDrag();
        return;
      }
      const span = e.shiftKey ? KNOB_FINE_SPAN_PX : KNOB_SPAN_PX;
      o.set(scale.fromPos(drag.n + (drag.y - e.clientY) / span));
      push();
    });
    for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) dial.addEventListener(type, endDrag);

    dial.addEventListener('wheel', (e) => {
      e.preventDefault();
      // Some platforms turn a vertical wheel sideways while Shift is held.
      const delta = e.deltaY || e.deltaX;
      const size = e.shiftKey ? KNOB_FINE_WHEEL_STEP : KNOB_WHEEL_STEP;
      stepBy(delta > 0 ? -size : size);
    }, { passive: false });

    const ARROWS = { ArrowUp: 1, ArrowRight: 1, ArrowDown: -1, ArrowLeft: -1 };
    dial.addEventListener('keydown', (e) => {
      const direction = ARROWS[e.key];
      if (!direction) return;
      e.preventDefault();
      stepBy(direction * (e.shiftKey ? KNOB_FINE_KEY_STEP : KNOB_KEY_STEP));
    });

    dial.addEventListener('dblclick', () => {
      if (typeof o.reset !== 'function') return;
      o.set(o.reset());
      push();
    });

    (o.refreshers || refreshers).push(refresh);
    refresh();
    return { el: dial, refresh };
  }

  // Committed on Enter or when left, never per keystroke: a half-typed "0.3" must not become a
  // setting.
  function numberField(o) {
    const input = el('input', {
      type: 'number', class: o.wide ? 'numfield wide' : 'numfield', min: o.min, max: o.max,
      step: o.step === undefined ? 'any' : o.step, inputmode: 'decimal', 'aria-label': o.label, 'data-key': o.key,
    });
    // Text typed since the field last showed the state: Enter commits it, and the blur Enter
    // causes must not commit it again.
    let typed = false;

    function show() {
      input.value = o.format(o.get());
      typed = false;
    }

    function refresh() {
      if (doc.activeElement !== input) show();
    }

    function commit() {
      const value = typedNumber(input);
      if (value !== null) {
        o.set(clamp(value, o.min, o.max));
        push();
      }
      show();
    }

    input.addEventListener('input', () => {
      typed = true;
    });
    takeDecimalComma(input);
    input.addEventListener('keydown', (e) => {
      if (e.key === 'Enter') {
        e.preventDefault();
        commit();
        input.blur();
      } else if (e.key === 'Escape') {
        e.preventDefault();
        show();
        input.blur();
      } else if (isStepKey(e)) {
        e.preventDefault();
        if (typedNumber(input) === null) input.value = o.format(o.get());
        try {
          if (e.key === 'ArrowUp') input.stepUp();
          else input.stepDown();
        } catch (err) {
          // Text that is not a number has nothing to step from.
        }
        commit();
        markClean(input);
      }
    });
    input.addEventListener('focus', () => input.select());
    input.addEventListener('blur', () => {
      if (!input.isConnected) return;
      if (typed) commit();
      else show();
    });

    (o.refreshers || refreshers).push(refresh);
    show();
    const node = o.suffix ? el('span', { class: 'numwrap' }, [input, el('u', { text: o.suffix })]) : input;
    return { el: node, input, refresh };
  }

  function knobField(o) {
    const dial = knob({ ...o, key: `knob:${o.key}` });
    const field = numberField({ ...o, key: `field:${o.key}` });
    return el('div', { class: 'knobcell' }, [el('k', { text: o.label }), dial.el, field.el]);
  }

  // The band bar's three knobs: the band field each edits, its limits, rounding and read-out.
  const BAND_KNOBS = [
    { key: 'freq', field: 'freqHz', label: 'Freq', log: true, step: 0.1, decimals: 1, suffix: 'Hz', format: (v) => String(roundTo(v, 1)) },
    { key: 'gain', field: 'gainDb', label: 'Gain', centre: true, step: 0.1, decimals: 1, suffix: 'dB', format: fmtPlainDb },
    { key: 'q', field: 'q', label: 'Q', log: true, step: 0.01, decimals: 2, format: (v) => v.toFixed(2) },
  ];

  // A control holds its band by id and reads the current state; one whose band is gone writes nothing.
  function bandKnobOptions(def, band) {
    const { min, max } = Profile.LIMITS[def.field];
    const id = band.id;
    const atBuild = band[def.field];
    const get = () => {
      const b = bandById(id);
      return b ? b[def.field] : atBuild;
    };
    return {
      ...def, min, max, get,
      set(value) {
        const b = bandById(id);
        if (b) b[def.field] = roundTo(clamp(value, min, max), def.decimals);
      },
      reset() {
        const base = baselineBand(id);
        return base ? base[def.field] : get();
      },
    };
  }

  function widthNote(q) {
    return `${((2 * Math.asinh(1 / (2 * q))) / Math.LN2).toFixed(2)} oct wide`;
  }

  function chanPill(side) {
    return el('span', { class: side === 'left' ? 'chanpill l' : 'chanpill r' }, sideLetter(side));
  }

  // The blank before the note is a real character, so the heading copies and reads as "96 Hz G2".
  function paintHeading(node, freqHz) {
    const parts = [`${fmtHz(freqHz)} Hz`];
    if (freqHz < NOTE_BELOW_HZ) parts.push(' ', el('em', { text: noteName(freqHz) }));
    node.replaceChildren(...parts);
  }

  // The pill names the side, the words the scope. The blanks between the parts are text for
  // copying and reading aloud; the row's gap lays them out.
  function bandSubLine(band) {
    const parts = ['Bell', ' ', el('i', { text: '\u00B7' }), ' '];
    if (oneChannel(band)) parts.push(chanPill(band.stereo), ' ', 'this side only');
    else parts.push('both channels');
    return el('div', { class: 'bb-sub' }, parts);
  }

  function bandSignature(band) {
    return [band.id, band.stereo, band.on ? 1 : 0].join('|');
  }

  // Deselecting as a click on empty plot space does: nothing is sent, and no later render brings
  // the band back.
  function deselectBand() {
    if (plot) plot.select(null);
    selectedBandId = null;
    refreshLocally();
  }

  function selectBand(id) {
    if (plot) plot.select(id);
    selectedBandId = id;
    refreshSelection();
  }

  // Docked under the plot, one height with or without a band, so nothing below moves when a dot is
  // clicked. It rebuilds only when the band, its side or its switch changes; anything else repaints
  // the numbers, so a rebuild never eats a keystroke or a drag.
  function bandInspector(bandPlot) {
    const box = el('div', { class: 'bandbar' });
    let signature = null;
    let own = [];
    let heading = null;
    let note = null;

    function showHint() {
      box.replaceChildren(el('div', { class: 'bb-hint' }, BAND_HINT));
      box.classList.add('empty');
      signature = null;
      own = [];
      heading = null;
      note = null;
    }

    function switchButton(band) {
      return el('button', {
        type: 'button', class: band.on ? 'rowbtn on' : 'rowbtn', title: 'Switch this filter in or out',
        'data-key': `band:${band.id}:on`, onclick: () => switchBand(band.id),
      }, band.on ? 'On' : 'Off');
    }

    // The bar's controls register their repaints in a list of its own, so a rebuild replaces them
    // instead of stacking another copy on every selection.
    function build(band) {
      const rows = [];
      heading = el('k');
      note = el('span', { class: 'inspwidth' });
      box.replaceChildren(el('div', { class: 'bb-in' }, [
        el('div', { class: 'bb-id' }, [heading, bandSubLine(band)]),
        el('div', { class: 'knobrow' }, BAND_KNOBS.map((def) => knobField({ ...bandKnobOptions(def, band), refreshers: rows }))),
        el('div', { class: 'bb-act' }, [
          note,
          switchButton(band),
          el('button', {
            type: 'button', class: 'inspclose', title: 'Deselect (or click empty space on the plot)',
            'aria-label': 'Deselect', 'data-key': 'band:close', onclick: deselectBand,
          }, '\u00D7'),
        ]),
      ]));
      own = rows;
    }

    function rebuild(force) {
      const band = bandById(bandPlot ? bandPlot.selected() : null);
      if (!band) {
        if (signature !== null || !box.firstChild) showHint();
        return;
      }
      const next = bandSignature(band);
      if (force || next !== signature) {
        keepingFocus(box, () => build(band));
        box.classList.remove('empty');
        signature = next;
      }
      runAll(own);
      setText(note, widthNote(band.q));
      paintHeading(heading, band.freqHz);
    }

    refreshers.push(() => rebuild(false));
    return { el: box, rebuild };
  }

  const SIDES = [['stereo', 'Both'], ['left', 'Left'], ['right', 'Right']];

  // The table's number cells: clamped and rounded like the knobs, but applied at every keystroke.
  const TABLE_NUMBERS = [
    { key: 'freq', field: 'freqHz', label: 'Freq', step: 1, decimals: 1 },
    { key: 'gain', field: 'gainDb', label: 'Gain', step: 0.1, decimals: 1 },
    { key: 'q', field: 'q', label: 'Q', step: 0.1, decimals: 2 },
  ];

  function bandName(band) {
    const name = `${band.gainDb < 0 ? 'Cut' : 'Boost'} \u00B7 ${fmtHz(band.freqHz)} Hz`;
    return band.freqHz < NOTE_BELOW_HZ ? `${name}  ${noteName(band.freqHz)}` : name;
  }

  function appliedText(band) {
    if (state.bypass || !band.on) return null;
    return `${fmtDb(roundTo((band.gainDb * state.correctionPct) / 100, 1))} dB`;
  }

  function tableNumber(def, band) {
    const { min, max } = Profile.LIMITS[def.field];
    const id = band.id;
    const input = el('input', {
      type: 'number', min, max, step: def.step, inputmode: 'decimal', 'data-key': `row:${id}:${def.key}`,
    });
    // The text last applied or shown: the change event that follows the last keystroke repeats it.
    let applied = '';

    function paint(b) {
      input.value = String(b[def.field]);
      applied = input.value;
    }

    function apply() {
      if (input.value === applied) return;
      applied = input.value;
      const value = typedNumber(input);
      const b = bandById(id);
      if (value === null || !b) return;
      b[def.field] = roundTo(clamp(value, min, max), def.decimals);
      push();
    }

    input.addEventListener('input', apply);
    input.addEventListener('change', apply);
    takeDecimalComma(input);
    // The browser steps the cell itself, from what it shows once this has run.
    input.addEventListener('keydown', (e) => {
      const b = bandById(id);
      if (isStepKey(e) && typedNumber(input) === null && b) paint(b);
    });
    // Left with "1" typed, the cell shows the 10 Hz it stored.
    input.addEventListener('blur', () => {
      const b = bandById(id);
      if (b && input.isConnected) paint(b);
    });
    paint(band);
    return { input, paint };
  }

  function paintSwitch(button, on) {
    button.classList.toggle('on', on);
    button.setAttribute('aria-pressed', on ? 'true' : 'false');
    button.title = on ? 'Switch this filter off' : 'Switch this filter on';
  }

  function paintApplied(cell, band) {
    const text = appliedText(band);
    setText(cell, text === null ? '\u2014' : text);
    cell.className = text === null ? 'num muted' : `num ${band.gainDb < 0 ? 'cut' : 'boost'}`;
  }

  function swatchClass(band) {
    return oneChannel(band) ? `swatch ${band.stereo === 'left' ? 'l' : 'r'}` : 'swatch';
  }

  function bandRow(band) {
    const id = band.id;
    const numbers = TABLE_NUMBERS.map((def) => tableNumber(def, band));
    const side = el('select', {
      'data-key': `row:${id}:side`,
      onchange() {
        const b = bandById(id);
        if (!b) return;
        b.stereo = side.value;
        push();
      },
    }, SIDES.map(([value, text]) => el('option', { value, selected: band.stereo === value }, text)));
    const onSwitch = el('button', {
      type: 'button', class: 'rowbtn', 'aria-label': 'Filter on or off', 'data-key': `row:${id}:on`, onclick: () => switchBand(id),
    });
    const applied = el('td');
    const swatch = el('span');
    const name = el('span');
    const gainCell = el('td', {}, [numbers[1].input]);
    const row = el('tr', { tabindex: '0', 'data-key': `row:${id}` }, [
      el('td', { class: 'who' }, [el('div', {}, [swatch, name])]),
      el('td', {}, [numbers[0].input]),
      gainCell,
      el('td', {}, [numbers[2].input]),
      el('td', {}, [side]),
      applied,
      el('td', {}, [onSwitch]),
    ]);
    // A row selects its band, except where the click or key belongs to one of its controls.
    row.addEventListener('click', (e) => {
      if (!e.target.closest('input, select, button')) selectBand(id);
    });
    row.addEventListener('keydown', (e) => {
      if (e.target !== row || (e.key !== 'Enter' && e.key !== ' ')) return;
      e.preventDefault();
      selectBand(id);
    });

    // The row's name, colours and labels follow the band wherever it was edited (the plot, a knob,
    // this row), without rebuilding the cell being typed in. Every push repaints every row, so a
    // row whose name, side and sign stay is left alone.
    let shown = null;
    function paintName(b) {
      const title = bandName(b);
      const next = `${title}|${b.stereo}|${b.gainDb < 0}`;
      if (next === shown) return;
      shown = next;
      setText(name, title);
      swatch.className = swatchClass(b);
      gainCell.className = b.gainDb < 0 ? 'num cut' : 'num boost';
      side.setAttribute('aria-label', `Side, ${title}`);
      // Only this row's own select changes the side, so it already shows it while it has focus.
      if (side.value !== b.stereo) side.value = b.stereo;
      numbers.forEach((number, i) => number.input.setAttribute('aria-label', `${TABLE_NUMBERS[i].label}, ${title}`));
    }

    paintName(band);
    return { id, row, numbers, onSwitch, applied, paintName };
  }

  // The Filters panel. It is built with the window and only repainted after, so the cell under
  // the caret or the pointer is never replaced; it scrolls in its own box so that 24 filters never
  // push the strip off the window.
  function bandTable() {
    const rows = state.bands.map(bandRow);
    const heads = ['Filter', 'Freq', 'Gain', 'Q', 'Side', 'Applied', 'On'];
    const table = el('table', { class: 'bandtable' }, [
      el('thead', {}, [el('tr', {}, heads.map((text) => el('th', { scope: 'col', text })))]),
      el('tbody', {}, rows.map((r) => r.row)),
    ]);

    function refreshRows() {
      const selected = plot ? plot.selected() : null;
      for (const r of rows) {
        const band = bandById(r.id);
        if (!band) continue;
        r.row.classList.toggle('off', !band.on);
        r.row.classList.toggle('sel', band.id === selected);
        r.paintName(band);
        paintSwitch(r.onSwitch, band.on);
        for (const number of r.numbers) {
          if (doc.activeElement !== number.input) number.paint(band);
        }
        paintApplied(r.applied, band);
      }
    }

    refreshers.push(refreshRows);
    refreshRows();
    return el('div', { class: 'bandscroll' }, [table]);
  }

  // ------------------------------------------------------------------ state flow

  // Each repaint is guarded: one that throws must not keep the change from the others.
  function runAll(list) {
    for (const fn of list.slice()) {
      try {
        fn();
      } catch (e) {
        // Skipped; the change has gone out and the other repaints still run.
      }
    }
  }

  function paintTint() {
    const shell = doc.querySelector('.shell');
    if (shell) shell.classList.toggle('bypassed', Boolean(state.bypass));
  }

  // The places that show the state outside the controls' own repaints, repainted in place so that
  // nothing holding focus or a pointer is rebuilt.
  function repaintSheet() {
    runAll([
      paintTint,
      () => strip && typeof strip.repaint === 'function' && strip.repaint(),
      () => rail && typeof rail.repaint === 'function' && rail.repaint(),
    ]);
  }

  function push() {
    version += 1;
    Runtime.apply(state);
    save();
    runAll(refreshers);
    runAll([paintChrome]);
    repaintSheet();
  }

  function refreshLocally() {
    version += 1;
    runAll(refreshers);
    runAll([paintChrome]);
    repaintSheet();
  }

  function refreshSelection() {
    runAll(refreshers);
  }

  function save() {
    if (HOSTED) return;
    storageSet(STORE, Profile.toJson(state));
  }

  function metaLine(s) {
    if (!s.bands.length) return 'Load a profile to correct your room';
    let text = `${plural(s.bands.length, 'filter')} · ${s.correctionPct}% correction`;
    if (s.delayLeftMs || s.delayRightMs) text += ` · delay ${s.delayLeftMs.toFixed(3)} / ${s.delayRightMs.toFixed(3)} ms`;
    if (Profile.isEdited(s)) text += ' · edited';
    return text;
  }

  function paintChrome() {
    const byId = (id) => doc.getElementById(id);
    const name = byId('profileName');
    if (name) setText(name, state.profileName || 'No room loaded');
    const meta = byId('profileMeta');
    if (meta) setText(meta, metaLine(Profile.sanitizeState(state)));
    const bypass = byId('bypassBtn');
    if (bypass) {
      bypass.setAttribute('aria-pressed', state.bypass ? 'true' : 'false');
      setText(bypass, state.bypass ? 'Bypassed' : 'Bypass');
    }
    const dot = byId('brandDot');
    if (dot && !HOSTED) dot.classList.toggle('live', Boolean(Runtime.auditioning()));
  }

  // Built as elements: the figures are the page's own, but nothing here goes through markup.
  function paintReadout(node) {
    node.replaceChildren();
    if (state.bypass) {
      node.append(el('b', { text: 'Bypassed' }));
      return;
    }
    const inForce = Profile.activeBands(state);
    if (inForce.length) {
      const peak = Profile.peakMoveDb(inForce, { sampleRate: runtimeRate() });
      node.append(`${fmtDb(peak)} dB `, el('u', { text: `biggest move · ${plural(inForce.length, 'filter')}` }));
    } else {
      node.append('0.0 dB ', el('u', { text: 'nothing applied' }));
    }
  }

  // ------------------------------------------------------------------ settings strip and correction panels
  //
  // Everything that is not the curve: one row of value cells under the band bar and exactly one
  // panel open beneath it. Only the open panel is built, so a closed panel's controls do not exist
  // and register no repaints; the cells themselves are repainted in place after every change.

  // The speaker faders cover the useful 5 ms (about 1.7 m of speaker offset); up to 20 ms is typed.
  const FADER_MAX_MS = 5;
  // Nothing after the system-wide host compensates for its latency; above this, sound and picture part.
  const LATENCY_WARN_MS = 20;
  // A filter narrower than this many FIR bins comes out wider and shallower than drawn.
  const FIR_RESOLUTION_MARGIN = 1.5;
  const HIDE_TITLE = 'Hide these controls and give the height to the curve';

  const PHASE_SEGMENTS = [
    { value: 'minimum', label: 'Minimum', title: 'The phase behaviour of an analogue EQ. Near-zero latency, and a cut never rings before the note that caused it.' },
    { value: 'linear', label: 'Linear', title: 'Every frequency delayed by the same amount, so nothing is smeared in time. Same magnitude as minimum phase \u2014 only the phase and the latency change.' },
  ];
  const FIR_SEGMENTS = [
    { value: 'low', label: 'Short', title: 'Least latency. Fine above a few hundred Hz.' },
    { value: 'medium', label: 'Normal', title: 'The sensible default.' },
    { value: 'high', label: 'Long', title: 'Resolves the narrowest bass modes. Mastering only.' },
  ];
  const NOISES = [['pink', 'Pink noise'], ['brown', 'Brown noise']];
  const INSERT_TITLE = 'A VST3 \u2014 and on a Mac an Audio Unit \u2014 placed after the room correction and before your interface. Not wired up yet; the audio-side host is the next piece of work.';

  function latencyMsNow() {
    const fs = runtimeRate();
    return (Profile.latencySamples(state, fs) / fs) * 1000;
  }

  // Two decimals below 10 ms, none from there.
  function latencyFigure(ms) {
    return ms < 10 ? ms.toFixed(2) : ms.toFixed(0);
  }

  // The figure the latency warning gives must make it true: 20.3 ms is past the limit, "20 ms" is
  // not. Whole milliseconds, or the fewest decimals that show the latency above the limit.
  function warnedLatencyFigure(ms) {
    for (let digits = 0; digits < 3; digits += 1) {
      const text = ms.toFixed(digits);
      if (Number(text) > LATENCY_WARN_MS) return text;
    }
    return ms.toFixed(3);
  }

  function latencyWarns(ms) {
    return SW && ms > LATENCY_WARN_MS;
  }

  function fmtDelayPair(leftMs, rightMs) {
    return `${leftMs.toFixed(2)} / ${rightMs.toFixed(2)}`;
  }


  function correctionNote() {
    const pct = state.correctionPct;
    if (state.bypass) return 'bypassed';
    if (pct === 0) return 'nothing applied';
    if (pct < 40) return 'a light touch';
    if (pct <= 85) return 'the usual working range';
    if (pct < 100) return 'almost all of it';
    return 'the full measured correction';
  }

  function baselineValue(field, fallback) {
    const base = state.baseline;
    return base && Number.isFinite(base[field]) ? base[field] : fallback;
  }

  // One sheet row: the name (with an optional small subtitle) on the left, the controls on the
  // right. Every parameter of the panels is one of these; no control gets a box of its own.
  function crow(name, sub, controls, options) {
    const o = options || {};
    const subtitle = sub === null || sub === undefined || sub === '' ? null
      : sub.nodeType === 1 ? sub : el('small', { text: sub });
    return el(o.tag || 'div', { class: o.sub ? 'crow sub' : 'crow' }, [
      el('div', { class: 'k' }, [...(Array.isArray(name) ? name : [name]), subtitle]),
      el('div', { class: 'v' }, controls),
    ]);
  }

  // Pushes at every input event, unthrottled; its repaint skips it while it has focus, so a dragged
  // slider is never moved under the pointer by its own repaint.
  function railSlider(o) {
    const input = el('input', {
      type: 'range', class: o.short ? 'short' : null, min: o.min, max: o.max, step: o.step,
      'aria-label': o.label, 'data-key': o.key,
    });

    function show() {
      input.value = String(o.get());
    }

    function refresh() {
      if (doc.activeElement !== input) show();
    }

    input.addEventListener('input', () => {
      o.set(Number(input.value));
      push();
    });
    // The double-click focused the slider, so its repaint would skip it: it shows the value itself.
    input.addEventListener('dblclick', () => {
      o.set(typeof o.reset === 'function' ? o.reset() : o.min);
      push();
      show();
    });
    refreshers.push(refresh);
    show();
    return input;
  }

  function segments(name, list, current, choose) {
    return el('div', { class: 'seggroup', role: 'group' }, list.map((seg) => el('button', {
      type: 'button', class: seg.value === current ? 'segbtn on' : 'segbtn', title: seg.title || null,
      'aria-pressed': seg.value === current ? 'true' : 'false', 'data-key': `seg:${name}:${seg.value}`,
      onclick() {
        if (seg.value !== current) choose(seg.value);
      },
    }, seg.label)));
  }

  function bigNumber(kind, unit) {
    const figure = el('span');
    return { el: el('span', { class: `bignum ${kind}` }, [figure, el('u', { text: unit })]), figure };
  }

  function correctionPanel() {
    const basePct = baselineValue('correctionPct', Profile.LIMITS.correctionPct.default);
    const { min, max, step } = Profile.LIMITS.correctionPct;
    const note = el('small');
    const big = bigNumber('pct', '%');
    const slider = railSlider({
      key: 'slider:amount', label: 'How much of the room to undo', min, max, step,
      get: () => state.correctionPct,
      set: (value) => { state.correctionPct = Math.round(clamp(value, min, max)); },
      reset: () => basePct,
    });
    const paint = () => {
      setText(note, correctionNote());
      setText(big.figure, String(state.correctionPct));
    };
    refreshers.push(paint);
    paint();
    return [crow('Amount ', note, [slider, big.el]), outputHeadroomRow()];
  }

  // It sits with Amount because the attenuation follows from how much correction is applied. The
  // whole row is a label, so a click anywhere on it toggles the box.
  function outputHeadroomRow() {
    const note = el('small', { class: 'below' });
    const read = el('span', { class: 'hrread' });
    const box = el('input', {
      type: 'checkbox', 'aria-label': 'Safe headroom', 'data-key': 'check:headroom',
      onchange() {
        state.safeHeadroom = box.checked;
        push();
      },
    });
    const paint = () => {
      // Nothing is in force while bypassed, so the figure is 0 then.
      const db = Profile.headroomDb(Profile.activeBands(state), { sampleRate: runtimeRate() });
      const safe = state.safeHeadroom !== false;
      box.checked = safe;
      if (state.bypass) setText(read, 'bypassed');
      else if (!safe) setText(read, 'off');
      else if (db < 0) setText(read, `${db.toFixed(2)} dB`);
      else setText(read, 'nothing needed');
      if (!safe) setText(note, 'a boost can clip');
      else if (db < 0) setText(note, 'attenuating so nothing can');
      else setText(note, 'this correction only cuts');
    };
    refreshers.push(paint);
    paint();
    return crow('Safe headroom', note, [read, box], { tag: 'label' });
  }

  // The FIR message is linear phase's alone; the latency message shows whenever the Phase cell
  // warns, minimum phase included (long speaker delays add up past the limit there too).
  function phaseWarnings() {
    const messages = [];
    const fs = runtimeRate();
    if (state.phaseMode === 'linear') {
      const resolutionHz = fs / Profile.firTapsFor(state.firQuality, fs);
      const narrowest = Profile.narrowestBandHz(Profile.activeBands(state));
      if (narrowest > 0 && narrowest < FIR_RESOLUTION_MARGIN * resolutionHz) {
        messages.push(`Too short for your narrowest filter (${narrowest.toFixed(1)} Hz) \u2014 it will come out wider and shallower than the curve shows.`);
      }
    }
    const ms = latencyMsNow();
    if (latencyWarns(ms)) messages.push(`${warnedLatencyFigure(ms)} ms will put video, games and calls out of sync.`);
    return messages;
  }

  function choosePhase(field, value) {
    state[field] = value;
    render();
    push();
  }

  function phasePanel() {
    const big = bigNumber('lat', 'ms');
    const warn = el('div', { class: 'warnbox slim', role: 'note' });
    const rows = [crow('Phase', null, [
      segments('phase', PHASE_SEGMENTS, state.phaseMode, (value) => choosePhase('phaseMode', value)),
      big.el,
    ])];
    if (state.phaseMode === 'linear') {
      rows.push(crow('Resolution', null, [
        segments('fir', FIR_SEGMENTS, state.firQuality, (value) => choosePhase('firQuality', value)),
      ], { sub: true }));
    }
    const paint = () => {
      setText(big.figure, latencyFigure(latencyMsNow()));
      const messages = phaseWarnings();
      setText(warn, messages.join(' '));
      warn.hidden = messages.length === 0;
    };
    refreshers.push(paint);
    paint();
    return [...rows, warn];
  }

  function delayRow(side) {
    const field = side === 'left' ? 'delayLeftMs' : 'delayRightMs';
    const Side = side === 'left' ? 'Left' : 'Right';
    const { min, max, step } = Profile.LIMITS.delayMs;
    const base = baselineValue(field, 0);
    const label = `${Side} speaker delay`;
    const get = () => state[field];
    const set = (value) => { state[field] = roundTo(clamp(value, min, max), 3); };
    const travel = el('small');
    const paint = () => { setText(travel, `${mmFor(state[field])} mm of speaker travel`); };
    // A delay above the fader's end shows the fader at its end.
    const slider = railSlider({ key: `slider:delay:${side}`, label, min, max: FADER_MAX_MS, step, short: true, get, set, reset: () => base });
    const typed = numberField({ key: `field:delay:${side}`, label, min, max, step, wide: true, suffix: 'ms', get, set, format: (v) => v.toFixed(3) });
    refreshers.push(paint);
    paint();
    return crow([chanPill(side), `${Side} speaker`], travel, [slider, typed.el]);
  }

  function delayPanel() {
    return [delayRow('left'), delayRow('right')];
  }

  function chooseUiStep(key) {
    setUiPref(key);
    render();
  }

  // The preview plays noise through its own correction; under a host real audio is flowing and
  // the row is absent. Rebuilt on every change, keeping the keyboard on its button.
  function noiseRow() {
    const row = el('div', { class: 'utilrow' });
    let failure = null;

    function play(kind) {
      failure = null;
      try {
        if (Runtime.auditioning() === kind) Runtime.stopAudition();
        else Runtime.audition(kind);
      } catch (e) {
        failure = e && e.message ? String(e.message) : 'The preview cannot play here.';
      }
      push();
    }

    function build() {
      const playing = Runtime.auditioning();
      const buttons = NOISES.map(([kind, name]) => el('button', {
        type: 'button', class: playing === kind ? 'sel' : null, 'data-key': `noise:${kind}`, onclick: () => play(kind),
      }, `${playing === kind ? '\u23F9' : '\u25B6'} ${name}`));
      if (playing) {
        buttons.push(el('button', {
          type: 'button', class: 'warm', 'data-key': 'noise:stop',
          onclick() {
            Runtime.stopAudition();
            push();
          },
        }, '\u23F9 Stop'));
      }
      if (failure) buttons.push(el('span', { role: 'alert', text: failure }));
      row.replaceChildren(...buttons);
    }

    refreshers.push(() => keepingFocus(row, build));
    build();
    return row;
  }

  function outputPanel() {
    const { min, max, step } = Profile.LIMITS.outputDb;
    const get = () => state.outputDb;
    const set = (value) => { state.outputDb = roundTo(clamp(value, min, max), 1); };
    const rows = [
      crow('Output trim', null, [
        railSlider({ key: 'slider:trim', label: 'Trim', min, max, step, get, set, reset: () => 0 }),
        numberField({ key: 'field:trim', label: 'Trim', min, max, step, suffix: 'dB', get, set, format: fmtPlainDb }).el,
      ]),
      // The scale is the window's own preference: never sent, never part of the state.
      crow('Window size', 'everything scales together', [segments('ui', UI_STEPS.map((s) => ({ value: s.key, label: s.label })), uiPref, chooseUiStep)]),
    ];
    if (!HOSTED) rows.push(noiseRow());
    return rows;
  }

  function reportedOutput() {
    const selected = devices && isObject(devices.selected) ? devices.selected : null;
    return selected ? textOf(selected.outputDevice) : '';
  }

  // Drawn, not wired to any audio: nothing is sent and no plug-in is loaded.
  function insertSection() {
    const stages = [['System audio'], ['Tonwell', 'us'], ['Your plugin'], [reportedOutput() || 'your speakers']];
    const chain = [];
    stages.forEach(([name, cls], i) => {
      if (i) chain.push(el('span', { 'aria-hidden': 'true', text: '\u2192' }));
      chain.push(el('b', { class: cls || null, text: name }));
    });
    return [
      el('div', { class: 'chainmap' }, chain),
      el('div', { class: 'slot empty' }, [
        el('button', { type: 'button', class: 'linkish', disabled: true, title: INSERT_TITLE, 'data-key': 'insert:load' }, 'Load a plugin\u2026 (coming next)'),
      ]),
    ];
  }

  // The cells in their order; the last two only in the system-wide host. Each paints its value,
  // unit and warning from the current state, and names the widest value and unit it can show
  // (`widest`): the cell keeps room for them, so no value it shows is cut where the strip has the
  // room, and the strip never moves as values change. Figures are tabular, so a figure of the most
  // digits stands for every figure.
  const MAX_DELAY_MS = Profile.LIMITS.delayMs.max;
  const CELLS = [
    {
      key: 'amount', label: 'Amount', panel: correctionPanel,
      widest: { values: ['Bypassed', '100'], units: ['%'] },
      paint: () => (state.bypass
        ? { value: 'Bypassed', unit: '', warn: true }
        : { value: String(state.correctionPct), unit: '%', warn: false }),
    },
    {
      key: 'phase', label: 'Phase', panel: phasePanel,
      widest: { values: ['Minimum', 'Linear'], units: ['0.00 ms', '0000 ms'] },
      paint() {
        const ms = latencyMsNow();
        return { value: state.phaseMode === 'linear' ? 'Linear' : 'Minimum', unit: `${latencyFigure(ms)} ms`, warn: latencyWarns(ms) };
      },
    },
    {
      key: 'timing', label: 'Speaker timing', panel: delayPanel,
      widest: { values: [fmtDelayPair(MAX_DELAY_MS, MAX_DELAY_MS)], units: ['ms'] },
      paint: () => ({ value: fmtDelayPair(state.delayLeftMs, state.delayRightMs), unit: 'ms', warn: false }),
    },
    {
      key: 'output', label: 'Output', panel: outputPanel,
      widest: { values: [fmtPlainDb(Profile.LIMITS.outputDb.min)], units: ['dB'] },
      paint: () => ({ value: fmtPlainDb(state.outputDb), unit: 'dB', warn: false }),
    },
    {
      key: 'filters', label: 'Filters', panel: () => [bandTable()],
      widest: { values: [String(Profile.MAX_BANDS)], units: [`of ${Profile.MAX_BANDS}`] },
      paint: () => ({ value: String(Profile.activeBands(state).length), unit: `of ${state.bands.length}`, warn: false }),
    },
    {
      key: 'routing', label: 'Routing', systemWide: true, panel: () => [routingPanel().el],
      widest: { values: ['Not correcting', 'Correcting'], units: ['set it up', '000.0 ms'] },
      paint() {
        return statusRunning()
          ? { value: 'Correcting', unit: `${hostNumber(streamStatus().latencyMs).toFixed(1)} ms`, warn: false }
          : { value: 'Not correcting', unit: 'set it up', warn: true };
      },
    },
    {
      key: 'insert', label: 'Insert', systemWide: true, panel: insertSection,
      widest: { values: ['Empty'], units: [] },
      paint: () => ({ value: 'Empty', unit: '', warn: false }),
    },
  ];

  function presentCells() {
    return CELLS.filter((cell) => SW || !cell.systemWide);
  }

  // Unset means never chosen, null that the user hid the panel, a string the open cell's key.
  // Under the system-wide host the first render comes before any "devices" report, when the stream
  // is not yet known to run: the fallback is shown but not stored (for a stale key too), so that
  // the first report can still open Amount.
  function decideOpenCell(cells) {
    const streamDown = SW && !statusRunning();
    const fallback = streamDown ? 'routing' : 'amount';
    const stale = typeof openCell === 'string' && !cells.some((cell) => cell.key === openCell);
    if (openCell === undefined || stale) {
      if (SW && devices === null) return fallback;
      openCell = fallback;
    }
    // Without a route the system is silent, and routing is where the next action lives.
    if (openCell === null && streamDown) openCell = 'routing';
    return openCell;
  }

  const CHEVRON = '\u25BE';

  // Unseen lines of the widest value and unit the cell can show, in their own type: the cell is
  // as wide as they and its name need.
  function stripCellFit(widest) {
    return el('span', { class: 'fit', 'aria-hidden': 'true' }, [
      ...widest.values.map((value) => el('b', {}, [value, el('i', { text: CHEVRON })])),
      ...widest.units.map((unit) => el('u', { text: unit })),
    ]);
  }

  function stripCell(cell, open) {
    const b = el('b');
    const u = el('u');
    const button = el('button', {
      type: 'button', class: cell.key === open ? 'scell on' : 'scell', 'aria-expanded': cell.key === open ? 'true' : 'false',
      'data-key': `cell:${cell.key}`,
      onclick() {
        // Opening a panel changes nothing the runtime uses, so nothing is sent.
        openCell = cell.key;
        render();
      },
    }, [
      el('k', { text: cell.label }),
      el('v', {}, [b, u, el('i', { 'aria-hidden': 'true', text: CHEVRON })]),
      stripCellFit(cell.widest),
    ]);

    // A window too narrow for the strip cuts a cell's text with an ellipsis; the cell still names
    // its whole value, to the pointer and to assistive technology.
    function paint() {
      const shown = cell.paint();
      setText(b, shown.value);
      setText(u, shown.unit);
      u.hidden = !shown.unit;
      button.classList.toggle('warn', shown.warn);
      const whole = `${cell.label}: ${shown.unit ? `${shown.value} ${shown.unit}` : shown.value}`;
      if (button.title !== whole) {
        button.title = whole;
        button.setAttribute('aria-label', whole);
      }
    }

    paint();
    return { cell, button, paint };
  }

  function placeStripBar(bar, at, animated) {
    if (!animated) bar.style.transition = 'none';
    bar.style.transform = `translateX(${at.x}px)`;
    bar.style.width = `${at.width}px`;
    if (!animated) {
      void bar.offsetWidth;
      bar.style.transition = '';
    }
  }

  // The cells stand roomy (each at least as wide as its name and widest value) wherever that fits
  // the row, else tight (equal shares). The browser says which: the roomy row overflows or not.
  function fitStripCells(stripEl) {
    stripEl.classList.remove('tight');
    stripEl.classList.toggle('tight', stripEl.scrollWidth > stripEl.clientWidth);
  }

  // The travelling rule starts where it ended last render, with its transition off, and then
  // slides to the open cell. When the cells change width after that (the window is resized, or a
  // font arrives), the row is fitted again and the rule is put back under its cell.
  function moveStripBar(stripEl, bar, target) {
    const follow = () => {
      if (!stripEl.isConnected) return;
      fitStripCells(stripEl);
      if (!target) return;
      const at = { x: target.offsetLeft, width: target.offsetWidth };
      if (lastBar && at.x === lastBar.x && at.width === lastBar.width) return;
      placeStripBar(bar, at, false);
      lastBar = at;
    };
    root.requestAnimationFrame(() => {
      if (!stripEl.isConnected) return;
      fitStripCells(stripEl);
      if (typeof root.ResizeObserver === 'function') new root.ResizeObserver(follow).observe(stripEl);
      if (!target || !bar.isConnected || !target.isConnected) return;
      if (lastBar) placeStripBar(bar, lastBar, false);
      const next = { x: target.offsetLeft, width: target.offsetWidth };
      placeStripBar(bar, next, true);
      lastBar = next;
    });
    return follow;
  }

  function cellPanel(cell) {
    const hide = el('button', {
      type: 'button', class: 'panelhide', title: HIDE_TITLE, 'data-key': 'panel:hide',
      onclick() {
        const hadFocus = doc.activeElement === hide;
        openCell = null;
        render();
        // With nothing left to hide, the keyboard stays on the cell whose panel it hid.
        if (hadFocus && !doc.querySelector('[data-key="panel:hide"]')) {
          const owner = doc.querySelector(`[data-key="cell:${cell.key}"]`);
          if (owner) owner.focus({ preventScroll: true });
        }
      },
    }, 'Hide \u25BE');
    return el('div', { class: 'cellpanel', 'data-cell': cell.key }, [
      el('div', { class: 'cellpanelbar' }, [el('h2', { class: 'cellpanelhead', text: cell.label }), hide]),
      ...cell.panel(),
    ]);
  }

  function settingsStrip() {
    const cells = presentCells();
    const open = decideOpenCell(cells);
    const built = cells.map((cell) => stripCell(cell, open));
    const bar = el('div', { class: 'stripbar', 'aria-hidden': 'true' });
    const stripEl = el('div', { class: 'strip' }, [...built.map((c) => c.button), bar]);

    const routing = built.find((c) => c.cell.key === 'routing');
    if (routing && !statusRunning() && open !== 'routing') {
      // The ring is drawn on the cell itself, so the lit cell keeps the width of its neighbours.
      routing.button.classList.add('beacon', 'block');
      stripBeacon = routing.button;
    }
    // The stream's figures arrive with every "meter"; the beacon and the open cell wait for a render.
    if (routing) meterHooks.push(routing.paint);

    const openCellBuilt = built.find((c) => c.cell.key === open) || null;
    const panel = openCellBuilt ? cellPanel(openCellBuilt.cell) : null;
    const refit = moveStripBar(stripEl, bar, openCellBuilt && openCellBuilt.button);

    return {
      el: el('div', { class: 'settings' }, [stripEl, panel]),
      repaint: () => runAll(built.map((c) => c.paint)),
      refit,
    };
  }

  // ------------------------------------------------------------------ rebuilds and the user
  //
  // A render replaces every control in the window, so it must not land in the middle of what the
  // user is doing. Two mechanisms serve every part of the window.
  //
  // Holding renders. A host message that only changes what the window offers ("devices",
  // "library") updates the module state at once and asks for its render with `renderWhenFree()`.
  // That render waits while anything holds, and runs once, in a task of its own, after the last
  // hold ends; "restore" and the user's own loads call `render` directly and show at once.
  // What holds:
  //   - a pointer pressed anywhere in `app` or the top bar, until it is lifted or cancelled, its
  //     capture is lost, or the window loses focus. The render comes after the click that ends
  //     the press, so the click still reaches the control it was aimed at;
  //   - a typed field with text not yet committed: any text or number input or text area in `app`
  //     is marked by its first "input" event and freed by "change", by Escape or by losing focus.
  //     A field that commits and keeps focus calls `markClean(field)`; an editor that is not an
  //     input marks itself with `markDirty(field)`;
  //   - any other gesture a part runs itself: `holdRenders(reason)` until `releaseRenders(reason)`,
  //     where the reason is any value, typically the part's element. A hold whose reason is an
  //     element ends when a render removes that element.
  //
  // Keeping focus. Every control that can take focus carries `data-key`, a text unique in the
  // window and the same on every build ("cell:amount", "seg:phase:linear", "route:outputDevice").
  // `render`, and a part that rebuilds its own box through `keepingFocus(box, rebuild)`, move focus
  // from a replaced control to the new control with the same key, so a keyboard user is not
  // dropped to the page's body by a strip click, a segment choice or a routing change.

  const holds = new Set();
  let renderOwed = false;

  function holdRenders(reason) {
    holds.add(reason);
  }

  function releaseRenders(reason) {
    if (!holds.delete(reason) || holds.size || !renderOwed) return;
    // Never inside the event that ended the gesture: its own handlers still work on the controls.
    root.setTimeout(() => {
      if (renderOwed && !holds.size) render();
    }, 0);
  }

  function renderWhenFree() {
    if (holds.size) renderOwed = true;
    else render();
  }

  // A render has removed these elements, and with them the gestures on them.
  function dropDetachedHolds() {
    for (const reason of holds) {
      if (reason && reason.nodeType === 1 && !reason.isConnected) holds.delete(reason);
    }
  }

  function markDirty(field) {
    holdRenders(field);
  }

  function markClean(field) {
    releaseRenders(field);
  }

  const NOT_TYPED = /^(button|checkbox|color|file|hidden|image|radio|range|reset|submit)$/;

  function isTypedField(node) {
    if (!node || node.nodeType !== 1) return false;
    if (node.tagName === 'TEXTAREA') return true;
    return node.tagName === 'INPUT' && !NOT_TYPED.test(node.type);
  }

  function inWindow(node) {
    return Boolean(node && node.nodeType === 1 && node.closest('#app, .topbar'));
  }

  const pointerHold = (id) => `pointer ${id}`;

  function releasePointers() {
    for (const reason of [...holds]) {
      if (typeof reason === 'string' && reason.startsWith('pointer ')) releaseRenders(reason);
    }
  }

  function trackGestures() {
    doc.addEventListener('pointerdown', (e) => {
      if (inWindow(e.target)) holdRenders(pointerHold(e.pointerId));
    }, true);
    const lifted = (e) => releaseRenders(pointerHold(e.pointerId));
    for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) root.addEventListener(type, lifted, true);
    // A release the page never heard of (outside the window, or while another one had focus).
    root.addEventListener('pointermove', (e) => {
      if (e.buttons === 0) lifted(e);
    }, true);
    root.addEventListener('blur', releasePointers);

    doc.addEventListener('input', (e) => {
      if (isTypedField(e.target) && e.target.closest('#app')) markDirty(e.target);
    }, true);
    // Bubbling, so that the field's own commit and Escape handling have run first.
    root.addEventListener('change', (e) => markClean(e.target));
    root.addEventListener('keydown', (e) => {
      if (e.key === 'Escape') markClean(e.target);
    });
    doc.addEventListener('focusout', (e) => markClean(e.target), true);
  }

  function focusedKey(box) {
    const active = doc.activeElement;
    if (!active || !box.contains(active)) return null;
    return active.getAttribute('data-key');
  }

  function keyed(box, key) {
    for (const node of box.querySelectorAll('[data-key]')) {
      if (node.getAttribute('data-key') === key) return node;
    }
    return null;
  }

  function keepingFocus(box, rebuild) {
    const key = focusedKey(box);
    rebuild();
    if (key === null || box.contains(doc.activeElement)) return;
    const next = keyed(box, key);
    if (next) next.focus({ preventScroll: true });
  }

  // ------------------------------------------------------------------ rooms rail and profile loading
  //
  // The rail lists every room the user can load and carries the actions on a room. Loading turns a
  // room profile into a fresh working state; it fails without touching the room in force.

  const WIZARD_PROFILES = 'brindle.profiles.v1';
  const UNTITLED = 'Untitled room';
  const DEMO_SOURCE = 'Demo room';
  const UNREADABLE = 'That file could not be read.';
  const NO_ROOMS = 'No other rooms yet. Export a map as JSON from the measuring app and drop it on this window.';
  const NOTHING_CHOSEN = 'nothing chosen yet';
  // A room profile is a few hundred kilobytes; a file far larger was dropped by mistake (a video)
  // and must not be read into memory as text.
  const MAX_PROFILE_BYTES = 16 * 1024 * 1024;

  function roomLoaded() {
    return state.bands.length > 0 || Boolean(state.profileName);
  }

  function adopt(result, sourceName) {
    if (!result || !result.ok) {
      lastError = result && result.error ? String(result.error) : UNREADABLE;
      render();
      return false;
    }
    lastError = null;
    const profile = { ...result.profile };
    if ((!profile.name || profile.name === UNTITLED) && sourceName) profile.name = sourceName;
    state = Profile.stateForProfile(profile, state);
    render();
    push();
    return true;
  }

  function loadText(text, sourceName) {
    const name = sourceName ? String(sourceName) : '';
    return adopt(Profile.readProfile(text, name ? { name } : undefined), name);
  }

  function loadDemo() {
    return adopt(Profile.readProfile(root.BrindleDemoProfile), DEMO_SOURCE);
  }

  // The measuring application's rooms, read and never written; anything else counts as none.
  function savedProfiles() {
    const text = storageGet(WIZARD_PROFILES);
    if (text === null) return {};
    try {
      const value = JSON.parse(text);
      return isObject(value) ? value : {};
    } catch (e) {
      return {};
    }
  }

  function loadSavedProfile(name) {
    const stored = savedProfiles()[name];
    return loadText(typeof stored === 'string' ? stored : JSON.stringify(stored), name);
  }

  function sourceNameOf(fileName) {
    return textOf(fileName).replace(/\.json$/i, '');
  }

  function pickFile() {
    const input = doc.getElementById('fileInput');
    if (!input) return;
    // Picking the same file again must load it again, and an unchanged value fires no "change".
    input.value = '';
    input.click();
  }

  // One read per file; its load runs as one step when the read completes.
  function loadProfileFile(file) {
    const unreadable = () => adopt({ ok: false, error: UNREADABLE });
    if (!(file.size <= MAX_PROFILE_BYTES)) {
      unreadable();
      return;
    }
    const name = sourceNameOf(file.name);
    let reading;
    try {
      reading = Promise.resolve(file.text());
    } catch (e) {
      reading = Promise.reject(e);
    }
    reading.then((text) => loadText(text, name), unreadable);
  }

  // The drop veil: nested elements each send their own drag-enter and drag-leave, so a counter of
  // the enters not yet left decides when the drag has left the window.
  let dragDepth = 0;
  let dropVeil = null;

  function showDropVeil() {
    if (dropVeil) return;
    dropVeil = el('div', { class: 'dropveil' }, 'Drop a room profile');
    // Outside the shell, so the UI scale does not shrink it.
    doc.body.append(dropVeil);
  }

  function hideDropVeil() {
    dragDepth = 0;
    if (dropVeil) dropVeil.remove();
    dropVeil = null;
  }

  function wireDrops() {
    root.addEventListener('dragenter', (e) => {
      e.preventDefault();
      dragDepth += 1;
      if (dragDepth === 1) showDropVeil();
    });
    root.addEventListener('dragover', (e) => e.preventDefault());
    root.addEventListener('dragleave', () => {
      dragDepth -= 1;
      if (dragDepth <= 0) hideDropVeil();
    });
    root.addEventListener('drop', (e) => {
      // The browser must not open the file in place of the console.
      e.preventDefault();
      hideDropVeil();
      const file = e.dataTransfer && e.dataTransfer.files && e.dataTransfer.files[0];
      if (file) loadProfileFile(file);
    });
  }

  // Names come from files, the host and storage: every one goes in as text.
  function railRoom(name, second, options) {
    const o = options || {};
    const top = el('div', { class: 'roomtop' }, [
      el('span', { class: 'roomname', text: name }),
      o.pct === undefined || o.pct === null ? null : el('span', { class: 'roompct', text: o.pct }),
    ]);
    const out = second === undefined || second === null ? null : el('div', { class: 'roomout', text: second });
    const props = { class: o.on ? 'room on' : 'room', title: o.title === undefined ? name : o.title };
    // An inert entry only tells: it is no control and takes no focus.
    if (o.inert) return el('div', props, [top, out]);
    return el('button', { ...props, type: 'button', 'data-key': o.key, onclick: o.onclick || null }, [top, out]);
  }

  function railHead(title, extra) {
    return el('div', { class: 'conrailhead' }, [title, extra]);
  }

  function selectedRoute() {
    return SW && devices && isObject(devices.selected) ? devices.selected : null;
  }

  function currentRoomLine() {
    const route = selectedRoute();
    const line = (route && textOf(route.outputDevice)) || plural(state.bands.length, 'filter');
    return state.bypass ? `${line} · bypassed` : line;
  }

  function paintRailFoot(foot) {
    const inForce = state.bypass ? 'bypassed' : `${Profile.activeBands(state).length} in force at ${state.correctionPct}%`;
    foot.replaceChildren(`${plural(state.bands.length, 'filter')} fitted`, el('br'), inForce);
  }

  function emptyRail() {
    const load = el('button', { type: 'button', class: 'primary', 'data-key': 'rail:load', onclick: pickFile }, 'Load a room profile');
    railLoad = beacon(load, { block: true, radius: 10 });
    return [
      railLoad,
      el('div', { class: 'row' }, [
        el('button', { type: 'button', class: 'linkish', 'data-key': 'rail:demo', onclick: loadDemo }, 'Try the demo room'),
        el('button', { type: 'button', class: 'linkish', disabled: true }, '\u2026or drag a map JSON onto this window'),
      ]),
    ];
  }

  // One entry per name: a name the host lists twice is one room, and one control key.
  function otherRooms(current) {
    const library = [...new Set(libraryNames.map(textOf))].filter((name) => name && name !== current);
    const browser = Object.keys(savedProfiles()).sort().filter((name) => name && name !== current);
    const entries = [
      ...library.map((name) => railRoom(name, 'saved on this machine', {
        key: `room:library:${name}`,
        onclick: () => Runtime.send('library', { action: 'load', name }),
      })),
      ...browser.map((name) => railRoom(name, 'measured in this browser', {
        key: `room:browser:${name}`,
        onclick: () => loadSavedProfile(name),
      })),
    ];
    return entries.length ? entries : [el('div', { class: 'conrailfoot', text: NO_ROOMS })];
  }

  function thisMachine() {
    const route = selectedRoute();
    if (!route) return [];
    const device = (value) => textOf(value) || NOTHING_CHOSEN;
    return [
      el('div', { class: 'conrailrule' }),
      railHead('This machine'),
      railRoom('Taking audio from', device(route.inputDevice), { inert: true, title: device(route.inputDevice) }),
      railRoom('Playing it out of', device(route.outputDevice), { inert: true, title: device(route.outputDevice) }),
    ];
  }

  function resetRoom() {
    state = Profile.resetToProfile(state);
    lastError = null;
    render();
    push();
  }

  // The trim and the safe headroom are the playback chain's, not the room's: as a load keeps them,
  // so does an unload, and a trim the user turned down never jumps back to 0 dB.
  function unloadRoom() {
    if (!HOSTED) Runtime.stopAudition();
    state = Profile.stateForProfile(null, state);
    lastError = null;
    render();
    push();
  }

  function railPanel() {
    const name = state.profileName || UNTITLED;
    const add = el('button', { type: 'button', class: 'add', title: 'Load a profile file', 'data-key': 'rail:add', onclick: pickFile }, '+');
    const parts = [railHead('Rooms', add)];
    // A failed load leaves the room in force, so its reason shows above it too.
    if (lastError) parts.push(el('div', { class: 'warnbox', role: 'alert', text: lastError }));
    let current = null;
    if (roomLoaded()) {
      current = railRoom(name, currentRoomLine(), { on: true, pct: `${state.correctionPct}%`, key: 'room:current' });
      parts.push(current);
    } else {
      parts.push(...emptyRail());
    }
    const foot = el('div', { class: 'conrailfoot' });
    parts.push(...otherRooms(state.profileName), ...thisMachine(), el('div', { class: 'conrailrule' }), foot,
      el('div', { class: 'conrailacts' }, [
        el('button', { type: 'button', class: 'linkish', 'data-key': 'rail:reset', onclick: resetRoom }, '\u21BA Reset to the profile'),
        el('button', { type: 'button', class: 'linkish', 'data-key': 'rail:unload', onclick: unloadRoom }, 'Unload this room'),
      ]));

    // The entry in force and the foot follow every change without a rebuild.
    function repaint() {
      paintRailFoot(foot);
      if (!current) return;
      setText(current.querySelector('.roompct'), `${state.correctionPct}%`);
      setText(current.querySelector('.roomout'), currentRoomLine());
    }
    repaint();
    return { el: el('div', { class: 'conrail' }, parts), repaint };
  }

  // ------------------------------------------------------------------ render

  const CURVE_TIP = 'Click a filter to edit it · drag a dot to move it · Shift for gain only · wheel for width · hold Alt for fine';

  function render() {
    renderOwed = false;
    if (cleanup) cleanup();
    cleanup = null;
    refreshers = [];
    meterHooks = [];
    litNode = null;
    railLoad = null;
    stripBeacon = null;
    paintTint();

    const readout = el('div', { class: 'plotread' });
    plot = eqPlot((kind) => {
      selectedBandId = plot ? plot.selected() : null;
      if (kind === 'drag' || kind === 'commit') push();
      else if (kind === 'select') refreshSelection();
    });
    if (selectedBandId !== null && state.bands.some((band) => band.id === selectedBandId)) plot.select(selectedBandId);
    else selectedBandId = null;
    refreshers.push(() => paintReadout(readout));
    paintReadout(readout);

    const bar = bandInspector(plot);
    rail = railPanel();
    strip = settingsStrip();
    const win = el('div', { class: 'win' }, [
      el('div', { class: 'conbody' }, [
        rail.el,
        el('div', { class: 'conmain' }, [
          el('div', { class: 'curvewrap', title: CURVE_TIP }, [
            el('div', { class: 'curvehead' }, [
              el('h1', { text: state.profileName || 'Untitled room' }),
              el('div', { class: 'curvemeta' }, [readout]),
            ]),
            el('div', { class: 'plotwrap' }, [plot.el]),
          ]),
          bar.el,
          strip.el,
        ]),
      ]),
    ]);
    // The bar's height must be final before the canvas takes its size.
    bar.rebuild(true);

    const app = doc.getElementById('app');
    keepingFocus(app, () => app.replaceChildren(win));
    dropDetachedHolds();
    plot.start();
    cleanup = plot.stop;

    const streamUp = !SW || statusRunning();
    if (stripBeacon) light(stripBeacon);
    else if (!roomLoaded() && streamUp && railLoad) light(railLoad);
    paintChrome();
  }

  // ------------------------------------------------------------------ boot

  // Enter presses the lit control, but never from a control that has focus itself: Enter on a
  // focused knob must not send a route or open the file picker.
  function onEnter(e) {
    if (e.key !== 'Enter' || !litNode) return;
    const target = e.target;
    if (target && target.nodeType === 1) {
      if (/^(INPUT|SELECT|TEXTAREA|BUTTON)$/.test(target.tagName)) return;
      if (target.getAttribute('role') === 'slider' || target.hasAttribute('tabindex')) return;
    }
    const button = litNode.tagName === 'BUTTON' ? litNode : litNode.querySelector('button');
    if (!button || button.disabled) return;
    e.preventDefault();
    button.click();
  }

  const MODIFIER_KEYS = /^(Alt|AltGraph|CapsLock|Control|Fn|Meta|OS|Shift)$/;

  // Focus rings are for the keyboard: a key press turns them on, a pointer press off. A modifier
  // alone does not count: Shift and Alt shape a drag on the plot and must not ring the last
  // clicked control.
  function trackModality() {
    const rootEl = doc.documentElement;
    root.addEventListener('keydown', (e) => {
      if (!MODIFIER_KEYS.test(e.key)) rootEl.classList.add('keys');
    }, true);
    root.addEventListener('pointerdown', () => rootEl.classList.remove('keys'), true);
  }

  function wireFiles() {
    const input = doc.getElementById('fileInput');
    if (input) {
      input.addEventListener('change', () => {
        const file = input.files && input.files[0];
        input.value = '';
        if (file) loadProfileFile(file);
      });
    }
    wireDrops();
  }

  function wireTopBar() {
    const load = doc.getElementById('loadBtn');
    if (load) load.addEventListener('click', pickFile);
    const bypass = doc.getElementById('bypassBtn');
    if (bypass) {
      bypass.addEventListener('click', () => {
        state.bypass = !state.bypass;
        push();
      });
    }
    root.addEventListener('keydown', onEnter);
  }

  function listenToHost() {
    Runtime.onHostEvent('restore', (payload) => {
      state = Profile.fromJson(typeof payload === 'string' ? payload : JSON.stringify(payload));
      // The host's room replaces the one a failed load left in force, and the failure with it.
      lastError = null;
      render();
      refreshLocally();
    });
    if (!SW) return;
    Runtime.onHostEvent('devices', (payload) => {
      const wasLive = routeIsLive(pendingRoute, devices);
      devices = isObject(payload) ? payload : null;
      if (devices && (!pendingRoute || wasLive)) pendingRoute = copyRoute(devices.selected);
      if (devices && isObject(devices.status)) meter = devices.status;
      renderWhenFree();
    });
    Runtime.onHostEvent('meter', (payload) => {
      meter = isObject(payload) ? payload : null;
      runAll(meterHooks);
    });
    Runtime.onHostEvent('library', (payload) => {
      libraryNames = isObject(payload) && Array.isArray(payload.names) ? payload.names : [];
      renderWhenFree();
    });
  }

  function boot() {
    uiPref = storageGet(UI_STORE) || 'fit';
    applyUiScale();
    root.addEventListener('resize', applyUiScale);
    // A font that arrives after the strip was laid out gives its cells other widths.
    if (doc.fonts && typeof doc.fonts.addEventListener === 'function') {
      doc.fonts.addEventListener('loadingdone', () => strip && strip.refit());
    }
    state = Profile.defaultState();
    trackModality();
    trackGestures();
    wireFiles();
    wireTopBar();
    if (!HOSTED) {
      const stored = storageGet(STORE);
      if (stored !== null) state = Profile.fromJson(stored);
    }
    if (HOSTED) listenToHost();
    render();
    // No state at boot under the host: a state without bands tells the host the room was unloaded.
    if (HOSTED) Runtime.announceReady();
    else push();
  }

  return {
    boot,
    UI_STORE, STORE, UI_DESIGN_W, UI_DESIGN_H, UI_MIN, UI_MAX, UI_STEPS,
    GRID_ZERO, ROOM_FILL, ROOM_LINE, PLOT_FONT,
    tok, hexA, C_ACCENT, C_CHAN_L, C_CHAN_R, C_INK, C_INK_DIM, C_WELL,
    uiScaleFor, fmtHz, fmtDb, noteName, mmFor, copyRoute, routeIsLive, metaLine,
    CURVE_N, axisMaxDb, plotGeometry, plotCurves,
  };
});
