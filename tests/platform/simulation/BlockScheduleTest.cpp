#include "TestSeed.h"
#include "platform/simulation/BlockSchedule.h"

#include <gtest/gtest.h>

#include <random>

namespace brindle::test
{

using Timing = BlockSchedule::Timing;

TEST (BlockSchedule, FramesFallDueAtTheirExactTimeOnAClockWithAnOffset)
{
    struct Case { double rateHz; double ppm; std::int64_t frame; std::int64_t ns; };
    const Case cases[] = {
        { 48000, 0, 48000, 1'000'000'000 },
        { 48000, 0, 1, 20'833 },                  // 20833.33 rounds down
        { 48000, 0, 2, 41'667 },                  // 41666.67 rounds up
        { 48000, 100, 480'048, 10'000'000'000 },  // 48004.8 frames a second
        { 48000, -100, 479'952, 10'000'000'000 },
        { 44100, 1500, 2'649'969, 60'000'000'000 },
        { 44100, -3000, 158'283'720, 3'600'000'000'000 },   // an hour, still exact
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.rateHz << " Hz " << c.ppm << " ppm frame " << c.frame);
        const BlockSchedule schedule (c.rateHz, c.ppm, 64, Timing::afterCapture);
        EXPECT_EQ (schedule.frameToNs (c.frame), c.ns);
        EXPECT_EQ (schedule.firstFrameAtOrAfter (c.ns), c.frame);
    }
}

TEST (BlockSchedule, TheFirstFrameAtOrAfterATimeIsExactlyThat)
{
    const TestSeed seed;
    std::mt19937_64 random (seed.value);
    std::uniform_int_distribution<std::int64_t> time (0, 7'200'000'000'000);    // two hours

    for (double ppm : { -1500.0, -50.0, 0.0, 0.5, 300.0 })
    {
        const BlockSchedule schedule (44100, ppm, 64, Timing::afterCapture);

        for (int i = 0; i < 2000; ++i)
        {
            const auto t = time (random);
            const auto frame = schedule.firstFrameAtOrAfter (t);
            ASSERT_GE (schedule.frameToNs (frame), t) << ppm << " ppm at " << t;
            ASSERT_LT (schedule.frameToNs (frame - 1), t) << ppm << " ppm at " << t;
        }
    }
}

TEST (BlockSchedule, RenderBlocksRunAtTheirFirstFrameCaptureBlocksAfterTheirLast)
{
    BlockSchedule render (48000, 0, 480, Timing::renderAhead);
    BlockSchedule capture (48000, 0, 480, Timing::afterCapture);

    // Started between two frames: the first block begins on the next whole frame.
    render.start (1'000'010'000);
    capture.start (1'000'010'000);

    EXPECT_EQ (render.blockStartFrame (0), 48'001);
    EXPECT_EQ (capture.blockStartFrame (2), 48'001 + 960);
    EXPECT_EQ (render.dueNs (0), render.frameToNs (48'001));
    EXPECT_EQ (capture.dueNs (0), capture.frameToNs (48'001 + 480));
    EXPECT_EQ (render.dueNs (3) - render.dueNs (2), 10'000'000);
}

} // namespace brindle::test
