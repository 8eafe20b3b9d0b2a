/*
 * The console script: it builds the console window into `app`, wires the top bar,
 * listens to the host's events and turns every user gesture into a change of one
 * working correction state, which leaves through one door, `push`. It knows
 * nothing of how a correction is built (BrindleProfile) or of audio
 * (BrindleRuntime). In the page it publishes nothing; loaded by `require` it only
 * hands out its pure helpers, so they can be checked outside a browser.
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

    function size() {
      width = canvas.clientWidth || 900;
      height = canvas.clientHeight || 348;
      const rect = canvas.getBoundingClientRect();
      const zoom = rect.width > 0 && width > 0 ? rect.width / width : 1;
      const scale = Math.min(3, (root.devicePixelRatio || 1) * zoom);
      const next = `${width}x${height}@${scale.toFixed(4)}`;
      // Writing the size clears the canvas and would wake the resize observer again.
      if (next === key) return;
      key = next;
      canvas.width = Math.round(width * scale);
      canvas.height = Math.round(height * scale);
      ctx.setTransform(scale, 0, 0, scale, 0, 0);
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

    function local(e) {
      const rect = canvas.getBoundingClientRect();
      const fx = rect.width ? canvas.clientWidth / rect.width : 1;
      const fy = rect.height ? canvas.clientHeight / rect.height : 1;
      return { x: (e.clientX - rect.left) * fx, y: (e.clientY - rect.top) * fy };
    }

    function start() {
      running = true;
      size();
      root.addEventListener('resize', size);
      if (typeof root.ResizeObserver === 'function') {
        observer = new root.ResizeObserver(() => {
          size();
          redraw();
        });
        observer.observe(canvas);
      }
      doc.addEventListener('visibilitychange', onVisibility);
      redraw();
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

  // ------------------------------------------------------------------ formatters

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

  function plural(count, word) {
    return `${count} ${word}${count === 1 ? '' : 's'}`;
  }

  // ------------------------------------------------------------------ routes

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
    const p = arguments.length ? pending : pendingRoute;
    const d = arguments.length > 1 ? report : devices;
    if (!d || !p) return true;
    const running = copyRoute(d.selected);
    return Object.keys(running).every((key) => String(p[key]) === String(running[key]));
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
    if (name) name.textContent = state.profileName || 'No room loaded';
    const meta = byId('profileMeta');
    if (meta) meta.textContent = metaLine(Profile.sanitizeState(state));
    const bypass = byId('bypassBtn');
    if (bypass) {
      bypass.setAttribute('aria-pressed', state.bypass ? 'true' : 'false');
      bypass.textContent = state.bypass ? 'Bypassed' : 'Bypass';
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
      const peak = Profile.peakMoveDb(inForce, { sampleRate: Runtime.sampleRate() });
      node.append(`${fmtDb(peak)} dB `, el('u', { text: `biggest move · ${plural(inForce.length, 'filter')}` }));
    } else {
      node.append('0.0 dB ', el('u', { text: 'nothing applied' }));
    }
  }

  // ------------------------------------------------------------------ the window's parts
  // The rail, the plot, the band bar and the strip are built by their own parts; until then each
  // is its container with the class the style sheets and the tests address it by.

  function eqPlot(onedit) {
    let selected = null;
    const surface = plate(() => {});
    return {
      el: surface.el,
      start: surface.start,
      stop: surface.stop,
      selected: () => selected,
      select(id) {
        selected = id;
        if (typeof onedit === 'function') onedit({ kind: 'select', id });
      },
    };
  }

  function bandInspector() {
    return { el: el('div', { class: 'bandbar' }), rebuild() {} };
  }

  function settingsStrip() {
    return { el: el('div', { class: 'strip' }) };
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
  // window and the same on every build ("cell:amount", "seg:phase:linear", "route:output").
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

  function endDrag() {
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
      if (dragDepth <= 0) endDrag();
    });
    root.addEventListener('drop', (e) => {
      // The browser must not open the file in place of the console.
      e.preventDefault();
      endDrag();
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

  function otherRooms(current) {
    const library = libraryNames.map(textOf).filter((name) => name && name !== current);
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

  function unloadRoom() {
    if (!HOSTED) Runtime.stopAudition();
    state = Profile.defaultState();
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
      current.querySelector('.roompct').textContent = `${state.correctionPct}%`;
      current.querySelector('.roomout').textContent = currentRoomLine();
    }
    repaint();
    return { el: el('div', { class: 'conrail' }, parts), repaint };
  }

  // ------------------------------------------------------------------ render

  const CURVE_TIP = 'Click a filter to edit it · drag a dot to move it · Shift for gain only · wheel for width · hold Alt for fine';

  function statusRunning() {
    const status = meter || (devices && devices.status) || null;
    return Boolean(status && status.running);
  }

  function render() {
    const hasProfile = state.bands.length > 0 || Boolean(state.profileName);
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
    plot = eqPlot((edit) => {
      selectedBandId = plot ? plot.selected() : null;
      if (edit && (edit.kind === 'drag' || edit.kind === 'commit')) push();
      else if (edit && edit.kind === 'select') refreshSelection();
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
    else if (!hasProfile && streamUp && railLoad) light(railLoad);
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
      render();
      refreshLocally();
    });
    if (!SW) return;
    Runtime.onHostEvent('devices', (payload) => {
      const wasLive = routeIsLive();
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
  };
});
