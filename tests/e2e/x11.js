'use strict';

// Real input through the X server, as a user's mouse and keyboard give it (xdotool's XTEST
// events reach the application's window and, through its embedding, the web view), and the
// window manager's close request, which a virtual display without a window manager never sends.
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const CLOSE_WINDOW = path.join(__dirname, '..', 'support', 'close-window.py');

function xdotool(...args) {
  return execFileSync('xdotool', args.map(String), { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] }).trim();
}

// The ids of the windows a process made; none (rather than an error) while it has none.
function windowsOf(pid, onlyVisible = false) {
  try {
    return xdotool('search', ...(onlyVisible ? ['--onlyvisible'] : []), '--pid', pid).split('\n').filter(Boolean);
  } catch (e) {
    return [];
  }
}

function windowName(id) {
  try {
    return xdotool('getwindowname', id);
  } catch (e) {
    return '';
  }
}

// The console window's id: the process's window titled "Tonwell · Duzezavure".
function consoleWindow(pid) {
  return windowsOf(pid).find((id) => windowName(id).startsWith('Tonwell')) || null;
}

function isShown(pid, id) {
  return windowsOf(pid, true).includes(id);
}

// Where the window's top left corner is on the screen. Without a window manager there is no frame:
// the console, and the web view that fills it, start there.
function windowOrigin(id) {
  const shell = Object.fromEntries(xdotool('getwindowgeometry', '--shell', id).split('\n').map((line) => line.split('=')));
  return { x: Number(shell.X), y: Number(shell.Y), width: Number(shell.WIDTH), height: Number(shell.HEIGHT) };
}

function clickAt(x, y) {
  xdotool('mousemove', '--sync', Math.round(x), Math.round(y), 'click', '1');
}

// Presses at the first point, moves through the others in small steps, releases at the last.
function dragThrough(points, stepsBetween = 8) {
  const [first, ...rest] = points.map((p) => ({ x: Math.round(p.x), y: Math.round(p.y) }));
  xdotool('mousemove', '--sync', first.x, first.y, 'mousedown', '1');
  let at = first;
  for (const next of rest) {
    for (let i = 1; i <= stepsBetween; i++) {
      const x = Math.round(at.x + ((next.x - at.x) * i) / stepsBetween);
      const y = Math.round(at.y + ((next.y - at.y) * i) / stepsBetween);
      xdotool('mousemove', '--sync', x, y);
    }
    at = next;
  }
  xdotool('mouseup', '1');
}

function typeText(text) {
  xdotool('type', '--delay', 30, '--', text);
}

function pressKeys(...keys) {
  xdotool('key', '--delay', 30, ...keys);
}

// Makes the atoms a window manager would have made, before the application looks them up.
function prepareCloseRequests() {
  execFileSync('python3', [CLOSE_WINDOW, '--prepare'], { stdio: ['ignore', 'pipe', 'pipe'] });
}

// Sends WM_DELETE_WINDOW to the window, as a window manager's close button does.
function closeWindow(id) {
  execFileSync('python3', [CLOSE_WINDOW, id], { stdio: ['ignore', 'pipe', 'pipe'] });
}

module.exports = {
  windowsOf, consoleWindow, isShown, windowOrigin, clickAt, dragThrough, typeText, pressKeys, prepareCloseRequests, closeWindow,
};
