#include "WebViewAutomation.h"

#include "WebKitGtkContext.h"

#include <webkit2/webkit2.h>

#include <atomic>
#include <cstdlib>
#include <iostream>

namespace brindle
{

namespace
{
    std::atomic<bool> enabled { false };

    // The variables the web engine starts an inspector server for.
    constexpr const char* inspectorServer = "WEBKIT_INSPECTOR_SERVER";
    constexpr const char* inspectorHttpServer = "WEBKIT_INSPECTOR_HTTP_SERVER";

    bool isLoopbackIPv4 (const juce::String& host)
    {
        juce::StringArray parts;
        parts.addTokens (host, ".", {});

        if (parts.size() != 4 || parts[0] != "127")
            return false;

        for (const auto& part : parts)
            if (part.isEmpty() || part.length() > 3 || ! part.containsOnly ("0123456789") || part.getIntValue() > 255)
                return false;

        return true;
    }

    WebKitWebView* giveTheOpenView (WebKitAutomationSession*, gpointer)
    {
        // The console's view, which the program made controllable when it opened it.
        return WebKitGtkContext::newestView();
    }

    void sessionStarted (WebKitWebContext*, WebKitAutomationSession* session, gpointer)
    {
        auto* info = webkit_application_info_new();
        webkit_application_info_set_name (info, "Duzezavure");
        webkit_application_info_set_version (info, 0, 1, 0);
        webkit_automation_session_set_application_info (session, info);
        webkit_application_info_unref (info);

        g_signal_connect (session, "create-web-view", G_CALLBACK (giveTheOpenView), nullptr);
    }
}

juce::String WebViewAutomation::addressFrom (const juce::String& requested)
{
    const auto colon = requested.lastIndexOfChar (':');

    if (colon <= 0)
        return {};

    const auto host = requested.substring (0, colon);
    const auto port = requested.substring (colon + 1);

    if (! isLoopbackIPv4 (host) || port.isEmpty() || port.length() > 5 || ! port.containsOnly ("0123456789"))
        return {};

    if (port.getIntValue() < 1 || port.getIntValue() > 65535)
        return {};

    return requested;
}

void WebViewAutomation::prepare()
{
    const char* requested = std::getenv (variable);
    const auto address = requested != nullptr ? addressFrom (juce::String::fromUTF8 (requested)) : juce::String();

    unsetenv (inspectorHttpServer);

    if (address.isEmpty())
    {
        if (requested != nullptr && *requested != '\0')
            std::cerr << variable << " is not a loopback address with a port (127.0.0.1:4444): no automation" << std::endl;

        unsetenv (inspectorServer);
        enabled = false;
        return;
    }

    setenv (inspectorServer, address.toRawUTF8(), 1);
    enabled = true;
}

bool WebViewAutomation::isEnabled()
{
    return enabled;
}

void WebViewAutomation::allowOn (WebKitWebContext* context)
{
    if (! enabled)
        return;

    webkit_web_context_set_automation_allowed (context, TRUE);
    g_signal_connect (context, "automation-started", G_CALLBACK (sessionStarted), nullptr);
}

} // namespace brindle
