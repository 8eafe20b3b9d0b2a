'use strict';
/*
 * A small seeded random generator (mulberry32) for tests, fixtures and benchmarks, so that
 * every run draws the same numbers from the same seed. Returns numbers in [0, 1).
 */
function seeded(seed) {
  let s = seed >>> 0;
  return () => {
    s = (s + 0x6d2b79f5) >>> 0;
    let t = s;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

module.exports = { seeded };
