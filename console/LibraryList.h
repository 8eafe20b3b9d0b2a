#pragma once

#include "app/DuzezavureSettings.h"

#include <juce_core/juce_core.h>

namespace brindle
{

/** The "library" message: {"names": [...]} with the rooms' names in the order the settings
    store sorts them (ignoring case).

    Threading: message thread, like the settings store. */
juce::var makeLibraryList (const DuzezavureSettings& settings);

} // namespace brindle
