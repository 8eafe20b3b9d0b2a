'use strict';

// Reads the pixels of a screenshot: an 8-bit, non-interlaced PNG in RGB or RGBA, as both engines'
// screenshots are. Enough to ask what colour the page painted at a point.
const zlib = require('node:zlib');

const SIGNATURE = '89504e470d0a1a0a';
const CHANNELS = { 2: 3, 6: 4 };

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a);
  const pb = Math.abs(p - b);
  const pc = Math.abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// { width, height, at(x, y) → [r, g, b] }
function readPng(png) {
  if (png.toString('hex', 0, 8) !== SIGNATURE) throw new Error('not a PNG');
  let width = 0;
  let height = 0;
  let channels = 0;
  const data = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at);
    const type = png.toString('latin1', at + 4, at + 8);
    const body = png.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      channels = CHANNELS[body[9]];
      if (body[8] !== 8 || !channels || body[12] !== 0) throw new Error('only 8-bit RGB or RGBA PNGs without interlacing are read');
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const pixels = Buffer.alloc(height * stride);
  for (let y = 0; y < height; y += 1) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; i += 1) {
      const left = i >= channels ? pixels[y * stride + i - channels] : 0;
      const up = y > 0 ? pixels[(y - 1) * stride + i] : 0;
      const corner = y > 0 && i >= channels ? pixels[(y - 1) * stride + i - channels] : 0;
      const predicted = [0, left, up, (left + up) >> 1, paeth(left, up, corner)][filter];
      pixels[y * stride + i] = (line[i] + predicted) & 0xff;
    }
  }
  const at = (x, y) => {
    const i = Math.round(y) * stride + Math.round(x) * channels;
    return [pixels[i], pixels[i + 1], pixels[i + 2]];
  };
  return { width, height, at };
}

module.exports = { readPng };
