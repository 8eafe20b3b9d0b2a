/*
 * The built-in demo room, stored exactly as the measuring application exports a
 * room, so it goes through the room profile reader like any file. A small
 * rectangular room on a suspended floor: stacked modes at 45 and 48 Hz, a 96 Hz
 * harmonic stronger on the left, a floor-bounce dip at 130 Hz, a cancellation at
 * 78 Hz, a slightly bright top, and a right speaker arriving 17 samples early.
 */
(function (root, factory) {
  'use strict';
  const demo = factory();
  if (typeof module === 'object' && module && module.exports) module.exports = demo;
  root.BrindleDemoProfile = demo;
})(typeof window !== 'undefined' ? window : globalThis, function () {
  'use strict';

  // Shared by every caller, so nothing may change it.
  function deepFreeze(value) {
    if (value !== null && typeof value === 'object') {
      Object.values(value).forEach(deepFreeze);
      Object.freeze(value);
    }
    return value;
  }

  const boom = (freqHz, lowHz, highHz, q, boostDbL, boostDbR) => ({ freqHz, lowHz, highHz, q, boostDbL, boostDbR });
  const range = (key, label, freqHz, lowHz, highHz, offsetDb) => ({ key, label, freqHz, lowHz, highHz, offsetDb });

  return deepFreeze({
    name: 'Demo room — small rectangular, suspended floor',
    createdAt: '2026-06-18T19:40:00.000Z',
    monitoring: 'speakers',
    strength: 0.65,
    allowBoosts: false,
    match: [
      boom(45, 42.4, 47.7, 5.2, 8.5, 8.5),
      boom(48, 45.3, 50.9, 5.0, 7.0, 7.0),
      boom(63, 59.4, 66.8, 4.6, 3.5, 3.5),
      boom(96, 90.5, 101.8, 4.2, 5.5, 3.0),
      boom(172, 162, 182, 3.8, 4.0, 4.0),
    ],
    tonal: [
      range('b20', '20–40 Hz', 28.3, 20, 40, -1.5),
      range('b40', '40–60 Hz', 49, 40, 60, 4.5),
      range('b60', '60–80 Hz', 69.3, 60, 80, 2.0),
      range('b80', '80–100 Hz', 89.4, 80, 100, 2.5),
      range('b100', '100–120 Hz', 109.5, 100, 120, 0.5),
      range('b120', '120–160 Hz', 138.6, 120, 160, -2.0),
      range('b160', '160–200 Hz', 178.9, 160, 200, 3.0),
      range('lomid', 'low-mid', 316, 200, 500, -1.0),
      range('himid', 'high-mid', 3162, 2000, 5000, 1.5),
      range('high', 'high', 6325, 5000, 8000, 2.5),
      range('k8', '8 kHz', 8000, 7000, 9000, 3.0),
      range('k12', '12.5 kHz', 12500, 11000, 14000, 2.0),
    ],
    tonalSweep: [
      { freqHz: 2000, offsetDb: 1.0 },
      { freqHz: 4000, offsetDb: 2.0 },
      { freqHz: 8000, offsetDb: 2.5 },
      { freqHz: 12500, offsetDb: 1.5 },
    ],
    balanceFix: [{ freqHz: 210, q: 3.4, boostDbL: 2.5, boostDbR: 0 }],
    dips: [
      { freqHz: 130, kind: 'dip', boostDb: 2.5, q: 3.2 },
      { freqHz: 78, kind: 'cancellation', boostDb: 0 },
    ],
    nulls: { flagged: [{ freqHz: 78 }] },
    // 17 samples at 48 kHz: 354.17 µs, 0.354 ms, 121.5 mm of sound travel at 343 m/s.
    arrival: {
      method: 'ear',
      applied: true,
      verified: true,
      fineTuned: true,
      delayChannel: 'right',
      delaySamples: 17,
      sampleRate: 48000,
      delayUs: 354.17,
      delayMs: 0.354,
      equivalentDistanceMm: 121.5,
    },
  });
});
