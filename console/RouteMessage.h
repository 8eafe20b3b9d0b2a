#pragma once

#include "RouteParseResult.h"

#include <juce_core/juce_core.h>

namespace brindle
{

/** Reads the page's "route" message, an object with the six route keys, into a route the
    router may open: texts as given (a number or a boolean in its text form; a missing key,
    null, an object or an array is empty), the numbers clamped to the route limits (RouteClamp.h). A number that is missing or
    not finite takes the route default; one that is present but unusable (null, false, a text
    that does not begin with a number) reads as 0 and so rises to the lower bound.

    Rejected, with the route left unapplied: a payload that is not an object ("route is not an
    object") and one without an output device ("no output device"). Device names are not
    checked here; opening a name that does not exist fails in the router.

    Threading: pure functions; any thread. */
RouteParseResult parseRoute (const juce::var& payload);

/** The value under `key` as the framework converts it to a double (a text gives the number it
    begins with after white space, 0 without one; true 1; null, an object or an array 0), or
    `fallback` when the key is missing, holds a method, or the value is infinite or NaN. */
double readFiniteNumber (const juce::DynamicObject& route, const juce::Identifier& key, double fallback);

} // namespace brindle
