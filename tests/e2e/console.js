'use strict';

// The console in the application's own window, driven as a user drives it: positions read from
// the page (through WebDriver), mouse and keyboard through the X server (x11.js), so the press
// travels through the window and its embedded web view. Every press checks where it landed.
const Page = require('../../plugin/ui/plugin.js');
const Profile = require('../../ui/js/profile.js');
const { pollUntil } = require('./webdriver.js');
const x11 = require('./x11.js');

const CONSOLE_URL = 'duzezavure://console/';

class Console {
  constructor({ session, pid }) {
    this.session = session;
    this.pid = pid;
    this.window = null;
  }

  windowId() {
    this.window = this.window || x11.consoleWindow(this.pid);
    if (!this.window) throw new Error('the application shows no console window');
    return this.window;
  }

  // The page has booted in the view: the console's address, its window built, the bridge there.
  // (Its load may never end: without a network the web-font sheet is never answered.)
  async waitForPage(timeoutMs = 30000) {
    await pollUntil('the console page in the view', timeoutMs, async () => {
      const url = await this.session.url();
      if (!url.startsWith(CONSOLE_URL)) return false;
      return this.session.execute(
        "return !!window.__JUCE__ && !!document.querySelector('#app .win');");
    });
  }

  async waitForText(selector, wanted, timeoutMs = 15000) {
    return pollUntil(`${selector} to read ${JSON.stringify(wanted)}`, timeoutMs, async () => {
      const text = await this.session.text(selector);
      return text !== null && (typeof wanted === 'function' ? wanted(text) : text === wanted) ? text : false;
    });
  }

  // Where a point of the page is on the screen: the web view fills the window's content, which
  // starts at the window's corner (no window manager, so no frame).
  screenPoint(x, y) {
    const origin = x11.windowOrigin(this.windowId());
    return { x: origin.x + x, y: origin.y + y };
  }

  // Notes the next pointer press the page receives, whatever it lands on.
  async watchNextPress(selector) {
    await this.session.execute(
      `const wanted = arguments[0];
       window.__e2ePress = null;
       document.addEventListener('pointerdown', (e) => {
         window.__e2ePress = { hit: !!(e.target.closest && e.target.closest(wanted)), on: e.target.outerHTML.slice(0, 120) };
       }, { capture: true, once: true });`,
      [selector]);
  }

  async pressLanded(selector) {
    const press = await pollUntil(`a press on ${selector}`, 5000, () => this.session.execute('return window.__e2ePress;'));
    if (!press.hit) throw new Error(`the press meant for ${selector} landed on ${press.on}`);
  }

  // A real click at the middle of the element.
  async click(selector) {
    const rect = await this.session.rectOf(selector);
    await this.watchNextPress(selector);
    const at = this.screenPoint(rect.x + rect.width / 2, rect.y + rect.height / 2);
    x11.clickAt(at.x, at.y);
    await this.pressLanded(selector);
  }

  // Marks the element of `container` whose text reads `text` (buttons named by their words, as a
  // user finds them), so that it can be clicked by a selector.
  async markByText(container, text) {
    const mark = await this.session.execute(
      `const [container, text] = arguments;
       const found = [...document.querySelectorAll(container)].find((el) => el.textContent.trim() === text);
       if (!found) return null;
       const mark = 'e2e-' + Math.random().toString(36).slice(2);
       found.setAttribute('data-e2e', mark);
       return mark;`,
      [container, text]);
    if (!mark) throw new Error(`no ${container} reads ${JSON.stringify(text)}`);
    return `[data-e2e="${mark}"]`;
  }

  async clickText(container, text) {
    await this.click(await this.markByText(container, text));
  }

  // Clicks into a field, selects what it holds and types `text` through the keyboard.
  // With `finish` (a key that leaves the field) it waits until the field has let the focus go.
  async typeInto(selector, text, finish = 'Tab') {
    await this.click(selector);
    x11.pressKeys('ctrl+a');
    x11.typeText(text);
    if (!finish) return;
    x11.pressKeys(finish);
    await pollUntil(`${selector} left with ${finish}`, 5000, () => this.session.execute(
      'return !document.activeElement || !document.activeElement.matches(arguments[0]);', [selector]));
  }

  // The bands the filter table shows: each row's typed frequency, gain and Q.
  shownBands() {
    return this.session.execute(
      `return [...document.querySelectorAll('.bandscroll tbody tr')]
         .map((row) => [...row.querySelectorAll('input')].map((input) => Number(input.value)));`);
  }

  // The last "meter" the host sent the page: the stream's status as the console sees it.
  async meter(timeoutMs = 10000) {
    await this.session.execute(
      `if (!window.__e2eMeter) {
         window.__e2eMeter = { last: null };
         window.__JUCE__.backend.addEventListener('meter', (m) => { window.__e2eMeter.last = m; });
       }`);
    return pollUntil('a "meter" from the host', timeoutMs, () => this.session.execute('return window.__e2eMeter.last;'));
  }

  // Whether the page renders in the system's fonts, and why: the web-font sheet never arrived (its
  // link still waits as a print sheet), no face of the web font is there, and text set in the
  // console's font stack measures as it does in the fallback alone.
  fonts() {
    return this.session.execute(
      `const link = document.querySelector('link[href*="fonts.googleapis.com/css"]');
       const faces = [...document.fonts].filter((f) => /Space Grotesk/.test(f.family)).map((f) => f.status);
       const probe = document.createElement('span');
       probe.textContent = 'Tonwell Correct 0123456789 filters';
       probe.style.cssText = 'position:absolute;visibility:hidden;font-size:40px;font-weight:600';
       document.body.append(probe);
       probe.style.fontFamily = "'Space Grotesk', system-ui, sans-serif";
       const stack = probe.getBoundingClientRect().width;
       probe.style.fontFamily = 'system-ui, sans-serif';
       const fallback = probe.getBoundingClientRect().width;
       probe.remove();
       return { linkMedia: link ? link.media : null, faces, stack, fallback,
                bodyFont: getComputedStyle(document.body).fontFamily };`);
  }

  async screenshot(file) {
    await this.session.screenshot(file);
  }

  hide() {
    x11.closeWindow(this.windowId());
  }

  isShown() {
    return x11.isShown(this.pid, this.windowId());
  }

  // ---------------------------------------------------------------------------------------------
  // The console's parts, by the selectors and texts of its own layout and component rules.

  // The rooms rail: "Try the demo room" under the empty state.
  loadDemoRoom() {
    return this.clickText('.conrail button', 'Try the demo room');
  }

  // The rooms rail: a room of the host's library, by its name.
  async loadLibraryRoom(name) {
    const mark = await this.session.execute(
      `const found = [...document.querySelectorAll('.conrail button.room')]
         .find((el) => (el.querySelector('.roomname') || el).textContent.trim() === arguments[0]);
       if (!found) return null;
       found.setAttribute('data-e2e', 'library-room');
       return true;`, [name]);
    if (!mark) throw new Error(`the rail lists no room ${JSON.stringify(name)}`);
    await this.click('[data-e2e="library-room"]');
  }

  // The settings strip: opens the cell whose label reads `label` ("Routing", "Phase", "Filters"),
  // unless its panel is open already.
  async openCell(label) {
    const selector = await this.session.execute(
      `const label = arguments[0];
       const open = [...document.querySelectorAll('.cellpanel .cellpanelhead')].some((el) => el.textContent.trim() === label);
       if (open) return '';
       const cell = [...document.querySelectorAll('.strip .scell')]
         .find((el) => (el.querySelector('k') || el).textContent.trim() === label);
       if (!cell) return null;
       cell.setAttribute('data-e2e', 'cell');
       return '[data-e2e="cell"]';`, [label]);
    if (selector === null) throw new Error(`the strip has no cell ${label}`);
    if (!selector) return;
    await this.click(selector);
    const openPanel = () => this.session.execute(
      "const head = document.querySelector('.cellpanel .cellpanelhead'); return head ? head.textContent.trim() : null;");
    await pollUntil(`the ${label} panel open`, 5000, async () => (await openPanel()) === label).catch(async (error) => {
      throw new Error(`${error.message}: the open panel is ${JSON.stringify(await openPanel())}`);
    });
  }

  // A select of the routing panel, by its accessible name ("Take audio from", "Audio backend"):
  // opened with a click, then the option reached with the arrow keys and taken with Return, as on
  // the keyboard of the menu it opens.
  async chooseInSelect(name, optionText) {
    let offered = null;
    const found = await pollUntil(`the select ${name} offering ${optionText}`, 5000, async () => {
      const seen = await this.session.execute(
        `const select = [...document.querySelectorAll('.routing select')].find((el) => el.getAttribute('aria-label') === arguments[0]);
         if (!select) return null;
         select.setAttribute('data-e2e', 'select');
         const options = [...select.options].map((o) => o.textContent.trim());
         return { from: select.selectedIndex, to: options.indexOf(arguments[1]), options };`, [name, optionText]);
      offered = seen && seen.options;
      return seen && seen.to >= 0 ? seen : false;
    }).catch(() => {
      throw new Error(`the select ${name} offers no ${optionText} (it offers ${JSON.stringify(offered)})`);
    });
    await this.click('[data-e2e="select"]');
    const moves = found.to - found.from;
    if (moves !== 0) x11.pressKeys(...Array(Math.abs(moves)).fill(moves > 0 ? 'Down' : 'Up'));
    x11.pressKeys('Return');
  }

  // The routing panel: the back end (when it is not the one shown), the cable in, the speakers
  // out, then the action button.
  async applyRoute({ deviceType, input, output, button = 'Start correcting \u2192' }) {
    await this.openCell('Routing');
    if (deviceType) {
      const shown = await this.session.execute(
        "const s = document.querySelector('.routing select[aria-label=\"Audio backend\"]'); return s ? s.value : null;");
      if (shown !== deviceType) await this.chooseInSelect('Audio backend', deviceType);
    }
    await this.chooseInSelect('Take audio from', input);
    await this.chooseInSelect('Play it out of', output);
    await this.clickText('.cellpanel button', button);
  }

  // The Phase panel: "Minimum" or "Linear".
  async choosePhase(mode) {
    await this.openCell('Phase');
    await this.clickText('.cellpanel .segbtn', mode);
  }

  // The filter table: types a frequency into band `index`'s Freq cell (the table applies every
  // keystroke, as a user's typing does).
  async typeBandFrequency(index, freqHz) {
    await this.openCell('Filters');
    await this.typeInto(`.bandscroll tbody tr:nth-child(${index + 1}) td:nth-child(2) input`, String(freqHz));
  }

  // The response plot: drags band `index` of `state` (the state the page last sent) from its
  // handle to `freqHz` at the same gain, through the plot's own geometry (the page's
  // plotGeometry and plotCurves, which place the handles).
  async dragBand(state, index, freqHz, rate) {
    const selector = '.plotwrap canvas';
    const canvas = await this.session.execute(
      `const canvas = document.querySelector(arguments[0]);
       const r = canvas.getBoundingClientRect();
       return { x: r.x, y: r.y, width: r.width, height: r.height, layoutWidth: canvas.clientWidth, layoutHeight: canvas.clientHeight };`,
      [selector]);
    const curves = Page.plotCurves(Profile.sanitizeState(state), rate);
    const g = Page.plotGeometry(canvas.layoutWidth, canvas.layoutHeight, curves.maxDb);
    const band = state.bands[index];
    const onScreen = (f, db) => this.screenPoint(
      canvas.x + (g.x(f) * canvas.width) / canvas.layoutWidth,
      canvas.y + (g.y(db) * canvas.height) / canvas.layoutHeight);
    await this.watchNextPress(selector);
    x11.dragThrough([onScreen(band.freqHz, band.gainDb), onScreen(freqHz, band.gainDb)]);
    await this.pressLanded(selector);
  }
}

module.exports = { Console, CONSOLE_URL };
