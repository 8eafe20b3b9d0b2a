#pragma once

#include <juce_core/juce_core.h>

typedef struct _WebKitWebContext WebKitWebContext;

namespace brindle
{

/** The door through which an end-to-end test drives the console in the application's own web
    view, open only on request.

    When DUZEZAVURE_TEST_AUTOMATION names a loopback address with a port ("127.0.0.1:4444"), the
    web engine's inspector server listens there, the web context allows automation, and the
    views are made to be controlled by it: WebKitWebDriver --target=127.0.0.1:4444 then takes
    the view that is open (the console's) as its browsing context.

    Otherwise nothing of it exists: no inspector server is started, whatever the environment
    the program inherited says (the web engine would start one for WEBKIT_INSPECTOR_SERVER or
    WEBKIT_INSPECTOR_HTTP_SERVER, so both are removed), and no automation is allowed. An
    address that is not a loopback one, or has no port, opens nothing and says so on standard
    error.

    Threading: prepare() on the message thread before the GTK thread starts (it changes the
    environment, which only a single thread may do safely); the rest on the GTK thread. */
struct WebViewAutomation
{
    static constexpr const char* variable = "DUZEZAVURE_TEST_AUTOMATION";

    /** The address asked for, when it is a loopback address with a port; empty otherwise. */
    static juce::String addressFrom (const juce::String& requested);

    /** Reads the request and sets the web engine's environment to match. */
    static void prepare();

    /** Whether prepare() found a usable request. */
    static bool isEnabled();

    /** Lets the context be automated, handing the newest open view to a session that asks for
        one. Does nothing unless enabled. */
    static void allowOn (WebKitWebContext* context);
};

} // namespace brindle
