#pragma once

#include "common/JsonWriter.h"
#include "platform/webview/WebBrowserBackend.h"

#include <memory>
#include <vector>

namespace brindle
{

/** A web view back end without a web engine, for tests of what uses a WebBrowserComponent:
    records the events the host sends and the addresses it goes to, lets the test play the page
    (post its events, ask for its files through the resource provider) and say whether the
    view is showing. A fresh fake is not showing, as a view is before its window is.

    Build the component on it with FakeWebBrowserBackend::factory, which leaves a pointer to
    the fake it made; the component owns the fake.

    Threading: the test's (message) thread only. */
class FakeWebBrowserBackend final : public WebBrowserBackend
{
public:
    /** One event as the page would get it. */
    struct SentEvent
    {
        juce::String eventId;
        juce::String json;    // the payload as it went out
        juce::var payload;    // and read back, as the page's listener sees it
    };

    explicit FakeWebBrowserBackend (Host& hostToServe) : host (hostToServe) {}

    /** For WebBrowserComponent::Options::withBackend: `made` points at the fake it made. */
    static WebBrowserBackendFactory factory (FakeWebBrowserBackend*& made)
    {
        return [&made] (Host& hostToServe)
        {
            auto fake = std::make_unique<FakeWebBrowserBackend> (hostToServe);
            made = fake.get();
            return fake;
        };
    }

    void goToURL (const juce::String& url) override          { visitedURLs.add (url); }
    bool isBrowserShowing() const override                   { return showing; }
    bool isReadyForEvents() const override                   { return showing; }

    void sendEvent (const juce::String& eventId, const juce::String& payloadJson) override
    {
        sent.push_back ({ eventId, payloadJson, juce::JSON::fromString (payloadJson) });
    }

    /** Whether the view counts as showing (and its page as ready for events). */
    void setShowing (bool shouldBeShowing)                   { showing = shouldBeShowing; }

    /** The page sends an event, as its bridge would: an envelope of JSON text, read by the
        component and handed to its listeners for the id. */
    void postPageEvent (const juce::String& eventId, const juce::var& payload = juce::var (new juce::DynamicObject()))
    {
        auto envelope = std::make_unique<juce::DynamicObject>();
        envelope->setProperty ("eventId", eventId);
        envelope->setProperty ("payload", payload);
        postPageMessage (toJson (juce::var (envelope.release()), JsonLayout::singleLine));
    }

    /** The page's bridge posts `text` as it is. */
    void postPageMessage (const juce::String& text)          { host.pageMessageArrived (text); }

    /** The page asks for a file under the root: `path` with its query ("/app.css?v=2"). */
    std::optional<WebResource> requestResource (const juce::String& path) { return host.resourceRequested (path); }

    /** The events sent to the page of `eventId`, in order. */
    std::vector<SentEvent> sentOf (const juce::String& eventId) const
    {
        std::vector<SentEvent> matching;

        for (const auto& event : sent)
            if (event.eventId == eventId)
                matching.push_back (event);

        return matching;
    }

    std::vector<SentEvent> sent;
    juce::StringArray visitedURLs;

private:
    Host& host;
    bool showing = false;
};

} // namespace brindle
