#include "engine/TimedQueueFill.h"

#include "engine/AudioFifo.h"

#include <gtest/gtest.h>

namespace brindle::test
{

namespace
{
    constexpr double rateHz = 48000.0;
    constexpr int block = 512;
    constexpr std::int64_t nsPerFrame = 20833;     // 1 / 48000 s, to within 0.002 %

    // A queue holding `frames` frames.
    struct Queue : AudioFifo
    {
        explicit Queue (int frames)
        {
            prepare (4096);
            writeSilence (frames);
        }
    };

    struct Timed : TimedQueueFill
    {
        Timed() { reset (rateHz, block); }

        void inputBlock (std::int64_t timeNs)
        {
            beginInputBlock();
            endInputBlock (timeNs, block);
        }
    };
}

TEST (TimedQueueFill, BeforeTheFirstInputBlockTheInputCountsFromTheFirstOutputBlock)
{
    Queue queue (2000);
    Timed timed;

    const auto first = timed.measure (queue, 1'000'000);
    EXPECT_EQ (first.queuedFrames, 2000);
    EXPECT_DOUBLE_EQ (first.timedFrames, 2000 - block / 2) << "the prefill's half block is taken off";

    EXPECT_NEAR (timed.measure (queue, 1'000'000 + 256 * nsPerFrame).timedFrames, 2000, 0.1);
    EXPECT_DOUBLE_EQ (timed.measure (queue, 1'000'000'000).timedFrames, 2000 + block / 2) << "at most a block in flight";
}

TEST (TimedQueueFill, CountsTheFramesCapturedSinceTheLastInputBlock)
{
    struct Case { const char* what; std::int64_t outputAfterInputNs; double timedFrames; };
    const Case cases[] = {
        { "at the input block", 0, 1000 - 256 },
        { "a quarter block later", 128 * nsPerFrame, 1000 - 128 },
        { "three quarters later", 384 * nsPerFrame, 1000 + 128 },
        { "a block and more later: one block", 3 * block * nsPerFrame, 1000 + 256 },
        { "stamped before the input block", -128 * nsPerFrame, 1000 - 384 },
        { "long before: one block less", -3 * block * nsPerFrame, 1000 - 768 },
    };

    for (const auto& c : cases)
    {
        Queue queue (1000);
        Timed timed;
        timed.measure (queue, 0);
        timed.inputBlock (5'000'000);

        const auto seen = timed.measure (queue, 5'000'000 + c.outputAfterInputNs);
        EXPECT_EQ (seen.queuedFrames, 1000) << c.what;
        EXPECT_NEAR (seen.timedFrames, c.timedFrames, 0.1) << c.what;
    }
}

TEST (TimedQueueFill, WhileABlockIsBeingWrittenTheBareFillStandsIn)
{
    Queue queue (1000);
    Timed timed;
    timed.inputBlock (0);

    timed.beginInputBlock();
    EXPECT_DOUBLE_EQ (timed.measure (queue, 200 * nsPerFrame).timedFrames, 1000);

    timed.endInputBlock (300 * nsPerFrame, block);
    EXPECT_NEAR (timed.measure (queue, 300 * nsPerFrame).timedFrames, 1000 - 256, 0.1);
}

TEST (TimedQueueFill, ResetForgetsTheStamps)
{
    Queue queue (1000);
    Timed timed;
    timed.measure (queue, 0);
    timed.inputBlock (0);

    timed.reset (rateHz, 256);
    EXPECT_DOUBLE_EQ (timed.measure (queue, 7'000'000'000).timedFrames, 1000 - 128)
        << "a first output block again, with the new block length";
}

} // namespace brindle::test
