// One start of a program with a web view, to its page's first event: what the application's
// start costs to its console's "ready", with the web engine in this process (built linked with
// it, as the application was) or in the helper (built without it, as the application is). Run
// by webview_bench, which passes the moment it started this process in BRINDLE_BOOT_STARTED_NS
// (CLOCK_MONOTONIC) and reads the milliseconds it prints.
#include "platform/webview/WebBrowserComponent.h"
#include "platform/XLibrariesStayLoaded.h"

#if BRINDLE_BOOT_IN_PROCESS
 #include "platform/webview/WebKitGtkBackend.h"
 #include "platform/webview/WebViewShutdown.h"
#else
 #include "platform/webview/WebViewHelperBackend.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace
{
    using namespace brindle;

    juce::JUCEApplicationBase* createNoApplication() { return nullptr; }

    double monotonicMs()
    {
        timespec now {};
        clock_gettime (CLOCK_MONOTONIC, &now);
        return (double) now.tv_sec * 1000.0 + (double) now.tv_nsec / 1.0e6;
    }

    std::optional<WebBrowserComponent::Resource> serveFixture (const juce::String& path)
    {
        auto name = path.substring (1).upToFirstOccurrenceOf ("?", false, false);
        const auto file = juce::File (BRINDLE_SOURCE_DIR).getChildFile ("tests/fixtures/webview").getChildFile (name.isEmpty() ? "index.html" : name);

        if (! file.existsAsFile())
            return std::nullopt;

        juce::MemoryBlock bytes;
        file.loadFileAsData (bytes);
        const auto* data = static_cast<const std::byte*> (bytes.getData());
        return WebBrowserComponent::Resource { { data, data + bytes.getSize() }, name.endsWith (".js") ? "text/javascript" : "text/html" };
    }
}

int main()
{
    const char* started = std::getenv ("BRINDLE_BOOT_STARTED_NS");
    const auto startedMs = started != nullptr ? std::atof (started) / 1.0e6 : monotonicMs();

    brindle::keepXLibrariesLoadedUnderSanitizers();
    juce::JUCEApplicationBase::createInstance = &createNoApplication;
    juce::ScopedJuceInitialiser_GUI juce;
    double readyMs = -1;

    {
        juce::Component window;
        window.setBounds (80, 60, 640, 480);
        window.addToDesktop (0);

       #if BRINDLE_BOOT_IN_PROCESS
        const WebBrowserBackendFactory backend = [] (WebBrowserBackend::Host& host) { return std::make_unique<WebKitGtkBackend> (host); };
       #else
        const auto backend = WebViewHelperBackend::factory (juce::File (BRINDLE_WEBVIEW_HELPER));
       #endif

        WebBrowserComponent view (WebBrowserComponent::Options{}
                                      .withResourceProvider (&serveFixture)
                                      .withBackend (backend)
                                      .withEventListener ("ready", [&] (juce::var) { if (readyMs < 0) readyMs = monotonicMs(); }));
        view.setBounds (window.getLocalBounds());
        window.addAndMakeVisible (view);
        view.goToURL (WebBrowserComponent::getResourceProviderRoot());
        window.setVisible (true);

        const auto deadline = monotonicMs() + 30000;

        while (readyMs < 0 && monotonicMs() < deadline)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
    }

   #if BRINDLE_BOOT_IN_PROCESS
    brindle::shutDownWebViews();
   #endif

    if (readyMs < 0)
        return 1;

    std::printf ("%.1f\n", readyMs - startedMs);
    return 0;
}
