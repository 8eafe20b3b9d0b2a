#pragma once

#include <juce_core/juce_core.h>

#include <functional>

namespace brindle
{

/** Keeps the program to one running instance per user, and lets a second start hand its
    command line to the running one.

    Threading: acquire() and handOver() on the message thread; onAnotherInstance is called on
    the message thread. */
class SingleInstance
{
public:
    virtual ~SingleInstance() = default;

    /** [message thread] True when this process is now the running instance; false when
        another one holds the place. */
    virtual bool acquire() = 0;

    /** [message thread] From a start that did not acquire: hands the command line to the
        running instance. True when it was delivered. */
    virtual bool handOver (const juce::String& commandLine) = 0;

    /** Set by the running instance: called on the message thread with each later start's
        command line. */
    std::function<void (const juce::String& commandLine)> onAnotherInstance;
};

} // namespace brindle
