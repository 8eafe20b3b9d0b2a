#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** Starts a program on its own, without a shell: the first argument is looked up on $PATH
    (or taken as a path when it holds a slash) and executed with the others as its arguments,
    so no character in them is interpreted. The program runs detached in a session of its own,
    outlives this process, is never waited for (it leaves no zombie behind) and inherits no
    open file of ours besides standard input, output and error (no lock, socket or device).

    The result says whether the program really started: it is true only once the program's
    executable replaced the child, and false when it was not found, could not be executed, or
    the process could not be created.

    Threading: any thread; blocks only until the new program has been executed. */
bool startDetachedProcess (const juce::StringArray& arguments);

} // namespace brindle
