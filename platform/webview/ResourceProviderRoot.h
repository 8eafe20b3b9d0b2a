#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** The address under which the web view serves what its resource provider gives:
    "duzezavure://console/". A scheme of our own, so that nothing from the network or the disk
    can ever stand at these addresses.

    Threading: pure functions; any thread. */
juce::String getResourceProviderRoot();

/** The root's scheme: "duzezavure". */
juce::String getResourceProviderScheme();

/** True when `uri` (as the web engine normalised it) lies under the root: the root itself or
    anything after its last "/". Another host under our scheme ("duzezavure://consoles/") is
    not under it. */
bool isUnderResourceProviderRoot (const juce::String& uri);

/** What the resource provider is given for an address under the root: its path with the
    query, from the "/" that ends the root on ("duzezavure://console/app.css?v=2" gives
    "/app.css?v=2"); a fragment is cut off. Empty for an address not under the root. */
juce::String getResourceRequestPath (const juce::String& uri);

} // namespace brindle
