#include "SimulatedSoundCard.h"

#include "OutputRecorder.h"

#include <cmath>
#include <iostream>

namespace brindle
{

namespace
{
    /** What the computer plays into the cable in the demo: a low tone where rooms boom and a
        mid tone, each well below full scale. */
    SimulatedSignal testTones()
    {
        return [] (float* const* channels, int numChannels, int numFrames, std::int64_t firstFrame, double rate) {
            constexpr double twoPi = 6.283185307179586;
            for (int i = 0; i < numFrames; ++i)
            {
                const double t = (double) (firstFrame + i) / rate;
                const auto sample = (float) (0.125 * std::sin (twoPi * 63.0 * t) + 0.125 * std::sin (twoPi * 1000.0 * t));
                for (int c = 0; c < numChannels; ++c)
                    channels[c][i] = sample;
            }
        };
    }
}

SimulatedSignal SimulatedSoundCard::signalNamed (const juce::String& name)
{
    if (name.isEmpty() || name == "tones")
        return testTones();

    if (name == "pink")
        return pinkNoiseSignal (pinkNoiseRms);

    return {};
}

std::shared_ptr<SimulatedAudioSystem> SimulatedSoundCard::create (SimulatedClock::Mode mode, SimulatedSignal signal,
                                                                  const juce::String& recording)
{
    auto speakers = SimulatedDeviceConfig::output (speakersName).withClockOffsetPpm (speakersClockOffsetPpm);

    if (recording.isNotEmpty())
        speakers = speakers.withRecorder (std::make_shared<OutputRecorder> (juce::File::getCurrentWorkingDirectory().getChildFile (recording),
                                                                            speakers.outputChannels, recordedSeconds));

    // The speakers come first: the first output is the type's default playback device, and
    // the cable's playback end must not be it.
    auto system = std::make_shared<SimulatedAudioSystem> (mode);
    system->getClock().useDriverPriority();
    system->add (speakers);
    system->add (SimulatedDeviceConfig::cablePair().withSignal (signal ? std::move (signal) : testTones()));
    return system;
}

std::shared_ptr<SimulatedAudioSystem> SimulatedSoundCard::fromEnvironment()
{
    if (juce::SystemStats::getEnvironmentVariable (enableVariable, {}).isEmpty())
        return nullptr;

    const auto signalName = juce::SystemStats::getEnvironmentVariable (signalVariable, {});
    auto signal = signalNamed (signalName);

    if (! signal)
        std::cerr << signalVariable << " \"" << signalName << "\" is neither \"tones\" nor \"pink\": playing the tones" << std::endl;

    return create (SimulatedClock::Mode::realTime, std::move (signal),
                   juce::SystemStats::getEnvironmentVariable (recordingVariable, {}));
}

void SimulatedSoundCard::finishRecording (const SimulatedAudioSystem& system)
{
    if (const auto speakers = system.getEndpoint (speakersName))
        if (const auto& recorder = speakers->getConfig().recorder)
            recorder->finish();
}

} // namespace brindle
