#include "WebKitGtkContext.h"

#include "ResourceProviderRoot.h"
#include "WebKitGtkSchemeRequest.h"
#include "WebKitGtkView.h"
#include "WebViewAutomation.h"
#include "platform/WebViewDataFolder.h"

#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <vector>

namespace brindle
{

namespace
{
    WebKitWebContext* context = nullptr;
    std::vector<WebKitGtkView*> views;

    void answerSchemeRequest (WebKitURISchemeRequest* request, gpointer)
    {
        auto* webView = webkit_uri_scheme_request_get_web_view (request);
        const auto found = std::find_if (views.begin(), views.end(), [webView] (auto* v) { return v->getWebView() == webView; });

        if (found == views.end())
            WebKitGtkSchemeRequest::finishWithError (request);
        else
            (*found)->requestResource (request);
    }

    // What the page stores is kept in our own folder, and nothing anywhere else. Without the
    // folder the console still works, starting with nothing stored each time.
    WebKitWebContext* makeContext()
    {
        const auto storage = WebViewDataFolder::prepare();

        if (! storage.folder.has_value())
        {
            std::cerr << "web view: " << storage.problem << "; the console keeps nothing from one start to the next" << std::endl;
            return webkit_web_context_new_ephemeral();
        }

        const auto data = storage.folder->getFullPathName();
        const auto cache = storage.folder->getChildFile ("cache").getFullPathName();
        auto* manager = webkit_website_data_manager_new ("base-data-directory", data.toRawUTF8(),
                                                         "base-cache-directory", cache.toRawUTF8(), nullptr);
        auto* made = webkit_web_context_new_with_website_data_manager (manager);
        g_object_unref (manager);
        return made;
    }
}

WebKitWebContext* WebKitGtkContext::get()
{
    if (context == nullptr)
    {
        context = makeContext();

        const auto scheme = getResourceProviderScheme();
        webkit_web_context_register_uri_scheme (context, scheme.toRawUTF8(), &answerSchemeRequest, nullptr, nullptr);

        auto* security = webkit_web_context_get_security_manager (context);
        webkit_security_manager_register_uri_scheme_as_secure (security, scheme.toRawUTF8());
        webkit_security_manager_register_uri_scheme_as_cors_enabled (security, scheme.toRawUTF8());

        // Tests send every network request to a proxy of their own (one that never answers,
        // to show that nothing the page asks of the network can hold it up).
        if (const char* proxy = std::getenv ("BRINDLE_TEST_NETWORK_PROXY"); proxy != nullptr && *proxy != '\0')
        {
            auto* settings = webkit_network_proxy_settings_new (proxy, nullptr);
            webkit_website_data_manager_set_network_proxy_settings (webkit_web_context_get_website_data_manager (context),
                                                                    WEBKIT_NETWORK_PROXY_MODE_CUSTOM, settings);
            webkit_network_proxy_settings_free (settings);
        }

        WebViewAutomation::allowOn (context);
    }

    return context;
}

void WebKitGtkContext::add (WebKitGtkView& view)
{
    views.push_back (&view);
}

void WebKitGtkContext::remove (WebKitGtkView& view)
{
    views.erase (std::remove (views.begin(), views.end(), &view), views.end());
}

WebKitWebView* WebKitGtkContext::newestView()
{
    return views.empty() ? nullptr : views.back()->getWebView();
}

void WebKitGtkContext::closeAll()
{
    for (auto* view : std::vector<WebKitGtkView*> (views))
        view->close();

    if (context != nullptr)
    {
        g_object_unref (context);
        context = nullptr;
    }
}

} // namespace brindle
