#pragma once

#include "TemporaryFolder.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

namespace brindle::test
{

/** Set in a child run's environment: its test main leaves the environment as the parent test
    made it. */
constexpr const char* childRunVariable = "BRINDLE_TEST_CHILD_RUN";

/** How a child run of this test binary ended, and everything it printed. */
struct ChildRun
{
    int exitCode = -1;
    juce::String output;
};

/** Runs this test binary again as a child, on the one test `test` (one left out of the normal
    run with DISABLED_ may be named), with `environmentChanges` given to env(1) (the "-u", "NAME"
    pairs first, then "NAME=value"); waits up to two minutes for it. For what a process does only once: GTK
    starts once per process and ends for good, and so does a start of the application. */
inline ChildRun runThisBinary (const juce::String& test, const juce::StringArray& environmentChanges = {})
{
    juce::StringArray command ("env");
    command.addArray (environmentChanges);
    command.add (juce::String (childRunVariable) + "=1");
    command.add (juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName());
    command.add ("--gtest_also_run_disabled_tests");
    command.add ("--gtest_filter=" + test);

    // Its output goes to a file, not a pipe: the web engine's processes would hold a pipe
    // open after the child itself has ended.
    const TemporaryFolder folder;
    const auto log = folder.get().getChildFile ("child.log");
    juce::StringArray shell { "sh", "-c", "exec \"$@\" > \"$0\" 2>&1", log.getFullPathName() };
    shell.addArray (command);

    juce::ChildProcess child;

    if (! child.start (shell, 0))
        return {};

    ChildRun run;
    if (! child.waitForProcessToFinish (120000))
        child.kill();
    run.exitCode = (int) child.getExitCode();
    run.output = log.loadFileAsString();
    return run;
}

/** The child ran its one test, and it passed. */
inline void expectPassed (const ChildRun& run)
{
    EXPECT_EQ (run.exitCode, 0) << run.output;
    EXPECT_TRUE (run.output.contains ("[  PASSED  ] 1 test")) << run.output;
}

} // namespace brindle::test
