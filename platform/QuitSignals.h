#pragma once

#include <functional>

namespace brindle
{

/** Turns the operating system's requests to end the program (SIGTERM; SIGINT from a
    terminal, and SIGHUP when that terminal closes) into one call on the message thread, so
    that shut-down runs in its order and the settings are saved.

    The handlers only write a byte to a pipe; the message loop watches the pipe and calls
    `onQuitRequested` there. One object at a time; the previous handlers come back when it goes.

    Threading: construct and destroy on the message thread, after the message loop exists. */
class QuitSignals
{
public:
    explicit QuitSignals (std::function<void()> onQuitRequested);
    ~QuitSignals();

    QuitSignals (const QuitSignals&) = delete;
    QuitSignals& operator= (const QuitSignals&) = delete;

private:
    std::function<void()> onQuit;
    int pipeEnds[2] = { -1, -1 };
};

} // namespace brindle
