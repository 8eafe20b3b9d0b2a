#include "AudioMeasures.h"
#include "RealtimeGuard.h"
#include "TemporaryFolder.h"

#include "engine/AudioFifo.h"
#include "engine/DriftResampler.h"
#include "platform/simulation/OutputRecorder.h"
#include "platform/simulation/SimulatedAudioSystem.h"
#include "platform/simulation/SimulatedDeviceType.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

namespace brindle::test
{

TEST (DeviceThreadRealtime, TheQueueAndTheResamplerNeitherAllocateNorLock)
{
    AudioFifo queue;
    queue.prepare (6849);
    DriftResampler resampler;
    resampler.prepare (2048, 0.91875, 1.01);

    std::vector<float> in (480, 0.25f), left (4000), right (4000);
    float* outputs[] = { left.data(), right.data() };

    RealtimeGuard guard;
    queue.writeSilence (1680);

    for (int block = 0; block < 400; ++block)
    {
        queue.write (in.data(), in.data(), 441);
        const double step = 0.91875 * (1.0 + 0.002 * ((block % 7) - 3) / 3.0);
        resampler.process (queue, outputs, 480, step);
    }

    resampler.process (queue, outputs, 2048, 1e9);      // held at the largest step
    resampler.process (queue, outputs, 4000, 0.91875);  // longer than prepared: in pieces
    resampler.process (queue, outputs, 0, 1.0);
    queue.read (outputs, 100);

    EXPECT_EQ (guard.allocations(), 0u);
    EXPECT_EQ (guard.locks(), 0u);
}

// The router's own test guards its callbacks by guarding a manual clock's advance(), so the
// simulated devices around the callbacks must add nothing of their own.
TEST (DeviceThreadRealtime, SimulatedBlocksInManualTimeNeitherAllocateNorLock)
{
    TemporaryFolder folder;
    auto recorder = std::make_shared<OutputRecorder> (folder.get().getChildFile ("speakers.wav"), 2, 60);
    auto system = std::make_shared<SimulatedAudioSystem> (SimulatedClock::Mode::manual);
    system->add (SimulatedDeviceConfig::cablePair().withSignal (pinkNoiseSignal (0.1)).withClockOffsetPpm (120));
    system->add (SimulatedDeviceConfig::output ("Speakers").withCapture (48000).withRecorder (recorder).withClockOffsetPpm (-80));
    system->add (SimulatedDeviceConfig::input ("Mic", recordedSignal ({ std::vector<float> (1000, 0.1f) })));
    system->add (SimulatedDeviceConfig::duplex ("Interface", constantSignal (0.5f)).withStreamError (48000));
    SimulatedDeviceType type (system);

    // Copies its inputs to its outputs (silence where it has none): the shape of the router's
    // callbacks, allocation-free.
    struct PassThrough final : juce::AudioIODeviceCallback
    {
        void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs, float* const* outputs, int numOutputs,
                                               int numFrames, const juce::AudioIODeviceCallbackContext&) override
        {
            for (int c = 0; c < numOutputs; ++c)
                for (int k = 0; k < numFrames; ++k)
                    outputs[c][k] = c < numInputs ? inputs[c][k] : 0.1f;
        }
        void audioDeviceAboutToStart (juce::AudioIODevice*) override {}
        void audioDeviceStopped() override {}
        void audioDeviceError (const juce::String&) override { ++errors; }
        int errors = 0;
    } callback;

    const auto stereo = channelMask (2);
    const std::pair<const char*, const char*> names[] = { { "CABLE Input", "" }, { "", "CABLE Output" }, { "Speakers", "" },
                                                          { "", "Mic" }, { "Interface", "Interface" } };
    std::vector<std::unique_ptr<juce::AudioIODevice>> devices;

    for (const auto& [output, input] : names)
    {
        devices.emplace_back (type.createDevice (output, input));
        ASSERT_NE (devices.back(), nullptr);
        ASSERT_TRUE (devices.back()->open (*input ? stereo : juce::BigInteger(), *output ? stereo : juce::BigInteger(), 48000, 256).isEmpty());
        devices.back()->start (&callback);
    }

    std::int64_t blocks = 0;
    {
        RealtimeGuard guard;
        blocks = system->advance (std::chrono::seconds (3));
        EXPECT_EQ (guard.allocations(), 0u);
        EXPECT_EQ (guard.locks(), 0u);
    }

    EXPECT_GT (blocks, 2000);
    EXPECT_EQ (callback.errors, 1) << "the duplex device's stream error was reported without allocating";

    for (auto& device : devices)
        device->stop();

    recorder->finish();
    EXPECT_GT (recorder->getFramesWritten(), 48000 * 2) << "the speakers were recorded meanwhile";
}

} // namespace brindle::test
