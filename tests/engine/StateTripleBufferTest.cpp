#include "StateBits.h"

#include "engine/StateTripleBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <thread>

namespace brindle::test
{

namespace
{
    CorrectionState stateNumbered (int n)
    {
        CorrectionState state;
        state.bandCount = n % 25;
        state.correctionPct = n;
        return state;
    }

    bool rolesAreDistinct (std::uint8_t index)
    {
        const std::set<int> roles { index & 0x03, (index >> 2) & 0x03, (index >> 4) & 0x03 };
        return roles == std::set<int> { 0, 1, 2 } && (index & 0x80) == 0;
    }
}

TEST (StateTripleBuffer, ANewBufferHasNothingToTake)
{
    StateTripleBuffer buffer;
    EXPECT_EQ (buffer.indexBits(), 36);

    auto out = stateNumbered (7);
    EXPECT_FALSE (buffer.takeLatest (out));
    EXPECT_TRUE (sameState (out, stateNumbered (7))) << "left unchanged";
}

TEST (StateTripleBuffer, OnePublishThenATakeMovesTheRolesAsDocumented)
{
    StateTripleBuffer buffer;

    buffer.publish (stateNumbered (1));
    EXPECT_EQ (buffer.indexBits(), 97); // back 1, middle 0, front 2, fresh

    CorrectionState out;
    EXPECT_TRUE (buffer.takeLatest (out));
    EXPECT_EQ (buffer.indexBits(), 9); // back 1, middle 2, front 0
    EXPECT_TRUE (sameState (out, stateNumbered (1)));
}

TEST (StateTripleBuffer, OnlyTheNewestOfSeveralPublishesIsTaken)
{
    StateTripleBuffer buffer;

    buffer.publish (stateNumbered (1));
    buffer.publish (stateNumbered (2));
    EXPECT_EQ (buffer.indexBits(), 100); // back 0, middle 1, front 2, fresh

    CorrectionState out;
    EXPECT_TRUE (buffer.takeLatest (out));
    EXPECT_EQ (buffer.indexBits(), 24);
    EXPECT_TRUE (sameState (out, stateNumbered (2)));

    auto again = stateNumbered (9);
    EXPECT_FALSE (buffer.takeLatest (again));
    EXPECT_TRUE (sameState (again, stateNumbered (9)));
}

TEST (StateTripleBuffer, RolesStayDistinctOverAnySequence)
{
    const unsigned seed = 7;
    std::mt19937 random (seed);
    StateTripleBuffer buffer;
    int lastPublished = -1, lastTaken = -1;

    for (int step = 0; step < 10000; ++step)
    {
        if (random() % 2 == 0)
        {
            buffer.publish (stateNumbered (step));
            lastPublished = step;
        }
        else
        {
            CorrectionState out;
            const bool fresh = lastPublished != lastTaken;
            ASSERT_EQ (buffer.takeLatest (out), fresh) << "step " << step << ", seed " << seed;

            if (fresh)
            {
                ASSERT_EQ (out.correctionPct, lastPublished) << "step " << step;
                lastTaken = lastPublished;
            }
        }

        ASSERT_TRUE (rolesAreDistinct (buffer.indexBits())) << "step " << step << ", index " << (int) buffer.indexBits();
    }
}

// Every published state carries its sequence number in every field, so a state copied while
// it was being written shows up as fields that disagree.
TEST (StateTripleBuffer, TwoThreadsNeverSeeATornOrOlderState)
{
    constexpr int publishes = 200000;

    auto numbered = [] (int n) {
        CorrectionState state;
        const double v = n;
        state.bandCount = n;
        state.correctionPct = state.delayLeftMs = state.delayRightMs = state.outputDb = v;
        state.phaseMode = static_cast<PhaseMode> (n);
        state.firQuality = static_cast<FirQuality> (n);
        for (auto& band : state.bands)
        {
            band.freqHz = band.gainDb = band.q = v;
            band.type = static_cast<BandType> (n);
        }
        return state;
    };

    auto consistent = [] (const CorrectionState& s) {
        const int n = s.bandCount;
        if (s.correctionPct != n || s.delayLeftMs != n || s.delayRightMs != n || s.outputDb != n
            || static_cast<int> (s.phaseMode) != n || static_cast<int> (s.firQuality) != n)
            return false;
        for (const auto& band : s.bands)
            if (band.freqHz != n || band.gainDb != n || band.q != n || static_cast<int> (band.type) != n)
                return false;
        return true;
    };

    StateTripleBuffer buffer;
    std::atomic<bool> writerDone { false }, readerHasTaken { false };

    // Half way the writer waits for the reader's first take, so the two surely overlap even on
    // a loaded machine where the writer could otherwise finish before the reader starts.
    std::thread writer ([&] {
        for (int n = 1; n <= publishes; ++n)
        {
            buffer.publish (numbered (n));
            if (n == publishes / 2)
                while (! readerHasTaken.load())
                    std::this_thread::yield();
        }
        writerDone = true;
    });

    int last = 0, takes = 0, torn = 0, backwards = 0;
    CorrectionState out;

    auto take = [&] {
        if (! buffer.takeLatest (out))
            return;
        ++takes;
        readerHasTaken = true;
        if (! consistent (out))
            ++torn;
        else if (out.bandCount <= last)
            ++backwards;
        last = out.bandCount;
    };

    // Once the writer is seen to be done, one more take must find the final state unless it
    // was taken already.
    for (bool finished = false; ! finished;)
    {
        finished = writerDone.load();
        take();
    }

    writer.join();

    EXPECT_EQ (torn, 0);
    EXPECT_EQ (backwards, 0);
    EXPECT_EQ (last, publishes) << "the final state is always delivered";
    EXPECT_GT (takes, 1);
}

} // namespace brindle::test
