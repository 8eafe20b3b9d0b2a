#include "MessageLoop.h"
#include "TemporaryFolder.h"

#include "platform/UserSocketSingleInstance.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace brindle::test
{

TEST (UserSocketSingleInstance, ASecondStartHandsItsCommandLineToTheFirst)
{
    TemporaryFolder home;
    const auto folder = home.get().getChildFile ("instance");

    UserSocketSingleInstance first (folder);
    ASSERT_TRUE (first.acquire());

    juce::StringArray heard;
    bool onMessageThread = false;
    first.onAnotherInstance = [&] (const juce::String& commandLine) {
        heard.add (commandLine);
        onMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
    };

    UserSocketSingleInstance second (folder);
    EXPECT_FALSE (second.acquire()) << "the first one holds the lock";
    EXPECT_TRUE (second.handOver (juce::String::fromUTF8 ("--open \xc3\xa9t\xc3\xa9")));

    EXPECT_TRUE (pumpUntil ([&] { return heard.size() == 1; }));
    EXPECT_EQ (heard[0], juce::String::fromUTF8 ("--open \xc3\xa9t\xc3\xa9"));
    EXPECT_TRUE (onMessageThread);

    struct stat info {};
    ASSERT_EQ (::stat (folder.getFullPathName().toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 0777, 0700u) << "only this user can reach the lock and the socket";
}

TEST (UserSocketSingleInstance, TheLockGoesWithTheInstance)
{
    TemporaryFolder home;
    const auto folder = home.get().getChildFile ("instance");

    {
        UserSocketSingleInstance first (folder);
        ASSERT_TRUE (first.acquire());
    }

    UserSocketSingleInstance next (folder);
    EXPECT_TRUE (next.acquire()) << "a start after the first ended runs";

    UserSocketSingleInstance late (folder);
    EXPECT_FALSE (late.acquire());
}

TEST (UserSocketSingleInstance, HandingOverWithNobodyListeningFails)
{
    TemporaryFolder home;
    UserSocketSingleInstance lonely (home.get().getChildFile ("instance"));
    EXPECT_FALSE (lonely.handOver ("x"));
}

} // namespace brindle::test
