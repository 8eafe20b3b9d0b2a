#pragma once

#include "MessageLoop.h"

#include "platform/webview/WebBrowserComponent.h"
#include "platform/webview/WebKitGtkBackend.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace brindle::test
{

/** A window on the desktop holding a web view on WebKitGTK, whose resource provider serves the
    test page of tests/fixtures/webview/ (index.html at the root) and writes down every path it
    is asked for, and whose listeners write down every event of the page's. */
class WebViewFixture : public testing::Test
{
public:
    struct Window final : juce::Component
    {
        Window()
        {
            setOpaque (true);
            setBounds (80, 60, 640, 480);
            addToDesktop (0);
        }

        void paint (juce::Graphics& g) override     { g.fillAll (juce::Colour (0xffe9e7e1)); }
        void resized() override                      { for (auto* c : getChildren()) c->setBounds (getLocalBounds()); }
    };

    static juce::String pageURL()   { return WebBrowserComponent::getResourceProviderRoot() + "?host=duzezavure"; }

    /** The events the page sends and the test page listens for. */
    static juce::StringArray pageEventIds()
    {
        return { "ready", "echoed", "heard", "pong", "fetched", "key", "click", "probe", "framed" };
    }

    WebViewFixture()
    {
        auto options = WebBrowserComponent::Options{}
                           .withResourceProvider ([this] (const juce::String& path) { return serve (path); })
                           .withBackend ([this] (WebBrowserBackend::Host& host)
                           {
                               auto made = std::make_unique<WebKitGtkBackend> (host);
                               backend = made.get();
                               return made;
                           });

        for (const auto& id : pageEventIds())
            options = options.withEventListener (id, [this, id] (juce::var payload) { events.emplace_back (id, std::move (payload)); });

        view = std::make_unique<WebBrowserComponent> (options);
        window.addAndMakeVisible (*view);
        view->setBounds (window.getLocalBounds());
        view->goToURL (pageURL());
    }

    ~WebViewFixture() override
    {
        view.reset();
    }

    void show()
    {
        window.setVisible (true);
    }

    /** Shows the window and waits for the page's first "ready"; its payload. */
    juce::var showAndWaitForReady()
    {
        show();
        EXPECT_TRUE (waitFor ("ready", 1)) << "the page never said ready";
        return last ("ready");
    }

    int count (const juce::String& eventId) const
    {
        int n = 0;

        for (const auto& [id, payload] : events)
            n += id == eventId ? 1 : 0;

        return n;
    }

    std::vector<juce::var> all (const juce::String& eventId) const
    {
        std::vector<juce::var> found;

        for (const auto& [id, payload] : events)
            if (id == eventId)
                found.push_back (payload);

        return found;
    }

    juce::var last (const juce::String& eventId) const
    {
        const auto found = all (eventId);
        return found.empty() ? juce::var() : found.back();
    }

    bool waitFor (const juce::String& eventId, int atLeast, int timeoutMs = 15000)
    {
        return pumpUntil ([&] { return count (eventId) >= atLeast; }, timeoutMs);
    }

    /** Pings the page and waits for its answer: what it says about itself (its instance, its
        address and size), or void when it does not answer. */
    juce::var ping (int timeoutMs = 5000)
    {
        const auto before = count ("pong");
        view->emitEventIfBrowserIsVisible ("ping", {});

        if (! waitFor ("pong", before + 1, timeoutMs))
            return {};

        return last ("pong");
    }

    /** Waits until the view holds a page at `uri` again, ready for events when it is the page. */
    bool waitForCommitted (const juce::String& uri, int timeoutMs = 15000)
    {
        return pumpUntil ([&] { return backend->getCommittedURL() == uri; }, timeoutMs);
    }

    Window window;
    std::unique_ptr<WebBrowserComponent> view;
    WebKitGtkBackend* backend = nullptr;
    std::vector<std::pair<juce::String, juce::var>> events;
    juce::StringArray requested;

private:
    std::optional<WebBrowserComponent::Resource> serve (const juce::String& path)
    {
        requested.add (path);

        auto name = path.substring (1).upToFirstOccurrenceOf ("?", false, false);

        if (name.isEmpty())
            name = "index.html";

        const auto file = juce::File (BRINDLE_SOURCE_DIR).getChildFile ("tests/fixtures/webview").getChildFile (name);

        if (! file.existsAsFile())
            return std::nullopt;

        juce::MemoryBlock bytes;
        file.loadFileAsData (bytes);

        WebBrowserComponent::Resource resource;
        const auto* data = static_cast<const std::byte*> (bytes.getData());
        resource.data.assign (data, data + bytes.getSize());
        resource.mimeType = name.endsWith (".html") ? "text/html"
                          : name.endsWith (".js")   ? "text/javascript"
                          : name.endsWith (".json") ? "application/json"
                                                    : "application/octet-stream";
        return resource;
    }
};

} // namespace brindle::test
