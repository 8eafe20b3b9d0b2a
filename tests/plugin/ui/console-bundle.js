'use strict';

// The console's bundle as the host's resource provider serves it: the page's 13 files by their
// flat names, the query ignored, "" for index.html and nothing else. Shared by the browsers'
// harnesses and the boot benchmark, so that every engine sees the same files.
const fs = require('node:fs');
const path = require('node:path');
const { WHERE, ROOT } = require('./page-loader.js');

// The bundle: the ten scripts, the document and the two style sheets, by flat name.
const FILES = {
  ...Object.fromEntries(Object.entries(WHERE).map(([name, dir]) => [name, path.join(dir, name)])),
  'index.html': 'plugin/ui/index.html',
  'app.css': 'research/app/app.css',
  'plugin.css': 'plugin/ui/plugin.css',
};
const MIME = { '.html': 'text/html', '.css': 'text/css', '.js': 'text/javascript' };
const FONT_HOSTS = ['fonts.googleapis.com', 'fonts.gstatic.com'];

// The answer for a path of the bundle's origin: {status, contentType, body}. `files` maps flat
// names to texts served in place of the bundle's own.
function bundleFile(pathname, files = {}) {
  const name = pathname.replace(/^\//, '') || 'index.html';
  let body = files[name];
  if (body === undefined && Object.hasOwn(FILES, name)) body = fs.readFileSync(path.join(ROOT, FILES[name]));
  if (body === undefined) return { status: 404, contentType: 'text/plain', body: 'not found' };
  return { status: 200, contentType: MIME[path.extname(name)] || 'application/octet-stream', body };
}

module.exports = { ROOT, FILES, MIME, FONT_HOSTS, bundleFile };
