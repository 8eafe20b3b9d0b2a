#include "DisplayProbe.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace brindle
{

namespace
{
    constexpr int attempts = 3;
    constexpr int pauseMs = 100;
}

juce::String findDisplayProblem()
{
    const auto* named = std::getenv ("DISPLAY");
    const bool isSet = named != nullptr && *named != 0;
    const auto name = isSet ? juce::String::fromUTF8 (named) : juce::String (":0.0");

    // Xlib wants this before any other call of a process that uses it from several threads;
    // the framework calls it later and finds it done.
    XInitThreads();

    // A server refuses connections for a moment while it resets, as it does when its last
    // client has left: a start just then is not one without a display.
    for (int attempt = 0; attempt < attempts; ++attempt)
    {
        if (attempt > 0)
            juce::Thread::sleep (pauseMs);

        if (auto* display = XOpenDisplay (name.toRawUTF8()))
        {
            XCloseDisplay (display);
            return {};
        }
    }

    return "cannot connect to the X display \"" + name + "\"" + (isSet ? "" : " (DISPLAY is not set)");
}

} // namespace brindle
