#pragma once

#include "OnScreenWatcher.h"
#include "WebBrowserBackend.h"

#include <juce_gui_extra/juce_gui_extra.h>

#include <memory>

namespace brindle
{

class WebKitGtkView;

/** WebKitGTK in this process, on the process's GTK thread, its view in a
    GtkPlug embedded as the component's only child (an XEmbedComponent).

    Showing and hiding. While the component is not in a visible window the view holds a blank
    page and its embedding is taken out of the component (hiding a parent does not hide an
    embedded window); when it is shown again the embedding goes back and the view navigates to
    the page once more, which boots again. Quick changes end in the state of the last one.
    Minimising says nothing on X11: messages stop (the component is not showing) and the page
    stays loaded.

    Messages go to the page only while it is showing and holds a committed page from under the
    root, of the navigation last asked for; otherwise they are dropped.

    A web process that ends is replaced by navigating to the page again, at most once every
    few seconds. If the view cannot start (no GTK, no display) the component stays empty and
    everything else goes on.

    The application runs its view in a helper process instead (WebViewHelperBackend), so that
    nothing the web engine does can end it; this one serves the web engine's own tests and the
    benchmark that compares the two.

    Threading: message thread; see WebKitGtkView for the GTK side. */
class WebKitGtkBackend final : public WebBrowserBackend,
                               private juce::Timer
{
public:
    explicit WebKitGtkBackend (Host& host);
    ~WebKitGtkBackend() override;

    void goToURL (const juce::String& url) override;
    bool isBrowserShowing() const override;
    bool isReadyForEvents() const override;
    void sendEvent (const juce::String& eventId, const juce::String& payloadJson) override;
    void resized() override;

    /** The address of the page the view holds, as last reported (empty when there is none). */
    juce::String getCommittedURL() const { return committedURL; }

    /** Runs `script` in whatever page the view holds, without the check on the page's address:
        for tests that play a page that is not ours. */
    void runScriptInAnyPage (const juce::String& script);

    /** Writes what the view shows now to `png` and tells `done` (on the message thread)
        whether it worked: for tests, which keep the picture. */
    void saveSnapshot (const juce::File& png, std::function<void (bool)> done);

private:
    class ViewReports;

    void viewOpened (unsigned long plugWindow);
    void loadStarted (int navigation);
    void loadCommitted (int navigation, const juce::String& uri);
    void loadFailed (int navigation);
    void webProcessTerminated (int navigation);
    void pageMessage (const juce::String& text);
    std::optional<WebResource> provideResource (const juce::String& path);

    void updateShown();
    void embed();
    void navigate (const juce::String& uri);
    void recover();
    void timerCallback() override;

    Host& host;
    OnScreenWatcher watcher;
    std::shared_ptr<WebKitGtkView> view;             // none when the view could not start
    std::unique_ptr<juce::XEmbedComponent> plug;     // once the GTK side has made it
    juce::String pageURL;
    juce::String committedURL;
    int navigation = 0;
    bool shown = false;
    bool loading = false;
    juce::uint32 lastRecoveryMs = 0;
    bool recovered = false;

    JUCE_DECLARE_WEAK_REFERENCEABLE (WebKitGtkBackend)
    JUCE_DECLARE_NON_COPYABLE (WebKitGtkBackend)
};

} // namespace brindle
