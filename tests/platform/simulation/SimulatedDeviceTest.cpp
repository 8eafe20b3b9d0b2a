#include "TestSeed.h"
#include "RecordingCallback.h"
#include "SimulatedRig.h"

#include "MessageLoop.h"
#include "platform/simulation/BlockSchedule.h"
#include "platform/simulation/SimulatedDevice.h"
#include "platform/simulation/SimulatedDeviceManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

namespace brindle::test
{

using namespace std::chrono_literals;
using Config = SimulatedDeviceConfig;

TEST (SimulatedDevice, ManualTimeRunsExactlyTheBlocksTheDevicesClockHasReached)
{
    // An input's block runs once its last frame is captured, an output's as its first is due.
    struct Case { const char* kind; double rateHz; double ppm; int block; int seconds; int blocks; };
    const Case cases[] = {
        { "input", 48000, 100, 48, 10, 10001 },        // 480048 frames in 10 s
        { "input", 48000, -100, 48, 10, 9999 },        // 479952
        { "input", 44100, 1500, 64, 60, 41405 },       // 2649969 reached, 49 short of the next block
        { "output", 48000, 300, 480, 10, 1001 },       // 480144 reached: the block at 480000 has begun
        { "duplex", 96000, -50, 256, 5, 1874 },        // 479976
    };

    const TestSeed seed;
    std::mt19937 random (seed.value);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.kind << " " << c.rateHz << " Hz " << c.ppm << " ppm");
        SimulatedRig rig;
        const juce::String kind (c.kind);
        const auto config = kind == "input" ? Config::input ("D") : kind == "output" ? Config::output ("D") : Config::duplex ("D");
        rig.system->add (config.withClockOffsetPpm (c.ppm));

        auto device = rig.open (kind == "input" ? "" : "D", kind == "output" ? "" : "D", c.rateHz, c.block);
        ASSERT_NE (device, nullptr);
        RecordingCallback callback;
        device->start (&callback);

        // In uneven slices, to show the count does not depend on how time is advanced.
        std::uniform_int_distribution<int> sliceMs (1, 2500);
        for (std::int64_t leftMs = c.seconds * 1000; leftMs > 0;)
        {
            const auto slice = std::min<std::int64_t> (leftMs, sliceMs (random));
            rig.system->advance (std::chrono::milliseconds (slice));
            leftMs -= slice;
        }

        EXPECT_EQ (callback.blocks, c.blocks);
        EXPECT_EQ (callback.frames, (std::int64_t) c.blocks * c.block);
        EXPECT_EQ (rig.endpoint ("D").getFramesRun(), (std::int64_t) c.blocks * c.block);
        EXPECT_EQ (callback.lastBlockFrames, c.block);
        device->stop();
    }
}

TEST (SimulatedDevice, BlocksOfSeveralDevicesRunInTimeOrderAtTheirOwnPace)
{
    SimulatedRig rig;
    rig.system->add (Config::input ("Fast").withClockOffsetPpm (1500));
    rig.system->add (Config::output ("Slow").withClockOffsetPpm (-300));
    rig.system->add (Config::duplex ("Other"));

    struct Device { const char* output; const char* input; double rateHz; int block; double ppm; BlockSchedule::Timing timing; };
    const Device devices[] = {
        { "", "Fast", 48000, 64, 1500, BlockSchedule::Timing::afterCapture },
        { "Slow", "", 44100, 100, -300, BlockSchedule::Timing::renderAhead },
        { "Other", "Other", 96000, 512, 0, BlockSchedule::Timing::afterCapture },
    };

    std::vector<std::pair<std::uint64_t, int>> order;   // (host time, device)
    order.reserve (20000);
    std::vector<std::unique_ptr<RecordingCallback>> callbacks;
    std::vector<std::unique_ptr<juce::AudioIODevice>> opened;      // destroyed before their callbacks

    for (int i = 0; i < 3; ++i)
    {
        const auto& d = devices[i];
        opened.push_back (rig.open (d.output, d.input, d.rateHz, d.block));
        ASSERT_NE (opened.back(), nullptr);
        callbacks.push_back (std::make_unique<RecordingCallback> ([&, i] (float* const*, int, int, std::int64_t)
        {
            order.emplace_back ((std::uint64_t) rig.system->getClock().nowNs(), i);
        }));
        opened.back()->start (callbacks.back().get());
    }

    rig.system->advance (2s);

    for (size_t k = 1; k < order.size(); ++k)
        ASSERT_LE (order[k - 1].first, order[k].first) << "block " << k << " ran before an earlier one";

    for (int i = 0; i < 3; ++i)
    {
        SCOPED_TRACE (i);
        const auto& d = devices[i];
        const BlockSchedule expected (d.rateHz, d.ppm, d.block, d.timing);
        const auto& times = callbacks[(size_t) i]->blockTimesNs;

        ASSERT_FALSE (times.empty());
        for (size_t k = 0; k < times.size(); ++k)
            ASSERT_EQ (times[k], (std::uint64_t) expected.dueNs ((std::int64_t) k)) << "block " << k << " ran at its due time";

        EXPECT_GT (expected.dueNs ((std::int64_t) times.size()), 2'000'000'000) << "every block due by then ran";
    }

    for (auto& device : opened)
        device->stop();
}

TEST (SimulatedDevice, DevicesSettleOnTheirOwnRateAndBufferSize)
{
    struct Case { Config config; double askedRate; int askedBuffer; double rate; int buffer; };
    const Case cases[] = {
        { Config::output ("D"), 44100, 256, 44100, 256 },
        { Config::output ("D").withSettledRate (44100), 48000, 256, 44100, 256 },
        { Config::output ("D").withSettledBufferSize (480), 48000, 256, 48000, 480 },
        { Config::output ("D"), 0, 0, 48000, 512 },                           // the device's own choice
        { Config::output ("D").withDefaultBufferSize (0), 48000, 0, 48000, 512 },
        { Config::output ("D").withDefaultBufferSize (1024), 48000, -5, 48000, 1024 },
        { Config::cablePair ("D", "E"), 96000, 64, 48000, 64 },               // a cable keeps its rate
        { Config::cablePair ("D", "E").withSettledRate (44100), 48000, 64, 44100, 64 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "asked " << c.askedRate << " Hz, " << c.askedBuffer << " frames");
        SimulatedRig rig;
        rig.system->add (c.config);
        auto device = rig.open ("D", "", c.askedRate, c.askedBuffer);
        ASSERT_NE (device, nullptr);

        EXPECT_EQ (device->getCurrentSampleRate(), c.rate);
        EXPECT_EQ (device->getCurrentBufferSizeSamples(), c.buffer);
        EXPECT_EQ (device->getDefaultBufferSize(), c.config.defaultBufferSize);
    }
}

TEST (SimulatedDevice, TheCallbackGetsTheActiveChannelsInOrder)
{
    SimulatedRig rig;
    // Input channel c carries c + 1; outputs are captured for the check.
    rig.system->add (Config::duplex ("Interface", [] (float* const* channels, int numChannels, int numFrames, std::int64_t, double)
    {
        for (int c = 0; c < numChannels; ++c)
            std::fill (channels[c], channels[c] + numFrames, (float) (c + 1));
    }).withChannels (4, 4).withCapture (64));

    std::unique_ptr<juce::AudioIODevice> device (rig.type.createDevice ("Interface", "Interface"));
    juce::BigInteger inputs, outputs;
    inputs.setBit (1);
    inputs.setBit (3);
    inputs.setBit (9);      // beyond what the device has: ignored
    outputs.setBit (0);
    outputs.setBit (2);
    ASSERT_TRUE (device->open (inputs, outputs, 48000, 32).isEmpty());

    EXPECT_EQ (device->getInputChannelNames().size(), 4);
    EXPECT_EQ (device->getActiveInputChannels().toInteger(), 0b1010);
    EXPECT_EQ (device->getActiveOutputChannels().toInteger(), 0b0101);

    RecordingCallback callback ([] (float* const* out, int numOutputs, int numFrames, std::int64_t)
    {
        for (int c = 0; c < numOutputs; ++c)
            std::fill (out[c], out[c] + numFrames, 0.5f * (float) (c + 1));
    });
    device->start (&callback);
    rig.system->advance (1ms);
    device->stop();

    ASSERT_EQ (callback.inputChannels, 2);
    ASSERT_EQ (callback.outputChannels, 2);
    EXPECT_EQ (callback.captured[0].front(), 2.0f) << "channel 1";
    EXPECT_EQ (callback.captured[1].front(), 4.0f) << "channel 3";

    const auto& played = rig.endpoint ("Interface").getCapture();
    ASSERT_EQ (played.getNumFrames(), 32);
    EXPECT_EQ (played.getSample (0, 5), 0.5f);
    EXPECT_EQ (played.getSample (1, 5), 0.0f) << "an inactive output stays silent";
    EXPECT_EQ (played.getSample (2, 5), 1.0f);
    EXPECT_EQ (played.getSample (3, 5), 0.0f);
}

TEST (SimulatedDevice, CreateDeviceMakesOnlyWhatTheNamesDescribe)
{
    SimulatedRig rig;
    rig.system->add (Config::output ("Speakers"));
    rig.system->add (Config::input ("Mic"));
    rig.system->add (Config::duplex ("Interface"));
    rig.system->add (Config::cablePair());
    rig.type.scanForDevices();
    EXPECT_EQ (rig.type.getDeviceNames (false), juce::StringArray ("Speakers", "Interface", "CABLE Input"));
    EXPECT_EQ (rig.type.getDeviceNames (true), juce::StringArray ("Mic", "Interface", "CABLE Output"));

    struct Case { const char* output; const char* input; bool made; bool hasInput; bool hasOutput; };
    const Case cases[] = {
        { "Speakers", "", true, false, true },
        { "", "Mic", true, true, false },
        { "Interface", "Interface", true, true, true },
        { "Interface", "", true, false, true },
        { "", "Interface", true, true, false },
        { "CABLE Input", "", true, false, true },
        { "", "CABLE Output", true, true, false },
        { "", "CABLE Input", false, false, false },        // the cable's playback end records nothing
        { "CABLE Output", "", false, false, false },
        { "Speakers", "Mic", false, false, false },        // two devices are opened one by one
        { "Mic", "", false, false, false },
        { "speakers", "", false, false, false },           // names are exact
        { "Interface", "interface", false, false, false },
        { "", "", false, false, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "'" << c.output << "' / '" << c.input << "'");
        std::unique_ptr<juce::AudioIODevice> device (rig.type.createDevice (c.output, c.input));
        ASSERT_EQ (device != nullptr, c.made);

        if (device != nullptr)
        {
            EXPECT_EQ (device->getTypeName(), "Simulated");
            EXPECT_EQ (device->getInputChannelNames().isEmpty(), ! c.hasInput);
            EXPECT_EQ (device->getOutputChannelNames().isEmpty(), ! c.hasOutput);
            EXPECT_GE (rig.type.getIndexOfDevice (device.get(), c.hasInput), 0);
        }
    }
}

TEST (SimulatedDevice, TheSystemCountsTheDevicesThatLiveAndThoseThatAreOpen)
{
    SimulatedRig rig;
    rig.system->add (Config::output ("Speakers"));
    rig.system->add (Config::output ("Broken").withOpenError ("Device in use by another application."));
    rig.type.scanForDevices();
    const auto expectCounts = [&] (int live, int open, int opens, const char* when)
    {
        EXPECT_EQ (rig.system->getLiveDeviceCount(), live) << when;
        EXPECT_EQ (rig.system->getOpenDeviceCount(), open) << when;
        EXPECT_EQ (rig.system->getDeviceOpensSoFar(), opens) << when;
    };

    expectCounts (0, 0, 0, "before any device");
    std::unique_ptr<juce::AudioIODevice> speakers (rig.type.createDevice ("Speakers", ""));
    std::unique_ptr<juce::AudioIODevice> broken (rig.type.createDevice ("Broken", ""));
    expectCounts (2, 0, 0, "created, not opened");

    ASSERT_TRUE (speakers->open ({}, channelMask (2), 48000, 256).isEmpty());
    EXPECT_FALSE (broken->open ({}, channelMask (2), 48000, 256).isEmpty());
    expectCounts (2, 1, 1, "one opened, one failed to");

    ASSERT_TRUE (speakers->open ({}, channelMask (2), 44100, 512).isEmpty());
    expectCounts (2, 1, 2, "opened again: it closed first");

    RecordingCallback callback;
    speakers->start (&callback);
    speakers->close();
    speakers->close();
    expectCounts (2, 0, 2, "closed (twice)");

    ASSERT_TRUE (speakers->open ({}, channelMask (2), 48000, 256).isEmpty());
    rig.system->remove ("Speakers");
    expectCounts (2, 1, 3, "its device left the list while open");

    speakers.reset();
    broken.reset();
    expectCounts (0, 0, 3, "destroyed, one of them open");

    SimulatedRig other;
    other.system->add (Config::output ("Speakers"));
    other.type.scanForDevices();
    std::unique_ptr<juce::AudioIODevice> elsewhere (other.type.createDevice ("Speakers", ""));
    expectCounts (0, 0, 3, "another system's device");
    EXPECT_EQ (other.system->getLiveDeviceCount(), 1);
}

TEST (SimulatedDevice, ADeviceThatFailsToOpenSaysWhyAndNeverStreams)
{
    SimulatedRig rig;
    rig.system->add (Config::output ("Broken").withOpenError ("Device in use by another application."));

    std::unique_ptr<juce::AudioIODevice> device (rig.type.createDevice ("Broken", ""));
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (device->open ({}, channelMask (2), 48000, 256), "Device in use by another application.");
    EXPECT_FALSE (device->isOpen());
    EXPECT_EQ (device->getLastError(), "Device in use by another application.");
    EXPECT_EQ (device->getCurrentSampleRate(), 0.0);

    RecordingCallback callback;
    device->start (&callback);
    rig.system->advance (1s);
    EXPECT_FALSE (device->isPlaying());
    EXPECT_EQ (callback.starts, 0);
    EXPECT_EQ (callback.blocks, 0);
}

TEST (SimulatedDevice, AStreamErrorIsReportedOnceAndThenNoBlockArrives)
{
    SimulatedRig rig;
    rig.system->add (Config::input ("Flaky").withStreamError (4800, "The device was unplugged."));
    auto device = rig.open ("", "Flaky", 48000, 480);
    ASSERT_NE (device, nullptr);

    RecordingCallback callback;
    device->start (&callback);
    rig.system->advance (1s);

    EXPECT_EQ (callback.blocks, 10);
    EXPECT_EQ (callback.errors, juce::StringArray ("The device was unplugged."));
    EXPECT_EQ (callback.errorThread, std::this_thread::get_id()) << "manual time reports on the advancing thread";
    EXPECT_TRUE (device->isPlaying()) << "halted until its owner stops it";

    device->stop();
    EXPECT_EQ (callback.stops, 1);

    // Started again, it streams its 4800 frames and fails again.
    device->start (&callback);
    rig.system->advance (1s);
    EXPECT_EQ (callback.blocks, 20);
    EXPECT_EQ (callback.errors.size(), 2);
    device->close();
    EXPECT_EQ (callback.stops, 2) << "close stops a running device";
}

TEST (SimulatedDevice, StoppingEndsTheBlocksAndAStartBeginsAfresh)
{
    SimulatedRig rig;
    rig.system->add (Config::output ("Speakers").withCapture (1000));
    auto device = rig.open ("Speakers", "", 48000, 256);
    ASSERT_NE (device, nullptr);

    RecordingCallback callback (rampPlayer());
    device->start (&callback);
    EXPECT_EQ (callback.starts, 1);
    EXPECT_EQ (callback.startedDevice, device.get());
    EXPECT_TRUE (rig.endpoint ("Speakers").isStreaming());
    rig.system->advance (100ms);

    const auto& played = rig.endpoint ("Speakers").getCapture();
    EXPECT_EQ (played.getNumFrames(), 1000) << "the capture keeps its first 1000 frames";
    EXPECT_EQ (played.getSample (0, 0), 1.0f);
    EXPECT_EQ (played.getSample (0, 999), 1000.0f);
    EXPECT_EQ (played.getSample (1, 999), -1000.0f);

    device->stop();
    EXPECT_EQ (callback.stops, 1);
    EXPECT_FALSE (rig.endpoint ("Speakers").isStreaming());
    const int blocksAtStop = callback.blocks;
    rig.system->advance (1s);
    EXPECT_EQ (callback.blocks, blocksAtStop);

    RecordingCallback second (rampPlayer());
    device->start (&second);
    EXPECT_EQ (rig.endpoint ("Speakers").getStartCount(), 2);
    EXPECT_EQ (played.getNumFrames(), 0) << "a start forgets what was kept";
    rig.system->advance (10ms);
    EXPECT_EQ (played.getSample (0, 0), 1.0f);
    EXPECT_EQ (rig.endpoint ("Speakers").getFramesRun(), second.frames.load());
    device->stop();
}

TEST (SimulatedDevice, AnInputPlaysItsSignalFromTheFirstFrameOfEachStream)
{
    SimulatedRig rig;
    rig.system->add (Config::input ("Mic", recordedSignal ({ { 1.0f, 0.5f, 0.25f }, { -1.0f } })));
    auto device = rig.open ("", "Mic", 48000, 64);
    ASSERT_NE (device, nullptr);

    for (int run = 0; run < 2; ++run)
    {
        RecordingCallback callback;
        device->start (&callback);
        rig.system->advance (10ms);
        device->stop();

        ASSERT_EQ (callback.captured.size(), 2u);
        EXPECT_EQ (std::vector<float> (callback.captured[0].begin(), callback.captured[0].begin() + 4), (std::vector<float> { 1.0f, 0.5f, 0.25f, 0.0f }));
        EXPECT_EQ (std::vector<float> (callback.captured[1].begin(), callback.captured[1].begin() + 2), (std::vector<float> { -1.0f, 0.0f }));
    }
}

TEST (SimulatedDevice, AChangeInTheDeviceListReachesTheDeviceManagersListeners)
{
    auto system = std::make_shared<SimulatedAudioSystem>();
    SimulatedDeviceManager manager (system);
    ASSERT_EQ (manager.getAvailableDeviceTypes().getLast()->getTypeName(), "Simulated");

    struct Counter final : juce::ChangeListener
    {
        int changes = 0;
        void changeListenerCallback (juce::ChangeBroadcaster*) override { ++changes; }
    } counter;
    manager.addChangeListener (&counter);

    system->add (Config::output ("Headphones"));
    EXPECT_TRUE (pumpUntil ([&] { return counter.changes >= 1; }));

    system->remove ("Headphones");
    EXPECT_TRUE (pumpUntil ([&] { return counter.changes >= 2; }));
    EXPECT_FALSE (system->remove ("Headphones")) << "already gone";

    manager.removeChangeListener (&counter);
}

TEST (SimulatedDevice, InRealTimeADeviceStreamsOnItsOwnThreadUntilStopped)
{
    SimulatedRig rig (SimulatedClock::Mode::realTime);
    rig.system->add (Config::input ("Mic", constantSignal (0.25f)));
    auto device = rig.open ("", "Mic", 48000, 480);
    ASSERT_NE (device, nullptr);

    RecordingCallback callback;
    device->start (&callback);
    EXPECT_TRUE (pumpUntil ([&] { return callback.blocks >= 5; }, 10'000));
    device->stop();
    const int blocksAtStop = callback.blocks;

    EXPECT_NE (callback.lastThread, std::this_thread::get_id());
    EXPECT_EQ (callback.captured[0][100], 0.25f);
    EXPECT_EQ (callback.stops, 1);
    std::this_thread::sleep_for (20ms);
    EXPECT_EQ (callback.blocks, blocksAtStop) << "no block after stop returned";
}

} // namespace brindle::test
