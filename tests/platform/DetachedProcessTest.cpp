#include "platform/DetachedProcess.h"

#include "FakePrograms.h"
#include "ScopedEnvironmentVariable.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace brindle::test
{

TEST (DetachedProcess, StartsAProgramFromThePathWithItsArgumentsUntouched)
{
    FakePrograms programs;
    programs.add ("fake-tool");
    ScopedEnvironmentVariable path ("PATH", programs.bin().getFullPathName().toRawUTF8());

    // Would a shell see these, it would expand, split and run them.
    EXPECT_TRUE (startDetachedProcess ({ "fake-tool", "two words", "$HOME", "; touch /tmp/x", "'\"", "*" }));
    EXPECT_EQ (programs.waitForRecord ("fake-tool"), "two words\n$HOME\n; touch /tmp/x\n'\"\n*\nend\n");

    programs.record ("fake-tool").deleteFile();
    EXPECT_TRUE (startDetachedProcess ({ programs.bin().getChildFile ("fake-tool").getFullPathName(), "by path" }));
    EXPECT_EQ (programs.waitForRecord ("fake-tool"), "by path\nend\n") << "a path is taken as it is";
}

TEST (DetachedProcess, TheProgramInheritsNoDescriptorAndLeavesNoZombie)
{
    FakePrograms programs;
    programs.add ("fake-tool");
    ScopedEnvironmentVariable path ("PATH", programs.bin().getFullPathName().toRawUTF8());

    // An open descriptor without close-on-exec, as a lock file or a listening socket may be.
    const auto held = open ("/dev/null", O_RDONLY);
    ASSERT_GE (held, 0);
    ASSERT_EQ (dup2 (held, 77), 77);

    EXPECT_TRUE (startDetachedProcess ({ "fake-tool" }));
    EXPECT_EQ (programs.waitForRecord ("fake-tool"), "end\n");

    close (77);
    close (held);

    errno = 0;
    EXPECT_EQ (waitpid (-1, nullptr, WNOHANG), -1) << "a child of ours is left to be waited for";
    EXPECT_EQ (errno, ECHILD);
}

TEST (DetachedProcess, AProgramThatDoesNotStartIsReportedAsSuch)
{
    FakePrograms programs;
    programs.addBroken ("broken-tool");
    ScopedEnvironmentVariable path ("PATH", programs.bin().getFullPathName().toRawUTF8());

    EXPECT_FALSE (startDetachedProcess ({ "missing-tool" }));
    EXPECT_FALSE (startDetachedProcess ({ "broken-tool" })) << "found, but the kernel refuses it";
    EXPECT_FALSE (startDetachedProcess ({ programs.bin().getChildFile ("missing").getFullPathName() }));
    EXPECT_FALSE (startDetachedProcess ({ programs.bin().getFullPathName() })) << "a folder";
    EXPECT_FALSE (startDetachedProcess ({}));
}

} // namespace brindle::test
