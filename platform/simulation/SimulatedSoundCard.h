#pragma once

#include "SimulatedAudioSystem.h"

#include <memory>

namespace brindle
{

/** The sound card the application offers on a machine without one, when the environment
    variable DUZEZAVURE_SIMULATED_AUDIO is set (to anything but empty): a loopback cable
    ("CABLE Input" into "CABLE Output") on which the computer plays a test signal, and
    "Simulated Speakers" whose output is recorded. Each device runs in real time on a clock of
    its own (the speakers 120 ppm fast), so the drift control has work to do.

    It is offered only on request: otherwise a fake cable would stand in for the loopback
    driver the console asks the user to install, and a stored route could open on fake
    speakers. When DUZEZAVURE_SIMULATED_RECORDING names a file, what the speakers played (up
    to the first minute at 48 kHz after they last started) is written there as a WAV file at the
    end.

    Threading: message thread. */
struct SimulatedSoundCard
{
    static constexpr const char* enableVariable = "DUZEZAVURE_SIMULATED_AUDIO";
    static constexpr const char* recordingVariable = "DUZEZAVURE_SIMULATED_RECORDING";
    static constexpr const char* speakersName = "Simulated Speakers";

    /** The simulated system, or null when the environment does not ask for it. */
    static std::shared_ptr<SimulatedAudioSystem> fromEnvironment();

    /** A simulated system with the devices above, on the given clock. */
    static std::shared_ptr<SimulatedAudioSystem> create (SimulatedClock::Mode mode);

    /** Writes what the speakers played to the file the environment names, if it names one.
        Returns whether a file was written. */
    static bool writeRecording (const SimulatedAudioSystem& system, double sampleRate);
};

} // namespace brindle
