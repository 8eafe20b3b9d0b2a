#pragma once

#include "WebKitGtkViewReports.h"

#include <juce_core/juce_core.h>

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>

namespace brindle
{

/** The GTK side of one web view: a WebKitWebView in a GtkPlug, the page bridge (a script
    message handler, and the script that defines window.__JUCE__ on pages under the root), the
    guards on navigation and on the page's messages, and the requests for the root's files.

    Guards. Any page or frame can reach the message handler, and the engine says not whose
    message it is, so two checks stand together: navigation (every frame, and new windows) to
    an address not under the root is refused, apart from the host's own blank page; and a
    message is taken only while the committed top-level page is under the root.

    It reports through the WebKitGtkViewReports it is given, on the GTK thread, each report
    tagged with the number of the navigation it belongs to.

    Threading: made on any thread; everything else, destruction aside, on the GTK thread. */
class WebKitGtkView
{
public:
    explicit WebKitGtkView (std::unique_ptr<WebKitGtkViewReports> reports);
    ~WebKitGtkView();

    /** Builds the view in its plug, realised but not yet shown; reports the plug's window. */
    void open();

    /** Shows the plug, once the host has taken it in. */
    void showPlug();

    /** Navigates the top frame to `uri`, as navigation number `serial`. */
    void load (const juce::String& uri, int serial);

    /** Runs `script` in the top frame while the page there is from under the root. */
    void runScriptInPage (const juce::String& script);

    /** Runs `script` in whatever the top frame holds (tests play a foreign page with it). */
    void runScriptInAnyPage (const juce::String& script);

    /** Writes what the view shows now to `png`; `done` is told on the GTK thread whether it
        worked (for tests, which keep the picture). */
    void saveSnapshot (const juce::File& png, std::function<void (bool)> done);

    /** Takes the view down; nothing is reported after this. */
    void close();

    /** Hands a request for an address under the root on to the reports; refuses any other. */
    void requestResource (WebKitURISchemeRequest* request);

    WebKitWebView* getWebView() const noexcept { return webView; }

private:
    static void onLoadChanged (WebKitWebView*, WebKitLoadEvent, gpointer self);
    static gboolean onLoadFailed (WebKitWebView*, WebKitLoadEvent, gchar* uri, GError*, gpointer self);
    static gboolean onDecidePolicy (WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType, gpointer self);
    static void onWebProcessTerminated (WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self);
    static void onScriptMessage (WebKitUserContentManager*, WebKitJavascriptResult*, gpointer self);
    static gboolean onPlugDelete (GtkWidget*, GdkEvent*, gpointer self);

    bool allowsNavigation (const juce::String& uri) const;

    std::unique_ptr<WebKitGtkViewReports> reports;
    GtkWidget* plug = nullptr;
    WebKitWebView* webView = nullptr;
    WebKitUserContentManager* contentManager = nullptr;
    juce::String committedUri;
    int serial = 0;
    bool hostWantsBlank = false;

    JUCE_DECLARE_NON_COPYABLE (WebKitGtkView)
};

} // namespace brindle
