'use strict';

// The application as the end-to-end run starts it: on the simulated sound card, the cable playing
// pink noise and the speakers recorded as they play; in a home of its own (settings, web data and
// runtime folders); with no network but a proxy that never answers; and, when asked, with the automation
// hook at a port of the run's choosing.
const fs = require('node:fs');
const path = require('node:path');
const { spawn } = require('node:child_process');

class Home {
  constructor(folder) {
    this.folder = folder;
    this.config = path.join(folder, 'config');
    this.data = path.join(folder, 'data');
    this.runtime = path.join(folder, 'runtime');
    this.settingsFile = path.join(this.config, 'Tonwell', 'duzezavure.json');
    fs.rmSync(folder, { recursive: true, force: true });
    fs.mkdirSync(path.dirname(this.settingsFile), { recursive: true });
    fs.mkdirSync(this.runtime, { recursive: true, mode: 0o700 });
  }

  writeSettings(document) {
    fs.writeFileSync(this.settingsFile, JSON.stringify(document, null, 2));
  }

  readSettings() {
    return JSON.parse(fs.readFileSync(this.settingsFile, 'utf8'));
  }

  // What changes when the file is saved again, even with the same text: it is replaced whole.
  settingsStamp() {
    const stat = fs.statSync(this.settingsFile);
    return `${stat.ino}:${stat.mtimeMs}:${fs.readFileSync(this.settingsFile, 'utf8')}`;
  }
}

function applicationEnvironment({ home, recording, automationPort, proxyPort, extra = {} }) {
  const env = { ...process.env };
  // Whatever the run's own environment holds, the application is told only what is below.
  for (const key of Object.keys(env)) {
    if (key.startsWith('DUZEZAVURE_') || key.startsWith('WEBKIT_INSPECTOR') || key === 'BRINDLE_TEST_NETWORK_PROXY') delete env[key];
  }
  Object.assign(env, {
    HOME: home.folder,
    XDG_CONFIG_HOME: home.config,
    XDG_DATA_HOME: home.data,
    XDG_RUNTIME_DIR: home.runtime,
    DUZEZAVURE_SIMULATED_AUDIO: '1',
    DUZEZAVURE_SIMULATED_SIGNAL: 'pink',
  });
  if (recording) env.DUZEZAVURE_SIMULATED_RECORDING = recording;
  if (automationPort) env.DUZEZAVURE_TEST_AUTOMATION = `127.0.0.1:${automationPort}`;
  if (proxyPort) env.BRINDLE_TEST_NETWORK_PROXY = `http://127.0.0.1:${proxyPort}`;
  return Object.assign(env, extra);
}

// Starts the application; what it prints goes to `log`.
function startApplication({ app, processes, log, name, ...options }) {
  const out = fs.openSync(log, 'a');
  fs.writeSync(out, `--- ${name}\n`);
  const child = spawn(app, [], { env: applicationEnvironment(options), stdio: ['ignore', out, out] });
  fs.closeSync(out);
  return processes.add(child, name);
}

module.exports = { Home, applicationEnvironment, startApplication };
