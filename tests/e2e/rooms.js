'use strict';

// The rooms and the route the end-to-end run seeds the settings with, and its analysis is tested on.
const Profile = require('../../ui/js/profile.js');

const ROUTE = {
  deviceType: 'Simulated', inputDevice: 'CABLE Output', outputDevice: 'Simulated Speakers',
  sampleRate: 48000, bufferSize: 256, queueMs: 30,
};

// A state as the page would have made it from a room: its own bands, amount and delays are its
// baseline, so it reads as the room itself, not as an edit of one.
function stateObject(fields) {
  const baseline = { bands: fields.bands, correctionPct: fields.correctionPct, delayLeftMs: fields.delayLeftMs, delayRightMs: fields.delayRightMs };
  return JSON.parse(Profile.toJson(Profile.sanitizeState({ ...fields, baseline })));
}

// A room with deep cuts and boosts on both sides, a trim and a delay between the speakers, so
// that every figure the engine applies shows in the recording.
const STUDY = stateObject({
  profileName: 'Study (seeded)', profileAt: '2026-06-20T10:00:00.000Z', correctionPct: 80,
  delayLeftMs: 0, delayRightMs: 1.5, outputDb: -2, phaseMode: 'minimum', firQuality: 'medium', safeHeadroom: true,
  bands: [
    { id: 'b0', freqHz: 40, gainDb: -8, q: 4, type: 'bell', stereo: 'stereo', on: true },
    { id: 'b1', freqHz: 100, gainDb: 5, q: 2, type: 'bell', stereo: 'left', on: true },
    { id: 'b2', freqHz: 250, gainDb: -7, q: 6, type: 'bell', stereo: 'right', on: true },
    { id: 'b3', freqHz: 1200, gainDb: -4, q: 1, type: 'bell', stereo: 'stereo', on: true },
    { id: 'b4', freqHz: 6000, gainDb: 3, q: 2, type: 'bell', stereo: 'stereo', on: true },
  ],
});

// The room the library holds: the console never saves one, so the rail can only load a seeded one.
const LIBRARY_ROOM_NAME = 'Living room';
const LIVING_ROOM = stateObject({
  profileName: LIBRARY_ROOM_NAME, profileAt: '2026-06-19T18:30:00.000Z', correctionPct: 100,
  delayLeftMs: 0.8, delayRightMs: 0, outputDb: 0, phaseMode: 'minimum', firQuality: 'medium', safeHeadroom: true,
  bands: [
    { id: 'b0', freqHz: 55, gainDb: -6, q: 5, type: 'bell', stereo: 'stereo', on: true },
    { id: 'b1', freqHz: 160, gainDb: -4, q: 3, type: 'bell', stereo: 'stereo', on: true },
    { id: 'b2', freqHz: 2500, gainDb: 2, q: 1.5, type: 'bell', stereo: 'right', on: true },
  ],
});

const STUDY_LINEAR = stateObject({ ...STUDY, profileName: 'Study (seeded, linear phase)', phaseMode: 'linear' });

module.exports = { ROUTE, STUDY, STUDY_LINEAR, LIBRARY_ROOM_NAME, LIVING_ROOM, stateObject };
