#include "WebKitGtkBackend.h"

#include "GtkThread.h"
#include "PageBridgeScript.h"
#include "ResourceProviderRoot.h"
#include "WebEngineEnvironment.h"
#include "WebKitGtkSchemeRequest.h"
#include "WebKitGtkView.h"

namespace brindle
{

namespace
{
    const juce::String blankPage ("about:blank");

    // A page that takes its web process down as it boots must not keep the machine busy.
    constexpr juce::uint32 recoveryIntervalMs = 3000;

    // The environment is the web engine's before the GTK thread starts, and set only once.
    void prepareEnvironmentOnce()
    {
        static const bool prepared = [] { prepareWebEngineEnvironment(); return true; }();
        juce::ignoreUnused (prepared);
    }
}

/** Carries the view's reports to the back end on the message thread, where a back end that is
    gone gets nothing; a resource request is answered back on the GTK thread. */
class WebKitGtkBackend::ViewReports final : public WebKitGtkViewReports
{
public:
    explicit ViewReports (juce::WeakReference<WebKitGtkBackend> owner) : backend (std::move (owner)) {}

    void viewOpened (unsigned long plugWindow) override               { report ([plugWindow] (WebKitGtkBackend& b) { b.viewOpened (plugWindow); }); }
    void loadStarted (int n) override                                  { report ([n] (WebKitGtkBackend& b) { b.loadStarted (n); }); }
    void loadCommitted (int n, const juce::String& uri) override       { report ([n, uri] (WebKitGtkBackend& b) { b.loadCommitted (n, uri); }); }
    void loadFailed (int n) override                                   { report ([n] (WebKitGtkBackend& b) { b.loadFailed (n); }); }
    void webProcessTerminated (int n) override                         { report ([n] (WebKitGtkBackend& b) { b.webProcessTerminated (n); }); }
    void pageMessage (const juce::String& text) override               { report ([text] (WebKitGtkBackend& b) { b.pageMessage (text); }); }

    void resourceRequested (const juce::String& path, std::shared_ptr<WebKitGtkSchemeRequest> request) override
    {
        juce::MessageManager::callAsync ([owner = backend, path, request]
        {
            std::optional<WebResource> resource;

            if (auto* b = owner.get())
                resource = b->provideResource (path);

            GtkThread::post ([request, resource] { request->finish (resource); });
        });
    }

private:
    template <typename Report>
    void report (Report&& toBackend) const
    {
        juce::MessageManager::callAsync ([owner = backend, toBackend = std::forward<Report> (toBackend)]
        {
            if (auto* b = owner.get())
                toBackend (*b);
        });
    }

    juce::WeakReference<WebKitGtkBackend> backend;
};

WebKitGtkBackend::WebKitGtkBackend (Host& hostToServe)
    : host (hostToServe),
      watcher (hostToServe.getComponent(), [this] { updateShown(); })
{
    shown = watcher.isInVisibleWindow();
    prepareEnvironmentOnce();

    if (! GtkThread::start())
        return;

    view = std::make_shared<WebKitGtkView> (std::make_unique<ViewReports> (juce::WeakReference<WebKitGtkBackend> (this)));

    if (! GtkThread::post ([v = view] { v->open(); }))
        view = nullptr;
}

WebKitGtkBackend::~WebKitGtkBackend()
{
    stopTimer();

    // The embedding lets go of the plug before GTK destroys it.
    if (plug != nullptr)
    {
        host.getComponent().removeChildComponent (plug.get());
        plug.reset();
    }

    if (view != nullptr)
        GtkThread::post ([v = std::move (view)] { v->close(); });
}

void WebKitGtkBackend::goToURL (const juce::String& url)
{
    pageURL = url;

    if (shown)
        navigate (url);
}

bool WebKitGtkBackend::isBrowserShowing() const
{
    return host.getComponent().isShowing();
}

bool WebKitGtkBackend::isReadyForEvents() const
{
    return view != nullptr && shown && ! loading
        && host.getComponent().isShowing()
        && isUnderResourceProviderRoot (committedURL);
}

void WebKitGtkBackend::sendEvent (const juce::String& eventId, const juce::String& payloadJson)
{
    if (view != nullptr)
        GtkThread::post ([v = view, script = makeHostEventScript (eventId, payloadJson)] { v->runScriptInPage (script); });
}

void WebKitGtkBackend::resized()
{
    if (plug != nullptr)
        plug->setBounds (host.getComponent().getLocalBounds());
}

void WebKitGtkBackend::runScriptInAnyPage (const juce::String& script)
{
    if (view != nullptr)
        GtkThread::post ([v = view, script] { v->runScriptInAnyPage (script); });
}

void WebKitGtkBackend::saveSnapshot (const juce::File& png, std::function<void (bool)> done)
{
    if (view == nullptr)
    {
        done (false);
        return;
    }

    auto onMessageThread = [done = std::move (done)] (bool written) { juce::MessageManager::callAsync ([done, written] { done (written); }); };
    GtkThread::post ([v = view, png, onMessageThread]() { v->saveSnapshot (png, onMessageThread); });
}

void WebKitGtkBackend::viewOpened (unsigned long plugWindow)
{
    plug = std::make_unique<juce::XEmbedComponent> (plugWindow, true, false);

    if (shown)
        embed();

    GtkThread::post ([v = view] { v->showPlug(); });
}

void WebKitGtkBackend::loadStarted (int started)
{
    if (started == navigation)
        loading = true;
}

void WebKitGtkBackend::loadCommitted (int committed, const juce::String& uri)
{
    committedURL = uri;

    if (committed == navigation)
        loading = false;
}

void WebKitGtkBackend::loadFailed (int failed)
{
    if (failed == navigation)
        loading = false;
}

void WebKitGtkBackend::webProcessTerminated (int)
{
    committedURL = {};
    loading = false;

    if (shown)
        recover();
}

void WebKitGtkBackend::pageMessage (const juce::String& text)
{
    host.pageMessageArrived (text);
}

std::optional<WebResource> WebKitGtkBackend::provideResource (const juce::String& path)
{
    return host.resourceRequested (path);
}

void WebKitGtkBackend::updateShown()
{
    const bool nowShown = watcher.isInVisibleWindow();

    if (nowShown == shown)
        return;

    shown = nowShown;

    if (shown)
    {
        if (plug != nullptr)
            embed();

        // Navigating, not reloading: a reload would bring back the blank page.
        if (pageURL.isNotEmpty())
            navigate (pageURL);
    }
    else
    {
        stopTimer();

        if (plug != nullptr)
            host.getComponent().removeChildComponent (plug.get());

        if (pageURL.isNotEmpty())
            navigate (blankPage);
    }
}

void WebKitGtkBackend::embed()
{
    // Sized first: the embedding sizes its X windows as it joins the window.
    plug->setBounds (host.getComponent().getLocalBounds());
    host.getComponent().addAndMakeVisible (*plug);
}

void WebKitGtkBackend::navigate (const juce::String& uri)
{
    if (view == nullptr)
        return;

    ++navigation;
    loading = true;
    GtkThread::post ([v = view, uri, n = navigation] { v->load (uri, n); });
}

void WebKitGtkBackend::recover()
{
    if (pageURL.isEmpty())
        return;

    const auto now = juce::Time::getMillisecondCounter();
    const auto since = now - lastRecoveryMs;

    if (recovered && since < recoveryIntervalMs)
    {
        startTimer ((int) (recoveryIntervalMs - since));
        return;
    }

    recovered = true;
    lastRecoveryMs = now;
    navigate (pageURL);
}

void WebKitGtkBackend::timerCallback()
{
    stopTimer();

    if (shown && committedURL.isEmpty())
        recover();
}

} // namespace brindle
