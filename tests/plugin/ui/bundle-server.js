'use strict';

// The console's bundle from a real HTTP server on 127.0.0.1, for browsers driven without request
// interception (WebDriver has none). The browser takes this server as its proxy for every
// scheme, so that nothing it asks for reaches the network: plain requests for the console's
// hosts are answered from the bundle, every other address is refused at once (or held open,
// never answered), and an https request, which reaches this server either as CONNECT or as a
// TLS handshake meant for the proxy itself, is refused the same way. The page thus behaves as
// it would with the font service unreachable, on any machine, with or without a network.
const http = require('node:http');
const { bundleFile } = require('./console-bundle.js');

// The console's origins: console.test and any host under it, so that every opening can have an
// origin, and with it a storage and a cache, of its own.
const BUNDLE_HOST = /(?:^|\.)console\.test$|^127\.0\.0\.1$|^localhost$/;
const TLS_HANDSHAKE = 0x16;

// Puts `script` into the document before anything of its own runs: after the charset
// declaration, which must stay in the first 1024 bytes, and before every element after it.
function withPrelude(html, script) {
  const tag = `<script>${script}</script>`;
  const after = /<meta charset=[^>]*>/i.exec(html) || /<head[^>]*>/i.exec(html);
  if (!after) return tag + html;
  const at = after.index + after[0].length;
  return html.slice(0, at) + tag + html.slice(at);
}

// Starts the server. Set its `files` ({flat name: text} served in place of the bundle's),
// `prelude` (a script the served index.html starts with) and `hold(url)` (true to leave that
// refused request unanswered) before each opening. `refused` lists every address refused
// ("https:" for one whose address was not seen).
async function startBundleServer() {
  const held = new Set();
  const bundle = {
    port: 0, files: {}, prelude: '', hold: () => false, refused: [],
    // The address a browser is given as its proxy, for http and https alike.
    get proxy() {
      return `127.0.0.1:${bundle.port}`;
    },
    close() {
      for (const socket of held) socket.destroy();
      server.closeAllConnections();
      return new Promise((resolve) => server.close(() => resolve()));
    },
  };

  function refuse(url, socket) {
    bundle.refused.push(url);
    if (!bundle.hold(url)) {
      socket.destroy();
      return;
    }
    held.add(socket);
    socket.on('close', () => held.delete(socket));
  }

  // A proxy request names the full address; a direct one only its path.
  const server = http.createServer((req, res) => {
    const url = new URL(req.url, `http://${req.headers.host || '127.0.0.1'}`);
    if (!BUNDLE_HOST.test(url.hostname)) return refuse(url.href, req.socket);
    const answer = bundleFile(url.pathname, bundle.files);
    let body = answer.body;
    if (answer.status === 200 && answer.contentType === 'text/html' && bundle.prelude) {
      body = withPrelude(String(body), bundle.prelude);
    }
    res.writeHead(answer.status, { 'content-type': answer.contentType });
    return res.end(body);
  });
  server.on('connect', (req, socket) => refuse(`https://${req.url.replace(/:443$/, '')}/`, socket));
  // WebKit speaks TLS to an https proxy and names the address only inside it: such a request is
  // known here only as one for https.
  server.on('clientError', (error, socket) => {
    if (error.rawPacket && error.rawPacket[0] === TLS_HANDSHAKE) refuse('https:', socket);
    else socket.destroy();
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolve);
  });
  bundle.port = server.address().port;
  return bundle;
}

module.exports = { startBundleServer, withPrelude };
