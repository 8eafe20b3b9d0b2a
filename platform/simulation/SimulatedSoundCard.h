#pragma once

#include "SimulatedAudioSystem.h"

#include <memory>

namespace brindle
{

/** The sound card the application offers on a machine without one, when the environment
    variable DUZEZAVURE_SIMULATED_AUDIO is set (to anything but empty): a loopback cable
    ("CABLE Input" into "CABLE Output") on which the computer plays a test signal, and
    "Simulated Speakers" whose output can be recorded. Each device runs in real time on a
    clock of its own (the speakers 120 ppm fast), so the drift control has work to do, on
    threads at a driver's real-time priority where the system allows it.

    It is offered only on request: otherwise a fake cable would stand in for the loopback
    driver the console asks the user to install, and a stored route could open on fake
    speakers.

    What the computer plays: DUZEZAVURE_SIMULATED_SIGNAL "tones" (or unset) plays a low tone
    where rooms boom and a mid tone; "pink" plays pink noise at -20 dB RMS, which repeats every
    pinkNoisePeriodFrames frames of the cable (a measurement signal: its frames can be made
    again from their numbers). Any other value plays the tones and says so on standard error.

    When DUZEZAVURE_SIMULATED_RECORDING names a file, what the speakers play is written there
    as a WAV file as they play (OutputRecorder: frame n of the file is frame n of the speakers'
    clock), for up to ten minutes.

    Threading: message thread. */
struct SimulatedSoundCard
{
    static constexpr const char* enableVariable = "DUZEZAVURE_SIMULATED_AUDIO";
    static constexpr const char* signalVariable = "DUZEZAVURE_SIMULATED_SIGNAL";
    static constexpr const char* recordingVariable = "DUZEZAVURE_SIMULATED_RECORDING";
    static constexpr const char* speakersName = "Simulated Speakers";
    static constexpr double speakersClockOffsetPpm = 120.0;
    static constexpr double pinkNoiseRms = 0.1;
    static constexpr double recordedSeconds = 600.0;

    /** The simulated system, or null when the environment does not ask for it. */
    static std::shared_ptr<SimulatedAudioSystem> fromEnvironment();

    /** A simulated system with the devices above, on the given clock, playing `signal` (the
        tones when empty) and recording the speakers to `recording` (nothing when empty). */
    static std::shared_ptr<SimulatedAudioSystem> create (SimulatedClock::Mode mode, SimulatedSignal signal = {},
                                                         const juce::String& recording = {});

    /** The signal an environment value names: the tones for "" and "tones", pink noise for
        "pink"; an empty function for anything else. */
    static SimulatedSignal signalNamed (const juce::String& name);

    /** Writes the rest of the speakers' recording and closes its file, if there is one. */
    static void finishRecording (const SimulatedAudioSystem& system);
};

} // namespace brindle
