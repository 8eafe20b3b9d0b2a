#pragma once

#include <juce_core/juce_core.h>

#include <memory>

namespace brindle
{

class WebKitGtkSchemeRequest;

/** What a WebKitGtkView tells the side that drives it: the back end in this process, or the
    helper process's channel to the application. Each report about a page carries the number of
    the navigation it belongs to.

    Threading: every call on the GTK thread. */
class WebKitGtkViewReports
{
public:
    virtual ~WebKitGtkViewReports() = default;

    /** The view is built in its plug, realised but not shown; `plugWindow` is the plug's X
        window, for the embedder to take in. */
    virtual void viewOpened (unsigned long plugWindow) = 0;

    virtual void loadStarted (int navigation) = 0;
    virtual void loadCommitted (int navigation, const juce::String& uri) = 0;
    virtual void loadFailed (int navigation) = 0;
    virtual void webProcessTerminated (int navigation) = 0;

    /** Text the page's bridge posted, at most maxPageMessageBytes, from a page under the
        root. */
    virtual void pageMessage (const juce::String& text) = 0;

    /** A request for `path` under the root ("/app.css?v=2"); answered later on the GTK thread
        by finishing `request` (dropping it answers with an error). */
    virtual void resourceRequested (const juce::String& path, std::shared_ptr<WebKitGtkSchemeRequest> request) = 0;
};

} // namespace brindle
