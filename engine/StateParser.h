#pragma once

#include "StateParseResult.h"

#include <juce_core/juce_core.h>

/** Reading a correction state from JSON. `CorrectionState::fromJson` and `fromVar` are
    declared with the state in CorrectionState.h and defined in StateParser.cpp; this header
    adds the member lookup they read the state's keys with. */

namespace brindle
{

/** A copy of an object's value for a key, or a void value when the key is missing or holds a
    method. */
juce::var readProperty (const juce::DynamicObject& object, const juce::Identifier& key);

} // namespace brindle
