'use strict';

// Reads the browsers' screenshots (8-bit RGB or RGBA, not interlaced) into pixels, so that a
// test can say what a picture shows: how many colours it holds and which ones, and where.
const zlib = require('node:zlib');

const CHANNELS = { 2: 3, 6: 4 };

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a);
  const pb = Math.abs(p - b);
  const pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Undoes each row's filter in place; `data` is the inflated image data, one filter byte a row.
function unfilter(data, width, height, channels) {
  const stride = width * channels;
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y += 1) {
    const filter = data[y * (stride + 1)];
    const from = y * (stride + 1) + 1;
    for (let i = 0; i < stride; i += 1) {
      const left = i >= channels ? rows[y * stride + i - channels] : 0;
      const up = y > 0 ? rows[(y - 1) * stride + i] : 0;
      const upLeft = y > 0 && i >= channels ? rows[(y - 1) * stride + i - channels] : 0;
      const predicted = [0, left, up, (left + up) >> 1, paeth(left, up, upLeft)][filter];
      if (predicted === undefined) throw new Error(`row ${y} has an unknown filter ${filter}`);
      rows[y * stride + i] = (data[from + i] + predicted) & 0xff;
    }
  }
  return rows;
}

function readPng(png) {
  if (png.toString('latin1', 1, 4) !== 'PNG') throw new Error('not a PNG');
  let width = 0, height = 0, channels = 0;
  const compressed = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at);
    const type = png.toString('latin1', at + 4, at + 8);
    const body = png.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      channels = CHANNELS[body[9]];
      if (body[8] !== 8 || !channels || body[12] !== 0) throw new Error('only 8-bit RGB or RGBA pictures without interlace are read');
    } else if (type === 'IDAT') {
      compressed.push(body);
    }
    at += 12 + length;
  }
  const rows = unfilter(zlib.inflateSync(Buffer.concat(compressed)), width, height, channels);
  const colourAt = (x, y) => {
    const i = (y * width + x) * channels;
    return (rows[i] << 16) | (rows[i + 1] << 8) | rows[i + 2];
  };
  return {
    width,
    height,
    colourAt,
    // The red, green and blue at a point, rounded to the nearest pixel.
    at(x, y) {
      const c = colourAt(Math.round(x), Math.round(y));
      return [c >> 16, (c >> 8) & 0xff, c & 0xff];
    },
    // The distinct colours within a box of the picture (the whole of it by default), each with
    // how many pixels show it.
    colours({ x = 0, y = 0, w = width - x, h = height - y } = {}) {
      const counts = new Map();
      for (let row = Math.max(0, Math.round(y)); row < Math.min(height, Math.round(y + h)); row += 1) {
        for (let col = Math.max(0, Math.round(x)); col < Math.min(width, Math.round(x + w)); col += 1) {
          const c = colourAt(col, row);
          counts.set(c, (counts.get(c) || 0) + 1);
        }
      }
      return counts;
    },
  };
}

// "rgb(220, 75, 46)" as the number colourAt gives.
function rgbNumber(css) {
  const [r, g, b] = css.match(/\d+(\.\d+)?/g).map(Number);
  return (r << 16) | (g << 8) | b;
}

module.exports = { readPng, rgbNumber };
