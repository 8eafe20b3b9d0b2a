#include "MessageLoop.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (MessageLoop, PumpingDeliversPostedMessagesInOrder)
{
    std::vector<int> delivered;

    juce::MessageManager::callAsync ([&] { delivered.push_back (1); });
    juce::MessageManager::callAsync ([&] { delivered.push_back (2); });

    EXPECT_TRUE (pumpUntil ([&] { return delivered.size() == 2; }));
    EXPECT_EQ (delivered, (std::vector<int> { 1, 2 }));
}

TEST (MessageLoop, PumpUntilGivesUpAfterItsTimeout)
{
    const auto started = juce::Time::getMillisecondCounter();

    EXPECT_FALSE (pumpUntil ([] { return false; }, 60));

    const auto elapsed = juce::Time::getMillisecondCounter() - started;
    EXPECT_GE (elapsed, 60u);
    EXPECT_LT (elapsed, 20000u) << "it gave up";
}

TEST (MessageLoop, TimersFireWhileTheLoopIsPumped)
{
    struct CountingTimer final : juce::Timer
    {
        int ticks = 0;
        void timerCallback() override { ++ticks; }
    } timer;

    timer.startTimer (10);
    EXPECT_TRUE (pumpUntil ([&] { return timer.ticks >= 3; }));
    timer.stopTimer();
}

} // namespace brindle::test
