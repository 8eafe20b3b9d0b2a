#pragma once

#include "CorrectionState.h"

#include <juce_core/juce_core.h>

namespace brindle
{

/** What reading a state gave: the sanitised state when `ok`, the default state and the reason
    otherwise. */
struct StateParseResult
{
    CorrectionState state;
    bool ok = false;
    juce::String error;
};

} // namespace brindle
