#include "TestSeed.h"
#include "engine/AudioFifo.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <thread>
#include <vector>

namespace brindle::test
{

namespace
{
    // Left carries n, right -n, for the nth frame of a stream, so order and channel mix-ups
    // both show.
    struct Frames
    {
        std::vector<float> left, right;

        static Frames counting (int first, int count)
        {
            Frames frames;
            for (int i = 0; i < count; ++i)
            {
                frames.left.push_back ((float) (first + i));
                frames.right.push_back ((float) -(first + i));
            }
            return frames;
        }

        static Frames empty (int count)
        {
            return { std::vector<float> ((size_t) count, 99.0f), std::vector<float> ((size_t) count, 99.0f) };
        }
    };

    int write (AudioFifo& fifo, const Frames& frames)
    {
        return fifo.write (frames.left.data(), frames.right.data(), (int) frames.left.size());
    }

    int read (AudioFifo& fifo, Frames& into)
    {
        float* destinations[] = { into.left.data(), into.right.data() };
        return fifo.read (destinations, (int) into.left.size());
    }

    struct PreparedFifo : AudioFifo
    {
        explicit PreparedFifo (int capacity) { prepare (capacity); }
    };
}

TEST (AudioFifo, WithoutStorageNothingMoves)
{
    AudioFifo fifo;
    auto frames = Frames::counting (0, 4);

    EXPECT_EQ (fifo.getCapacity(), 0);
    EXPECT_EQ (fifo.getNumChannels(), 2);
    EXPECT_EQ (write (fifo, frames), 0);
    EXPECT_EQ (fifo.writeSilence (4), 0);
    EXPECT_EQ (read (fifo, frames), 0);
    EXPECT_EQ (fifo.getFill(), 0);
    EXPECT_EQ (fifo.getFreeSpace(), 0);
}

TEST (AudioFifo, AFullQueueHoldsOneFrameLessThanItsCapacity)
{
    for (int capacity : { 1, 2, 3, 7, 64 })
    {
        SCOPED_TRACE (capacity);
        PreparedFifo fifo (capacity);
        const int holds = capacity - 1;

        EXPECT_EQ (fifo.getFreeSpace(), holds);
        EXPECT_EQ (write (fifo, Frames::counting (0, capacity + 5)), holds) << "takes only what fits";
        EXPECT_EQ (fifo.getFill(), holds);
        EXPECT_EQ (fifo.getFreeSpace(), 0);
        EXPECT_EQ (write (fifo, Frames::counting (100, 1)), 0) << "a full queue takes nothing";
        EXPECT_EQ (fifo.writeSilence (1), 0);

        auto out = Frames::empty (capacity + 5);
        EXPECT_EQ (read (fifo, out), holds) << "gives only what it holds";
        for (int i = 0; i < holds; ++i)
        {
            EXPECT_EQ (out.left[(size_t) i], (float) i);
            EXPECT_EQ (out.right[(size_t) i], (float) -i);
        }
        EXPECT_EQ (out.left[(size_t) holds], 99.0f) << "frames beyond the fill are not touched";
        EXPECT_EQ (fifo.getFill(), 0);
        EXPECT_EQ (fifo.getWritePosition(), fifo.getReadPosition()) << "equal positions mean empty";
    }
}

TEST (AudioFifo, RandomWritesAndReadsWrapTheRingWithoutLosingOrder)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);

    for (int capacity : { 2, 5, 17, 256 })
    {
        SCOPED_TRACE (capacity);
        PreparedFifo fifo (capacity);
        std::deque<float> model;
        std::uniform_int_distribution<int> size (0, capacity + 2);
        int written = 0;

        for (int step = 0; step < 2000; ++step)
        {
            const int asked = size (random);
            const auto frames = Frames::counting (written, asked);
            const int expected = std::min (asked, capacity - 1 - (int) model.size());

            ASSERT_EQ (write (fifo, frames), expected);
            for (int i = 0; i < expected; ++i)
                model.push_back ((float) (written + i));
            written += expected;

            auto out = Frames::empty (size (random));
            const int got = read (fifo, out);
            ASSERT_EQ (got, std::min ((int) out.left.size(), (int) model.size()));

            for (int i = 0; i < got; ++i)
            {
                ASSERT_EQ (out.left[(size_t) i], model.front());
                ASSERT_EQ (out.right[(size_t) i], -model.front());
                model.pop_front();
            }

            ASSERT_EQ (fifo.getFill(), (int) model.size());
            ASSERT_GE (fifo.getWritePosition(), 0);
            ASSERT_LT (fifo.getWritePosition(), capacity);
            ASSERT_GE (fifo.getReadPosition(), 0);
            ASSERT_LT (fifo.getReadPosition(), capacity);
        }
    }
}

TEST (AudioFifo, SilenceFillsOnlyTheFreeSpace)
{
    PreparedFifo fifo (10);
    ASSERT_EQ (write (fifo, Frames::counting (1, 4)), 4);

    EXPECT_EQ (fifo.writeSilence (100), 5);
    EXPECT_EQ (fifo.getFill(), 9);

    auto out = Frames::empty (9);
    ASSERT_EQ (read (fifo, out), 9);
    EXPECT_EQ (out.left, (std::vector<float> { 1, 2, 3, 4, 0, 0, 0, 0, 0 }));
    EXPECT_EQ (out.right, (std::vector<float> { -1, -2, -3, -4, 0, 0, 0, 0, 0 }));
}

TEST (AudioFifo, ANullSourceIsSilenceAndANullDestinationDropsItsChannel)
{
    PreparedFifo fifo (8);
    const auto frames = Frames::counting (1, 3);

    ASSERT_EQ (fifo.write (frames.left.data(), nullptr, 3), 3);

    auto out = Frames::empty (3);
    float* onlyRight[] = { nullptr, out.right.data() };
    ASSERT_EQ (fifo.read (onlyRight, 3), 3);
    EXPECT_EQ (out.right, (std::vector<float> { 0, 0, 0 }));
    EXPECT_EQ (out.left, (std::vector<float> { 99, 99, 99 }));
    EXPECT_EQ (fifo.getFill(), 0) << "the dropped channel's frames were consumed too";
}

TEST (AudioFifo, PrepareAndResetEmptyTheQueue)
{
    PreparedFifo fifo (6);
    write (fifo, Frames::counting (1, 5));
    auto out = Frames::empty (2);
    read (fifo, out);
    ASSERT_EQ (fifo.getFill(), 3);

    fifo.reset();
    EXPECT_EQ (fifo.getFill(), 0);
    EXPECT_EQ (fifo.getWritePosition(), 0);
    EXPECT_EQ (fifo.getReadPosition(), 0);

    fifo.prepare (3);
    EXPECT_EQ (fifo.getCapacity(), 3);
    EXPECT_EQ (fifo.getFreeSpace(), 2);

    fifo.prepare (-4);
    EXPECT_EQ (fifo.getCapacity(), 0);
    EXPECT_EQ (fifo.writeSilence (1), 0);
}

TEST (AudioFifo, AProducerAndAConsumerOnTwoThreadsSeeEveryFrameOnceInOrder)
{
    const TestSeed seed;

    constexpr int totalFrames = 400000;
    PreparedFifo fifo (97);
    std::vector<float> received;
    received.reserve (totalFrames);

    std::thread producer ([&]
    {
        std::mt19937 random (seed.value);
        std::uniform_int_distribution<int> size (1, 40);
        int written = 0;

        while (written < totalFrames)
        {
            const auto frames = Frames::counting (written, std::min (size (random), totalFrames - written));
            written += write (fifo, frames);
        }
    });

    std::mt19937 random (seed.value + 1);
    std::uniform_int_distribution<int> size (1, 40);
    int framesOutOfStep = 0;

    while ((int) received.size() < totalFrames)
    {
        auto out = Frames::empty (size (random));
        const int got = read (fifo, out);

        for (int i = 0; i < got; ++i)
        {
            framesOutOfStep += out.right[(size_t) i] != -out.left[(size_t) i] ? 1 : 0;
            received.push_back (out.left[(size_t) i]);
        }
    }

    producer.join();

    EXPECT_EQ (framesOutOfStep, 0) << "left and right arrived together";

    for (int i = 0; i < totalFrames; ++i)
        ASSERT_EQ (received[(size_t) i], (float) i) << "frame " << i;
}

} // namespace brindle::test
