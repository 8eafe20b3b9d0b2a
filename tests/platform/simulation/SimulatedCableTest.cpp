#include "RecordingCallback.h"
#include "SimulatedRig.h"

#include "MessageLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace brindle::test
{

using namespace std::chrono_literals;
using Config = SimulatedDeviceConfig;

namespace
{
    // Plays into the cable's playback end and records from its capture end.
    struct CableRun
    {
        explicit CableRun (const Config& cable, SimulatedClock::Mode mode = SimulatedClock::Mode::manual)
            : rig (mode)
        {
            rig.system->add (cable);
        }

        SimulatedRig rig;
        RecordingCallback player { rampPlayer() }, recorder;
        std::unique_ptr<juce::AudioIODevice> playbackEnd, captureEnd;   // destroyed before their callbacks

        void startPlayback (int block) { playbackEnd = rig.open ("CABLE Input", "", 48000, block); playbackEnd->start (&player); }
        void startCapture (int block) { captureEnd = rig.open ("", "CABLE Output", 48000, block); captureEnd->start (&recorder); }
    };
}

TEST (SimulatedCable, WhatIsPlayedIntoItComesOutFrameForFrame)
{
    struct Case { int playBlock; int captureBlock; double ppm; };
    const Case cases[] = { { 480, 64, 300 }, { 64, 480, -150 }, { 256, 256, 0 }, { 100, 37, 1500 }, { 2048, 32, 0 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "played in " << c.playBlock << ", captured in " << c.captureBlock << ", " << c.ppm << " ppm");
        CableRun run (Config::cablePair().withClockOffsetPpm (c.ppm));
        run.startPlayback (c.playBlock);
        run.startCapture (c.captureBlock);
        run.rig.system->advance (3s);
        run.captureEnd->stop();
        run.playbackEnd->stop();

        // Both ends started at time 0 on the cable's one clock: capture frame i is the frame
        // played as frame i, with nothing lost, repeated or delayed.
        const auto& left = run.recorder.captured[0];
        const auto& right = run.recorder.captured[1];
        ASSERT_GT (left.size(), 140000u);
        for (size_t i = 0; i < left.size(); ++i)
        {
            ASSERT_EQ (left[i], (float) (i + 1)) << "frame " << i;
            ASSERT_EQ (right[i], -(float) (i + 1)) << "frame " << i;
        }
    }
}

TEST (SimulatedCable, ACaptureStartedLaterHearsTheCableFromThatMoment)
{
    CableRun run (Config::cablePair());
    run.startPlayback (480);
    run.rig.system->advance (1500ms);
    run.startCapture (64);
    run.rig.system->advance (100ms);

    ASSERT_FALSE (run.recorder.captured.empty());
    EXPECT_EQ (run.recorder.captured[0][0], 72001.0f) << "cable frame 72000, at 1.5 s";
    EXPECT_EQ (run.recorder.captured[0][4000], 76001.0f);
}

TEST (SimulatedCable, FramesNobodyPlayedAreSilence)
{
    CableRun run (Config::cablePair());
    run.startCapture (480);
    run.rig.system->advance (500ms);              // nothing plays yet
    run.startPlayback (480);                      // at cable frame 24000
    run.rig.system->advance (500ms);
    run.playbackEnd->stop();                      // after cable frame 48479 was rendered
    run.rig.system->advance (500ms);

    const auto& left = run.recorder.captured[0];
    ASSERT_EQ (left.size(), 72000u);
    EXPECT_EQ (left[23999], 0.0f);
    EXPECT_EQ (left[24000], 1.0f);
    EXPECT_EQ (left[48479], 24480.0f) << "the last block rendered ahead still plays";
    EXPECT_EQ (left[48480], 0.0f);
    EXPECT_EQ (left[71999], 0.0f);

    // Played again after a gap, the cable carries the new stream, not the old one's leftovers.
    run.player.frames = 0;
    run.playbackEnd->start (&run.player);
    run.rig.system->advance (100ms);
    EXPECT_EQ (run.recorder.captured[0][72000], 1.0f);
}

TEST (SimulatedCable, TheComputersOwnSignalPlaysAtTheCablesFrameNumbers)
{
    CableRun run (Config::cablePair().withSignal (sineSignal (1000.0, 0.5f)));
    run.rig.system->advance (1s);                 // the computer plays whether or not anyone listens
    run.startCapture (64);
    run.rig.system->advance (100ms);

    const auto& left = run.recorder.captured[0];
    ASSERT_GE (left.size(), 4800u);
    for (size_t i = 0; i < 4800; ++i)
    {
        const double frame = 48000.0 + (double) i;
        ASSERT_NEAR (left[i], 0.5 * std::sin (2.0 * 3.141592653589793 * 1000.0 * frame / 48000.0), 1e-6) << "frame " << i;
    }

    // Whatever is played into the cable on top of it is mixed in.
    run.startPlayback (128);
    run.rig.system->advance (100ms);
    const auto mixed = run.recorder.captured[0].back();
    const auto total = (double) run.recorder.captured[0].size() + 48000.0 - 1.0;
    EXPECT_NEAR (mixed - 0.5 * std::sin (2.0 * 3.141592653589793 * total / 48.0), (float) (total - 52800.0 + 1.0), 1e-3);
}

TEST (SimulatedCable, InRealTimeItCarriesSamplesBetweenTwoDeviceThreads)
{
    CableRun run (Config::cablePair().withClockOffsetPpm (200), SimulatedClock::Mode::realTime);
    run.startPlayback (256);
    run.startCapture (64);
    EXPECT_TRUE (pumpUntil ([&] { return run.recorder.frames >= 9600; }, 10'000));
    run.captureEnd->stop();
    run.playbackEnd->stop();

    // A stalled playback thread leaves silence; what does arrive is a gapless, ordered ramp.
    const auto& left = run.recorder.captured[0];
    int played = 0;
    float previous = 0.0f;
    for (size_t i = 0; i < left.size(); ++i)
    {
        if (left[i] == 0.0f)
            continue;
        if (previous != 0.0f && left[i - 1] != 0.0f)
        {
            ASSERT_EQ (left[i], previous + 1.0f) << "frame " << i;
        }
        previous = left[i];
        ++played;
        ASSERT_EQ (run.recorder.captured[1][i], -left[i]);
    }
    EXPECT_GT (played, 0);
    EXPECT_NE (run.recorder.lastThread, run.player.lastThread);
}

} // namespace brindle::test
