#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** Whether this process can show windows: the X display that the framework will connect to
    (the one DISPLAY names, else ":0.0", as the framework does) accepts a connection. Empty text
    when it does; otherwise why not, for a person to read. The connection is closed again at
    once and nothing is written, so a start can ask before it touches anything of the user's.

    Threading: the message thread, before the framework opens its own connection. */
juce::String findDisplayProblem();

} // namespace brindle
