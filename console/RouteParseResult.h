#pragma once

#include "engine/AudioRoute.h"

#include <juce_core/juce_core.h>

namespace brindle
{

/** What reading a route message gave: the route (clamped) when `ok`; otherwise the reason,
    and the route as far as it was read before the reading stopped. */
struct RouteParseResult
{
    AudioRoute route;
    bool ok = false;
    juce::String error;
};

} // namespace brindle
