#include "MessageLoop.h"
#include "TemporaryFolder.h"

#include "platform/UserSocketSingleInstance.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

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

TEST (UserSocketSingleInstance, TheNextInstanceHearsLaterStartsWhateverTheLastOneLeft)
{
    // The last instance quit, which removes its socket, or was killed, which leaves it.
    for (const bool killed : { false, true })
    {
        SCOPED_TRACE (killed ? "after a kill" : "after a quit");
        TemporaryFolder home;
        const auto folder = home.get().getChildFile ("instance");
        const auto socketPath = folder.getChildFile ("socket").getFullPathName().toStdString();
        struct stat info {};

        {
            UserSocketSingleInstance last (folder);
            ASSERT_TRUE (last.acquire());
            ASSERT_EQ (::lstat (socketPath.c_str(), &info), 0);
        }

        EXPECT_NE (::lstat (socketPath.c_str(), &info), 0) << "a quit removes its socket";

        if (killed)
        {
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            std::memcpy (address.sun_path, socketPath.c_str(), socketPath.size());
            const int left = ::socket (AF_UNIX, SOCK_STREAM, 0);
            ASSERT_EQ (::bind (left, reinterpret_cast<sockaddr*> (&address), sizeof address), 0);
            ::close (left);   // the socket file stays, as after a kill
        }

        UserSocketSingleInstance next (folder);
        ASSERT_TRUE (next.acquire());
        int heard = 0;
        next.onAnotherInstance = [&] (const juce::String&) { ++heard; };

        UserSocketSingleInstance later (folder);
        EXPECT_FALSE (later.acquire());
        EXPECT_TRUE (later.handOver ("raise")) << "the next instance listens";
        EXPECT_TRUE (pumpUntil ([&] { return heard == 1; }));
    }
}

TEST (UserSocketSingleInstance, HandingOverWithNobodyListeningFails)
{
    TemporaryFolder home;
    UserSocketSingleInstance lonely (home.get().getChildFile ("instance"));
    EXPECT_FALSE (lonely.handOver ("x"));
}

} // namespace brindle::test
