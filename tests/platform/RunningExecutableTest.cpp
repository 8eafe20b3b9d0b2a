#include "platform/RunningExecutable.h"

#include <gtest/gtest.h>

namespace brindle::test
{

// CTest also runs this started by name through $PATH from another folder, the start that
// the framework's own answer gets wrong.
TEST (RunningExecutable, NamesTheProgramsOwnFileHoweverItWasStarted)
{
    const auto executable = runningExecutable();
    EXPECT_TRUE (juce::File::isAbsolutePath (executable.getFullPathName()));
    EXPECT_TRUE (executable.existsAsFile()) << executable.getFullPathName();
    EXPECT_EQ (executable.getFileName(), "platform_tests");
}

} // namespace brindle::test
