#include "PageBridgeScript.h"

#include "common/JsonWriter.h"

namespace brindle
{

const char* getPageBridgeScript()
{
    return R"js((function () {
    'use strict';
    if (window.__JUCE__ !== undefined)
        return;

    var channel = window.webkit.messageHandlers.brindle;
    var listeners = new Map();

    var backend = {
        emitEvent: function (eventId, payload) {
            channel.postMessage (JSON.stringify ({ eventId: eventId, payload: payload }));
        },
        addEventListener: function (eventId, listener) {
            if (! listeners.has (eventId))
                listeners.set (eventId, []);
            listeners.get (eventId).push (listener);
        }
    };

    // The host's way in; not enumerable, so the page's own code does not stumble on it.
    Object.defineProperty (backend, '__hostEvent', {
        value: function (eventId, payload) {
            var list = listeners.get (eventId);
            if (list === undefined)
                return;
            list.slice().forEach (function (listener) {
                try {
                    listener (payload);
                } catch (error) {
                    console.error (error);
                }
            });
        }
    });

    Object.defineProperty (window, '__JUCE__', { value: Object.freeze ({ backend: Object.freeze (backend) }) });
})();
)js";
}

juce::String makeHostEventScript (const juce::String& eventId, const juce::String& payloadJson)
{
    return "window.__JUCE__ !== undefined && window.__JUCE__.backend.__hostEvent ("
         + toJson (eventId, JsonLayout::singleLine) + ", " + payloadJson + "); void 0;";
}

} // namespace brindle
