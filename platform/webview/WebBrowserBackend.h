#pragma once

#include "WebResource.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <optional>

namespace brindle
{

/** What stands behind a WebBrowserComponent: the web engine of this platform, or a fake in
    tests. The component keeps the listeners, the resource provider and the JSON of the
    messages; a back end moves text between the page and the host and says when the page can
    take a message.

    Threading: every method on the message thread; a back end calls its host on the message
    thread too, whatever threads it runs inside. */
class WebBrowserBackend
{
public:
    /** The component a back end serves. */
    class Host
    {
    public:
        virtual ~Host() = default;

        /** The component the page is shown in; a back end may add one child to it. */
        virtual juce::Component& getComponent() = 0;

        /** Text the page's bridge posted ({"eventId": ..., "payload": ...}); the host reads it
            and calls the listeners for its event id. */
        virtual void pageMessageArrived (const juce::String& text) = 0;

        /** The resource for a request path under the root ("/app.css?v=2"); nothing when there
            is none. */
        virtual std::optional<WebResource> resourceRequested (const juce::String& path) = 0;
    };

    virtual ~WebBrowserBackend() = default;

    /** Shows the page at `url` (for now, or once the view is showing). */
    virtual void goToURL (const juce::String& url) = 0;

    /** Whether the view is on the screen: visible with all its parents, in a window on the
        desktop that is not minimised. */
    virtual bool isBrowserShowing() const = 0;

    /** Whether a message sent now reaches the page: the view is showing and holds a page from
        under the root that is no longer loading. */
    virtual bool isReadyForEvents() const = 0;

    /** Hands an event to the page's listeners for `eventId`; `payloadJson` is the payload as
        single-line JSON text. */
    virtual void sendEvent (const juce::String& eventId, const juce::String& payloadJson) = 0;

    /** The component was resized. */
    virtual void resized() {}

    /** The console is asked for: an engine that has stopped starts again at once, without the
        pause it would otherwise wait. */
    virtual void startAgainNow() {}
};

/** Makes the back end of one component. */
using WebBrowserBackendFactory = std::function<std::unique_ptr<WebBrowserBackend> (WebBrowserBackend::Host&)>;

} // namespace brindle
