#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** The order of names "ignoring case", the same for every user whatever the process locale
    (the framework's own folding maps only ASCII in the C locale, so "écran" would sort after
    every name that starts with a plain letter).

    Compares code point by code point; where two differ, their upper-case forms decide (so "_"
    sorts after every letter), and a name that is a prefix of another comes first. Names equal
    but for letter case are then ordered by their code points, so the result is the same on
    every run. Negative, zero or positive, as `a` sorts before, with or after `b`.
    Threading: pure; any thread. */
int compareIgnoringCase (const juce::String& a, const juce::String& b) noexcept;

} // namespace brindle
