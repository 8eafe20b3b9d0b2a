// The web view's figures, with WebKitGTK in this process and the tests' page
// (tests/fixtures/webview/) served by the resource provider: how long a new view takes to its
// page's first event ("ready"), the first view (which also starts GTK) apart from later ones,
// and how long an event takes from the host to the page and back (the page echoes it).
// Needs an X display.
#include "platform/webview/WebBrowserComponent.h"
#include "platform/webview/WebViewShutdown.h"
#include "platform/XLibrariesStayLoaded.h"
#include "tests/support/TemporaryFolder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace
{
    using namespace brindle;

    juce::JUCEApplicationBase* createNoApplication() { return nullptr; }

    double nowMs() { return juce::Time::getMillisecondCounterHiRes(); }

    bool pumpUntil (const std::function<bool()>& condition, double timeoutMs)
    {
        const auto deadline = nowMs() + timeoutMs;

        while (! condition())
        {
            if (nowMs() > deadline)
                return false;

            juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
        }

        return true;
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

    /** A window with one view on the test page, counting the page's events. */
    struct Viewer
    {
        Viewer()
        {
            window.setBounds (80, 60, 640, 480);
            window.addToDesktop (0);

            view = std::make_unique<WebBrowserComponent> (WebBrowserComponent::Options{}
                                                              .withResourceProvider (&serveFixture)
                                                              .withEventListener ("ready", [this] (juce::var) { ++readies; })
                                                              .withEventListener ("echoed", [this] (juce::var) { ++echoes; }));
            view->setBounds (window.getLocalBounds());
            window.addAndMakeVisible (*view);
            view->goToURL (WebBrowserComponent::getResourceProviderRoot());
            window.setVisible (true);
        }

        ~Viewer() { view.reset(); }

        juce::Component window;
        std::unique_ptr<WebBrowserComponent> view;
        int readies = 0, echoes = 0;
    };

    double percentile (std::vector<double> values, double share)
    {
        std::sort (values.begin(), values.end());
        return values[(size_t) (share * (double) (values.size() - 1))];
    }
}

int main()
{
    brindle::keepXLibrariesLoadedUnderSanitizers();
    // What the views keep goes to a folder of this run's, never the user's data folder.
    const brindle::test::TemporaryFolder webViewData;
    setenv ("XDG_DATA_HOME", webViewData.get().getFullPathName().toRawUTF8(), 1);

    juce::JUCEApplicationBase::createInstance = &createNoApplication;
    juce::ScopedJuceInitialiser_GUI juce;

    std::vector<double> starts;

    for (int i = 0; i < 6; ++i)
    {
        const auto started = nowMs();
        Viewer viewer;

        if (! pumpUntil ([&] { return viewer.readies > 0; }, 15000))
        {
            std::printf ("the page never said ready (no display?)\n");
            return 1;
        }

        starts.push_back (nowMs() - started);
    }

    std::printf ("first page event after start: first view (GTK starting) %.0f ms; later views median %.0f ms, max %.0f ms\n",
                 starts.front(), percentile ({ starts.begin() + 1, starts.end() }, 0.5),
                 *std::max_element (starts.begin() + 1, starts.end()));

    {
        Viewer viewer;
        pumpUntil ([&] { return viewer.readies > 0; }, 15000);

        std::vector<double> trips;
        auto payload = std::make_unique<juce::DynamicObject>();
        payload->setProperty ("running", true);
        payload->setProperty ("latencyMs", 12.5);
        payload->setProperty ("error", "");
        const juce::var meter (payload.release());

        for (int i = 0; i < 300; ++i)
        {
            const auto before = viewer.echoes;
            const auto sent = nowMs();
            viewer.view->emitEventIfBrowserIsVisible ("echo", meter);

            if (! pumpUntil ([&] { return viewer.echoes > before; }, 5000))
                break;

            trips.push_back (nowMs() - sent);
        }

        std::printf ("event round trip (host to page and back, %d events): median %.2f ms, 95th percentile %.2f ms, max %.2f ms\n",
                     (int) trips.size(), percentile (trips, 0.5), percentile (trips, 0.95), *std::max_element (trips.begin(), trips.end()));
    }

    brindle::shutDownWebViews();
    return 0;
}
