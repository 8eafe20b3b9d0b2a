#include "WebKitGtkView.h"

#include "PageBridgeScript.h"
#include "PageMessage.h"
#include "ResourceProviderRoot.h"
#include "WebKitGtkContext.h"
#include "WebKitGtkSchemeRequest.h"
#include "WebViewAutomation.h"

#include <gtk/gtkx.h>

#include <cstring>
#include <iostream>
#include <memory>

namespace brindle
{

namespace
{
    const juce::String blankPage ("about:blank");
}

WebKitGtkView::WebKitGtkView (std::unique_ptr<WebKitGtkViewReports> reportsToUse)
    : reports (std::move (reportsToUse))
{
}

WebKitGtkView::~WebKitGtkView()
{
    jassert (plug == nullptr);   // closed on the GTK thread first
}

void WebKitGtkView::open()
{
    contentManager = webkit_user_content_manager_new();
    const auto messageSignal = juce::String ("script-message-received::") + pageBridgeHandlerName;
    g_signal_connect (contentManager, messageSignal.toRawUTF8(), G_CALLBACK (onScriptMessage), this);
    webkit_user_content_manager_register_script_message_handler (contentManager, pageBridgeHandlerName);

    const auto underRoot = getResourceProviderRoot() + "*";
    const gchar* const allowList[] = { underRoot.toRawUTF8(), nullptr };
    auto* bridge = webkit_user_script_new (getPageBridgeScript(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                           WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allowList, nullptr);
    webkit_user_content_manager_add_script (contentManager, bridge);
    webkit_user_script_unref (bridge);

    webView = WEBKIT_WEB_VIEW (g_object_ref_sink (g_object_new (WEBKIT_TYPE_WEB_VIEW,
                                                                "web-context", WebKitGtkContext::get(),
                                                                "user-content-manager", contentManager,
                                                                "is-controlled-by-automation", WebViewAutomation::isEnabled() ? TRUE : FALSE,
                                                                nullptr)));
    g_signal_connect (webView, "load-changed", G_CALLBACK (onLoadChanged), this);
    g_signal_connect (webView, "load-failed", G_CALLBACK (onLoadFailed), this);
    g_signal_connect (webView, "decide-policy", G_CALLBACK (onDecidePolicy), this);
    g_signal_connect (webView, "web-process-terminated", G_CALLBACK (onWebProcessTerminated), this);

    // Realised, not shown: a plug shown before the host has taken it in would flash up as a
    // window of its own.
    plug = gtk_plug_new (0);
    g_signal_connect (plug, "delete-event", G_CALLBACK (onPlugDelete), this);
    gtk_container_add (GTK_CONTAINER (plug), GTK_WIDGET (webView));
    gtk_widget_show (GTK_WIDGET (webView));
    gtk_widget_realize (plug);

    WebKitGtkContext::add (*this);

    const auto plugWindow = (unsigned long) gtk_plug_get_id (GTK_PLUG (plug));
    reports->viewOpened (plugWindow);
}

void WebKitGtkView::showPlug()
{
    if (plug != nullptr)
        gtk_widget_show (plug);
}

void WebKitGtkView::load (const juce::String& uri, int navigation)
{
    if (webView == nullptr)
        return;

    serial = navigation;
    hostWantsBlank = uri == blankPage;
    webkit_web_view_load_uri (webView, uri.toRawUTF8());
}

void WebKitGtkView::runScriptInPage (const juce::String& script)
{
    if (isUnderResourceProviderRoot (committedUri))
        runScriptInAnyPage (script);
}

void WebKitGtkView::runScriptInAnyPage (const juce::String& script)
{
    if (webView != nullptr)
        webkit_web_view_evaluate_javascript (webView, script.toRawUTF8(), -1, nullptr, nullptr, nullptr, nullptr, nullptr);
}

void WebKitGtkView::saveSnapshot (const juce::File& png, std::function<void (bool)> done)
{
    struct Pending
    {
        juce::File png;
        std::function<void (bool)> done;
    };

    const auto finish = [] (GObject* source, GAsyncResult* result, gpointer data)
    {
        std::unique_ptr<Pending> pending (static_cast<Pending*> (data));
        GError* error = nullptr;
        cairo_surface_t* surface = webkit_web_view_get_snapshot_finish (WEBKIT_WEB_VIEW (source), result, &error);
        bool written = false;

        if (surface != nullptr)
        {
            const auto status = cairo_surface_write_to_png (surface, pending->png.getFullPathName().toRawUTF8());
            written = status == CAIRO_STATUS_SUCCESS;
            cairo_surface_destroy (surface);

            if (! written)
                std::cerr << "web view: the picture was not written: " << cairo_status_to_string (status) << std::endl;
        }
        else
        {
            std::cerr << "web view: no picture of the page: " << (error != nullptr ? error->message : "no reason given") << std::endl;
        }

        g_clear_error (&error);
        pending->done (written);
    };

    if (webView == nullptr)
    {
        done (false);
        return;
    }

    webkit_web_view_get_snapshot (webView, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
                                  finish, new Pending { png, std::move (done) });
}

void WebKitGtkView::close()
{
    if (plug == nullptr)
        return;

    WebKitGtkContext::remove (*this);

    g_signal_handlers_disconnect_by_data (webView, this);
    g_signal_handlers_disconnect_by_data (contentManager, this);
    g_signal_handlers_disconnect_by_data (plug, this);
    webkit_user_content_manager_unregister_script_message_handler (contentManager, pageBridgeHandlerName);

    gtk_widget_destroy (plug);   // and the web view in it
    plug = nullptr;
    g_clear_object (&webView);
    g_clear_object (&contentManager);
}

void WebKitGtkView::requestResource (WebKitURISchemeRequest* request)
{
    const auto uri = juce::String::fromUTF8 (webkit_uri_scheme_request_get_uri (request));

    if (! isUnderResourceProviderRoot (uri))
    {
        WebKitGtkSchemeRequest::finishWithError (request);
        return;
    }

    // The request's own path would lose the query, which the provider is given.
    const auto path = getResourceRequestPath (uri);
    reports->resourceRequested (path, std::make_shared<WebKitGtkSchemeRequest> (request));
}

bool WebKitGtkView::allowsNavigation (const juce::String& uri) const
{
    // The blank page is let through while the host's last navigation was to it, not just for
    // one decision: after quick hides and shows, a decision for an earlier blank load that was
    // cut short may come first, and the last one must still pass.
    if (uri == blankPage)
        return hostWantsBlank;

    return isUnderResourceProviderRoot (uri);
}

void WebKitGtkView::onLoadChanged (WebKitWebView* webView, WebKitLoadEvent event, gpointer self)
{
    auto& view = *static_cast<WebKitGtkView*> (self);
    const auto navigation = view.serial;

    if (event == WEBKIT_LOAD_STARTED)
    {
        view.reports->loadStarted (navigation);
    }
    else if (event == WEBKIT_LOAD_COMMITTED)
    {
        view.committedUri = juce::String::fromUTF8 (webkit_web_view_get_uri (webView));
        view.reports->loadCommitted (navigation, view.committedUri);
    }
}

gboolean WebKitGtkView::onLoadFailed (WebKitWebView*, WebKitLoadEvent, gchar*, GError* error, gpointer self)
{
    auto& view = *static_cast<WebKitGtkView*> (self);

    // A load cut short by the next one belongs to a navigation that is over.
    if (! g_error_matches (error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED))
    {
        const auto navigation = view.serial;
        view.reports->loadFailed (navigation);
    }

    return TRUE;   // no error page: the page that was there stays
}

gboolean WebKitGtkView::onDecidePolicy (WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer self)
{
    auto& view = *static_cast<WebKitGtkView*> (self);

    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
    {
        // What the view cannot show would be downloaded: nothing here is for saving.
        if (webkit_response_policy_decision_is_mime_type_supported (WEBKIT_RESPONSE_POLICY_DECISION (decision)))
            webkit_policy_decision_use (decision);
        else
            webkit_policy_decision_ignore (decision);

        return TRUE;
    }

    auto* action = webkit_navigation_policy_decision_get_navigation_action (WEBKIT_NAVIGATION_POLICY_DECISION (decision));
    const auto uri = juce::String::fromUTF8 (webkit_uri_request_get_uri (webkit_navigation_action_get_request (action)));

    if (view.allowsNavigation (uri))
        webkit_policy_decision_use (decision);
    else
        webkit_policy_decision_ignore (decision);

    return TRUE;
}

void WebKitGtkView::onWebProcessTerminated (WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self)
{
    auto& view = *static_cast<WebKitGtkView*> (self);
    view.committedUri = {};

    const auto navigation = view.serial;
    view.reports->webProcessTerminated (navigation);
}

void WebKitGtkView::onScriptMessage (WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self)
{
    auto& view = *static_cast<WebKitGtkView*> (self);

    if (! isUnderResourceProviderRoot (view.committedUri))
        return;

    auto* value = webkit_javascript_result_get_js_value (result);

    if (! jsc_value_is_string (value))
        return;

    auto* text = jsc_value_to_string (value);
    const auto length = std::strlen (text);

    if (length <= maxPageMessageBytes)
    {
        view.reports->pageMessage (juce::String::fromUTF8 (text, (int) length));
    }

    g_free (text);
}

gboolean WebKitGtkView::onPlugDelete (GtkWidget*, GdkEvent*, gpointer)
{
    // GTK deletes a plug that is taken out of its embedder; this one is closed by its back end.
    return TRUE;
}

} // namespace brindle
