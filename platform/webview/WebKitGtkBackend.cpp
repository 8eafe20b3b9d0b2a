#include "WebKitGtkBackend.h"

#include "GtkThread.h"
#include "PageBridgeScript.h"
#include "ResourceProviderRoot.h"
#include "WebKitGtkView.h"

namespace brindle
{

namespace
{
    const juce::String blankPage ("about:blank");

    // A page that takes its web process down as it boots must not keep the machine busy.
    constexpr juce::uint32 recoveryIntervalMs = 3000;
}

WebKitGtkBackend::WebKitGtkBackend (Host& hostToServe)
    : host (hostToServe),
      watcher (hostToServe.getComponent(), [this] { updateShown(); })
{
    shown = watcher.isInVisibleWindow();

    if (! GtkThread::start())
        return;

    view = std::make_shared<WebKitGtkView> (juce::WeakReference<WebKitGtkBackend> (this));

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

    GtkThread::post ([v = view, png, done = std::move (done)]() mutable { v->saveSnapshot (png, std::move (done)); });
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
