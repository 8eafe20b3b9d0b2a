#pragma once

#include "WebBrowserBackend.h"
#include "WebResource.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace brindle
{

/** A web view with an event bridge to its page and a resource provider for its files.

    The page finds `window.__JUCE__.backend` before its own scripts run: `emitEvent (id,
    payload)` sends an event to the host, whose listener for that id is called with the
    payload; `addEventListener (id, fn)` registers a page listener, which
    emitEventIfBrowserIsVisible calls with the payload the host sent. Both directions carry
    JSON, so a payload is what JSON can hold. Every address under getResourceProviderRoot() is
    answered by the resource provider; the view goes nowhere else.

    While the view is not on the screen it holds a blank page; when it is shown again it goes
    back to the page last asked for with goToURL, which then boots again.

    The back end runs this platform's web engine in a helper process beside the program
    (WebViewHelperBackend), so that nothing the engine does can take the program down, unless
    the options name another (tests name a fake, or the engine in their own process).

    Threading: message thread only; listeners and the resource provider are called on the
    message thread. */
class WebBrowserComponent final : public juce::Component,
                                  private WebBrowserBackend::Host
{
public:
    using Resource = WebResource;

    /** Given a request path under the root with its query ("/", "/app.css?v=2"): the file, or
        nothing when there is none. */
    using ResourceProvider = std::function<std::optional<Resource> (const juce::String& path)>;

    /** Called with the payload of one page event. */
    using EventListener = std::function<void (juce::var payload)>;

    /** How a view is built. Each "with" gives a changed copy. */
    class Options
    {
    public:
        /** Adds a listener for the page's events of `eventId`. Listeners for one id are called
            in the order they were added. */
        [[nodiscard]] Options withEventListener (const juce::Identifier& eventId, EventListener listener) const;

        /** Serves every address under the root from `provider`. Without one, nothing is
            served. */
        [[nodiscard]] Options withResourceProvider (ResourceProvider provider) const;

        /** Runs the view on `factory`'s back end instead of this platform's web engine. */
        [[nodiscard]] Options withBackend (WebBrowserBackendFactory factory) const;

    private:
        friend class WebBrowserComponent;

        std::vector<std::pair<juce::String, EventListener>> listeners;
        ResourceProvider resourceProvider;
        WebBrowserBackendFactory backendFactory;
    };

    explicit WebBrowserComponent (const Options& options = {});
    ~WebBrowserComponent() override;

    /** The address of the resource provider's files, ending with "/": the page is at this
        address, its files at their names relative to it. */
    static juce::String getResourceProviderRoot();

    /** Shows the page at `url`, and goes back to it whenever the view is shown again. */
    void goToURL (const juce::String& url);

    /** Sends an event to the page's listeners for `eventId`, the payload written as JSON, when
        the view is showing and holds a page from under the root that has been committed (a
        page that is still loading, the blank page of a hidden view and a minimised window get
        nothing). Otherwise the message is dropped, not queued; a page with no listener for
        the id drops it too. */
    void emitEventIfBrowserIsVisible (const juce::Identifier& eventId, const juce::var& payload);

    /** The page is asked for (the console opened from the tray, a second start): a web engine
        that has stopped is started again at once rather than after its pause. */
    void startEngineAgainIfStopped();

    /** Whether the view is on the screen now: visible with every parent, in a window on the
        desktop that is not minimised. What to test before building a costly message. */
    bool isBrowserShowing() const;

    void resized() override;

private:
    juce::Component& getComponent() override;
    void pageMessageArrived (const juce::String& text) override;
    std::optional<WebResource> resourceRequested (const juce::String& path) override;

    Options options;
    std::unique_ptr<WebBrowserBackend> backend;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WebBrowserComponent)
};

} // namespace brindle
