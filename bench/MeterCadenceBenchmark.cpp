// The "meter" events as the console page hears them: the console on the bundled page in
// WebKitGTK (in its helper process, as the application runs it), in a window of its own, the
// router on the simulated sound card. A probe in the page notes when each "meter" arrives for
// ten seconds and reports the gaps between them through the page's own bridge (as the name of a
// room it saves). The host sends one every 100 ms while the page is ready and showing. Goal: the longest gap at most 200 ms.
// Needs an X display.
#include "FakeApplicationDataFolder.h"
#include "TemporaryFolder.h"

#include "app/DuzezavureSettings.h"
#include "console/ConsoleComponent.h"
#include "platform/webview/WebViewHelperBackend.h"
#include "platform/webview/WebViewShutdown.h"
#include "platform/XLibrariesStayLoaded.h"
#include "platform/simulation/SimulatedDeviceManager.h"
#include "platform/simulation/SimulatedSoundCard.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace
{
    using namespace brindle;

    constexpr const char* probeScript = R"js(
        (function () {
          const times = [];
          window.__JUCE__.backend.addEventListener('meter', () => times.push(performance.now()));
          setTimeout(() => {
            const gaps = times.slice(1).map((t, i) => Math.round((t - times[i]) * 10) / 10);
            window.__JUCE__.backend.emitEvent('library', { action: 'save', name: 'gaps ' + JSON.stringify(gaps) });
          }, 10000);
        })();
    )js";

    juce::JUCEApplicationBase* createNoApplication() { return nullptr; }

    bool pumpUntil (const std::function<bool()>& condition, double timeoutMs)
    {
        const auto deadline = juce::Time::getMillisecondCounterHiRes() + timeoutMs;

        while (! condition())
        {
            if (juce::Time::getMillisecondCounterHiRes() > deadline)
                return false;

            juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
        }

        return true;
    }

    double percentile (std::vector<double> values, double share)
    {
        std::sort (values.begin(), values.end());
        return values[(size_t) (share * (double) (values.size() - 1))];
    }

    /** The gaps the probe saved as a room's name; empty until they arrived. */
    std::vector<double> savedGaps (DuzezavureSettings& settings)
    {
        std::vector<double> gaps;
        for (const auto& name : settings.getLibraryNames())
        {
            if (! name.startsWith ("gaps "))
                continue;

            // Kept while its array is read.
            const auto parsed = juce::JSON::parse (name.fromFirstOccurrenceOf ("gaps ", false, false));

            if (const auto* list = parsed.getArray())
                for (const auto& gap : *list)
                    gaps.push_back ((double) gap);
        }
        return gaps;
    }

    int measure()
    {
        test::TemporaryFolder home;
        FakeApplicationDataFolder folder (home.get());
        DuzezavureSettings settings (folder);
        settings.load();
        settings.setStateJson ("{\"bands\":[]}");   // a room is saved only from a state in force
        AudioRouter router (std::make_unique<SimulatedDeviceManager> (SimulatedSoundCard::create (SimulatedClock::Mode::manual)));

        WebViewHelperBackend* engine = nullptr;
        ConsoleServices services;
        services.webBackend = [&engine] (WebBrowserBackend::Host& host)
        {
            auto made = std::make_unique<WebViewHelperBackend> (host, juce::File (BRINDLE_WEBVIEW_HELPER));
            engine = made.get();
            return made;
        };

        juce::Component window;
        window.setBounds (80, 60, 1120, 860);
        window.addToDesktop (0);
        auto console = std::make_unique<ConsoleComponent> (router, settings, std::move (services));
        console->setBounds (window.getLocalBounds());
        window.addAndMakeVisible (*console);
        window.setVisible (true);

        if (engine == nullptr || ! pumpUntil ([&] { return console->isPageReady(); }, 30000))
        {
            std::printf ("the page never said ready (no display?)\n");
            return 1;
        }

        engine->runScriptInAnyPage (probeScript);

        if (! pumpUntil ([&] { return ! savedGaps (settings).empty(); }, 30000))
        {
            std::printf ("the probe reported no meters\n");
            return 1;
        }

        const auto gaps = savedGaps (settings);
        const double longest = *std::max_element (gaps.begin(), gaps.end());
        std::printf ("\"meter\" as the page hears it, %d gaps in 10 s: p50 %.1f ms, p95 %.1f ms, max %.1f ms\n",
                     (int) gaps.size(), percentile (gaps, 0.5), percentile (gaps, 0.95), longest);
        std::printf ("longest gap at most 200 ms: %s\n", longest <= 200.0 ? "met" : "MISSED");
        return 0;
    }
}

int main()
{
    brindle::keepXLibrariesLoadedUnderSanitizers();
    juce::JUCEApplicationBase::createInstance = &createNoApplication;
    juce::ScopedJuceInitialiser_GUI juce;

    const int result = measure();
    brindle::shutDownWebViews();
    return result;
}
