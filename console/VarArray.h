#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** An array value holding the strings, in their order: how the host's messages carry lists of
    names. An empty list gives an empty array, never void.

    Threading: a pure function; message thread (it allocates). */
juce::var toVarArray (const juce::StringArray& strings);

} // namespace brindle
