#pragma once

#include <juce_core/juce_core.h>

#include <sys/types.h>

#include <memory>

namespace brindle
{

/** One run of the web view's helper executable, a child of this process only: its channel (a
    socket, the helper's descriptor 3) and its standard error (a pipe) are ours, and it gets
    SIGKILL from the kernel when the thread that started it ends, so that a killed application
    leaves no helper behind (the helper also ends when its channel closes).

    Threading: one thread; start it on a thread that lasts as long as the helper (the message
    thread), since the parent-death signal follows the starting thread. */
class WebViewHelperProcess
{
public:
    /** Starts `executable`. Null, with `problem` saying why, when no process could be made;
        a file that cannot be run still gives a process, which ends at once with status 127
        and says why on its standard error. */
    static std::unique_ptr<WebViewHelperProcess> start (const juce::File& executable, juce::String& problem);

    /** Ends the helper with SIGKILL if it still runs, and reaps it. */
    ~WebViewHelperProcess();

    pid_t getProcessId() const noexcept      { return pid; }

    /** Our end of the channel, non-blocking. */
    int getChannel() const noexcept          { return channel; }

    /** The read end of the helper's standard error, non-blocking. */
    int getErrorOutput() const noexcept      { return errorOutput; }

    /** Whether the helper has ended (reaping it if so). */
    bool hasEnded();

    /** Sends SIGKILL, unless it has ended. */
    void kill();

    /** Sends SIGKILL and waits for the end (a killed process ends at once). */
    void killAndReap();

    /** How it ended, for a person to read ("exited with status 3", "was killed by signal 9
        (Killed)"); empty while it runs. */
    juce::String describeEnd() const;

private:
    WebViewHelperProcess (pid_t pid, int channel, int errorOutput);

    pid_t pid;
    int channel;
    int errorOutput;
    bool ended = false;
    int status = 0;

    JUCE_DECLARE_NON_COPYABLE (WebViewHelperProcess)
};

} // namespace brindle
