#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** The name under which the page reaches the host: window.webkit.messageHandlers.<name>. */
constexpr const char* pageBridgeHandlerName = "brindle";

/** The script that every page under the root runs before its own: it defines
    window.__JUCE__.backend with emitEvent (eventId, payload), which posts
    JSON.stringify ({eventId, payload}) to the host, and addEventListener (eventId, fn), whose
    listeners the host's events reach in the order they were added. */
const char* getPageBridgeScript();

/** A script that hands one host event to the page's listeners for `eventId`; `payloadJson` is
    JSON text, which is also a JavaScript expression. A page without listeners for the id, or
    without the bridge, drops it. */
juce::String makeHostEventScript (const juce::String& eventId, const juce::String& payloadJson);

} // namespace brindle
