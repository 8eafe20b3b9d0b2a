'use strict';

// Text entering the console's number fields the ways a person enters it, in both engines: an arrow
// on a field that was emptied, and a decimal comma that arrives in one piece (a paste, an input
// method). Real keys and a real clipboard; the engines differ here (Chromium drops a pasted comma,
// WebKit keeps it and reads the field as empty, and both step an empty field from 0).
const test = require('node:test');
const assert = require('node:assert/strict');
const Profile = require('../../../ui/js/profile.js');
const { browserForTests } = require('./browser-harness.js');
const { webkitForTests } = require('./webkit-harness.js');

const band = (freqHz, gainDb, q) => ({ freqHz, gainDb, q, type: 'bell', stereo: 'stereo', on: true });
const ROOM = Profile.toJson(Profile.stateForProfile({ name: 'Test room', suggestedPct: 65, bands: [band(96, -6, 4.5)] }));
const key = (k) => `[data-key="${k}"]`;

// The keys by the names each harness gives them.
const engines = {
  Chromium: {
    withConsole: browserForTests(test),
    run: (page, fn, arg) => page.page.evaluate(fn, arg),
    click: (page, selector) => page.page.click(selector),
    press: (page, name) => page.page.keyboard.press(name),
    keys: { all: 'Control+A', copy: 'Control+C', paste: 'Control+V', erase: 'Backspace', up: 'ArrowUp', down: 'ArrowDown', enter: 'Enter' },
  },
  WebKitGTK: {
    withConsole: webkitForTests(test),
    run: (page, fn, arg) => page.run(fn, arg),
    click: (page, selector) => page.click(selector),
    press: (page, name) => page.press(name),
    keys: { all: 'ctrl+a', copy: 'ctrl+c', paste: 'ctrl+v', erase: 'BackSpace', up: 'Up', down: 'Down', enter: 'Return' },
  },
};

for (const [engine, { withConsole, run, click, press, keys }] of Object.entries(engines)) {
  // Puts the text on the clipboard as a person copies it: selected in a text field, then the copy key.
  async function copy(page, text) {
    await run(page, (t) => {
      const scratch = document.createElement('input');
      scratch.id = 'scratch';
      scratch.value = t;
      document.body.prepend(scratch);
      scratch.focus();
      scratch.select();
    }, text);
    await press(page, keys.copy);
    await run(page, () => document.getElementById('scratch').remove());
  }

  // [what, the field, its band field, the steps, the values sent, what the field shows after]
  const cases = [
    ['the band bar\'s Freq emptied, then Arrow Up', 'field:freq', 'freqHz', ['erase', 'up'], [96.1], '96.1'],
    ['the band bar\'s Gain emptied, then Arrow Down', 'field:gain', 'gainDb', ['erase', 'down'], [-6.1], '-6.1'],
    ['a table Q emptied, then Arrow Up', 'row:b0:q', 'q', ['erase', 'up'], [4.6], '4.6'],
    ['"1,5" pasted into the band bar\'s Q, then Enter', 'field:q', 'q', [['paste', '1,5'], 'enter'], [1.5], '1.50'],
    ['"-2,5" pasted into a table Gain', 'row:b0:gain', 'gainDb', [['paste', '-2,5']], [-2.5], '-2.5'],
  ];
  if (engine === 'Chromium') cases.push(['"2,5" from an input method into the band bar\'s Gain, then Enter', 'field:gain', 'gainDb', [['ime', '2,5'], 'enter'], [2.5], '2.5']);

  test(`${engine}: an arrow on an emptied field steps from the stored value, and a decimal comma in one piece is the point`, async () => {
    for (const [what, field, bandField, steps, sent, shown] of cases) {
      await withConsole({}, async (page) => {
        await page.hostSend('restore', ROOM);
        await click(page, key('cell:filters'));
        await click(page, `${key('row:b0')} td.who`);
        for (const step of steps) {
          if (Array.isArray(step) && step[0] === 'paste') await copy(page, step[1]);
        }
        await click(page, key(field));
        await press(page, keys.all);
        for (const step of steps) {
          if (!Array.isArray(step)) await press(page, keys[step]);
          else if (step[0] === 'paste') await press(page, keys.paste);
          else await page.page.keyboard.insertText(step[1]);
        }
        await page.settle();
        const states = (await page.emits()).filter(([name]) => name === 'state').map(([, text]) => JSON.parse(text).bands[0][bandField]);
        assert.deepEqual(states, sent, `${what}: sent`);
        assert.equal(await run(page, (k) => document.querySelector(`[data-key="${k}"]`).value, field), shown, `${what}: shown`);
      });
    }
  });
}
