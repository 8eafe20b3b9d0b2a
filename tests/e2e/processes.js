'use strict';

// Every process a run starts, so that each one ends with the run, however the run ends: the
// application and its second start, WebKitWebDriver, and the application's own web engine
// processes, which end with it.
const fs = require('node:fs');
const net = require('node:net');

class Processes {
  constructor() {
    this.children = [];
    const endAll = () => this.killAll();
    process.on('exit', endAll);
    for (const signal of ['SIGINT', 'SIGTERM']) {
      process.on(signal, () => {
        endAll();
        process.exit(1);
      });
    }
  }

  // Keeps the child; `name` is for messages. Its exit is remembered on it.
  add(child, name) {
    child.label = name;
    child.exited = new Promise((resolve) => {
      child.on('exit', (code, signal) => {
        child.exitCode_ = code;
        child.exitSignal_ = signal;
        resolve({ code, signal });
      });
    });
    this.children.push(child);
    return child;
  }

  killAll() {
    for (const child of this.children) {
      if (child.exitCode === null && child.signalCode === null) {
        try {
          child.kill('SIGKILL');
        } catch (e) {
          // Gone already.
        }
      }
    }
  }
}

// Ends within `timeoutMs` or fails, naming the process.
async function exitWithin(child, timeoutMs) {
  let timer;
  const timeout = new Promise((resolve) => {
    timer = setTimeout(() => resolve(null), timeoutMs);
  });
  const result = await Promise.race([child.exited, timeout]);
  clearTimeout(timer);
  if (!result) throw new Error(`${child.label} did not end within ${timeoutMs / 1000} s`);
  return result;
}

// A port on the loopback interface that nothing listens on now.
function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// Whether anything accepts connections on the port.
function listening(port) {
  return new Promise((resolve) => {
    const socket = net.connect({ host: '127.0.0.1', port });
    socket.once('connect', () => {
      socket.destroy();
      resolve(true);
    });
    socket.once('error', () => resolve(false));
  });
}

// The TCP ports a process listens on, from the kernel's socket tables and the process's open files.
function listeningPorts(pid) {
  const inodes = new Set();
  for (const fd of fs.readdirSync(`/proc/${pid}/fd`)) {
    try {
      const match = /^socket:\[(\d+)\]$/.exec(fs.readlinkSync(`/proc/${pid}/fd/${fd}`));
      if (match) inodes.add(match[1]);
    } catch (e) {
      // Closed meanwhile.
    }
  }
  const ports = [];
  for (const table of ['/proc/net/tcp', '/proc/net/tcp6']) {
    let lines = [];
    try {
      lines = fs.readFileSync(table, 'utf8').split('\n').slice(1);
    } catch (e) {
      continue;
    }
    for (const line of lines) {
      const fields = line.trim().split(/\s+/);
      // Field 3 is the state (0A: listening), field 9 the socket's inode.
      if (fields.length > 9 && fields[3] === '0A' && inodes.has(fields[9])) ports.push(parseInt(fields[1].split(':')[1], 16));
    }
  }
  return ports;
}

// A proxy that takes every connection and never answers it: the network of a machine that has
// none, the same on every machine. Counts the connections it was asked for.
function startBlackHoleProxy() {
  return new Promise((resolve) => {
    const held = [];
    const proxy = { connections: 0, port: 0 };
    const server = net.createServer((socket) => {
      proxy.connections++;
      held.push(socket);
      socket.on('error', () => {});
    });
    proxy.close = () => {
      for (const socket of held) socket.destroy();
      server.close();
    };
    server.listen(0, '127.0.0.1', () => {
      proxy.port = server.address().port;
      resolve(proxy);
    });
  });
}

module.exports = { Processes, exitWithin, freePort, listening, listeningPorts, startBlackHoleProxy };
