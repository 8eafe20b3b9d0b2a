#pragma once

typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitWebView WebKitWebView;

namespace brindle
{

class WebKitGtkView;

/** The one web context of the process, shared by every view: what its pages store is kept in
    the web view's own data folder (WebViewDataFolder) and nowhere else, or nowhere at all when
    that folder cannot be had; with the root's scheme served by the view that asks and
    registered as secure and CORS-enabled, so that the page's fetch() and modules work as they
    do over https.

    Also the list of open views, so that the scheme's requests reach theirs and the views can
    all be closed at shut-down.

    Threading: GTK thread only. */
class WebKitGtkContext
{
public:
    /** The context, made on first use. */
    static WebKitWebContext* get();

    static void add (WebKitGtkView& view);
    static void remove (WebKitGtkView& view);

    /** The view opened last of those still open; null when none is. */
    static WebKitWebView* newestView();

    /** Closes every open view and lets the context go. */
    static void closeAll();
};

} // namespace brindle
