#include "QuitSignals.h"

#include <juce_events/juce_events.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace brindle
{

namespace
{
    volatile sig_atomic_t writeEnd = -1;
    struct sigaction previousTerm {}, previousInt {}, previousHangUp {};

    void signalled (int)
    {
        if (writeEnd >= 0)
        {
            const char byte = 1;
            [[maybe_unused]] const auto written = ::write (writeEnd, &byte, 1);
        }
    }
}

QuitSignals::QuitSignals (std::function<void()> onQuitRequested)
    : onQuit (std::move (onQuitRequested))
{
    if (::pipe2 (pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;

    writeEnd = pipeEnds[1];

    juce::LinuxEventLoop::registerFdCallback (pipeEnds[0], [this] (int fd) {
        char drained[64];
        while (::read (fd, drained, sizeof drained) > 0) {}

        if (onQuit)
            onQuit();
    });

    struct sigaction action {};
    action.sa_handler = signalled;
    sigemptyset (&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction (SIGTERM, &action, &previousTerm);
    ::sigaction (SIGINT, &action, &previousInt);
    ::sigaction (SIGHUP, &action, &previousHangUp);
}

QuitSignals::~QuitSignals()
{
    if (pipeEnds[0] < 0)
        return;

    ::sigaction (SIGTERM, &previousTerm, nullptr);
    ::sigaction (SIGINT, &previousInt, nullptr);
    ::sigaction (SIGHUP, &previousHangUp, nullptr);
    writeEnd = -1;

    juce::LinuxEventLoop::unregisterFdCallback (pipeEnds[0]);
    ::close (pipeEnds[0]);
    ::close (pipeEnds[1]);
}

} // namespace brindle
