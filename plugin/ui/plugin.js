/*
 * The console script, for now only its handshake with the host: it listens for
 * the host's four events and says it is ready, so that the host answers with the
 * stored correction, the devices and the library and then sends the meter. The
 * console itself (plot, bands, settings, routing, rooms) builds on this.
 */
(function (Runtime) {
  'use strict';

  function ignore() {}

  for (const name of ['restore', 'devices', 'meter', 'library']) Runtime.onHostEvent(name, ignore);
  Runtime.announceReady();
})((typeof window !== 'undefined' ? window : globalThis).BrindleRuntime);
