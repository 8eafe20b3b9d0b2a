#include "SimulatedSoundCard.h"

#include "WavFile.h"

#include <cmath>

namespace brindle
{

namespace
{
    constexpr double recordedSeconds = 60.0;

    /** What the computer plays into the cable: a low tone where rooms boom and a mid tone,
        each well below full scale. */
    SimulatedSignal testSignal()
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

std::shared_ptr<SimulatedAudioSystem> SimulatedSoundCard::create (SimulatedClock::Mode mode)
{
    // The speakers come first: the first output is the type's default playback device, and
    // the cable's playback end must not be it.
    auto system = std::make_shared<SimulatedAudioSystem> (mode);
    system->add (SimulatedDeviceConfig::output (speakersName)
                     .withClockOffsetPpm (120)
                     .withCapture ((std::int64_t) (recordedSeconds * 48000)));
    system->add (SimulatedDeviceConfig::cablePair().withSignal (testSignal()));
    return system;
}

std::shared_ptr<SimulatedAudioSystem> SimulatedSoundCard::fromEnvironment()
{
    if (juce::SystemStats::getEnvironmentVariable (enableVariable, {}).isEmpty())
        return nullptr;

    return create (SimulatedClock::Mode::realTime);
}

bool SimulatedSoundCard::writeRecording (const SimulatedAudioSystem& system, double sampleRate)
{
    const auto path = juce::SystemStats::getEnvironmentVariable (recordingVariable, {});
    const auto speakers = system.getEndpoint (speakersName);

    if (path.isEmpty() || speakers == nullptr || sampleRate <= 0)
        return false;

    const auto& capture = speakers->getCapture();
    const auto frames = std::min<std::int64_t> (capture.getNumFrames(), (std::int64_t) (recordedSeconds * sampleRate));
    std::vector<std::vector<float>> channels ((size_t) capture.getNumChannels(), std::vector<float> ((size_t) frames));

    for (int c = 0; c < capture.getNumChannels(); ++c)
        for (std::int64_t f = 0; f < frames; ++f)
            channels[(size_t) c][(size_t) f] = capture.getSample (c, f);

    return writeWavFile (juce::File::getCurrentWorkingDirectory().getChildFile (path), channels, sampleRate);
}

} // namespace brindle
