#pragma once

#include "StateParseResult.h"

#include <juce_core/juce_core.h>

namespace brindle
{

/** A copy of an object's value for a key, or a void value when the key is missing or holds a
    method. */
juce::var readProperty (const juce::DynamicObject& object, const juce::Identifier& key);

} // namespace brindle
