#include "MessageLoop.h"

#include "platform/QuitSignals.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <signal.h>

namespace brindle::test
{

TEST (QuitSignals, TerminationInterruptAndHangUpArriveOnTheMessageThread)
{
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP })
    {
        int requests = 0;
        bool onMessageThread = false;
        QuitSignals signals ([&] {
            ++requests;
            onMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
        });

        ::raise (signalNumber);
        EXPECT_TRUE (pumpUntil ([&] { return requests > 0; })) << signalNumber;
        EXPECT_TRUE (onMessageThread);
        EXPECT_EQ (requests, 1);
    }
}

} // namespace brindle::test
