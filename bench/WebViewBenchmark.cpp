// The web view's figures, with the tests' page (tests/fixtures/webview/) served by the
// resource provider, for the web engine in a helper process (what the application runs) and in
// this process, in the same run: how long a new view takes to its page's first event ("ready"),
// how long an event takes from the host to the page and back (the page echoes it), a "state"
// of 24 bands echoed at a drag's rate (60 a second), and the resident memory of this process,
// the helper and the web engine's processes. Needs an X display.
#include "platform/webview/WebBrowserComponent.h"
#include "platform/webview/WebKitGtkBackend.h"
#include "platform/webview/WebViewHelperBackend.h"
#include "platform/webview/WebViewShutdown.h"
#include "platform/XLibrariesStayLoaded.h"
#include "tests/platform/webview/WebKitProcesses.h"
#include "tests/support/TemporaryFolder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
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
        explicit Viewer (const WebBrowserBackendFactory& backend)
        {
            window.setBounds (80, 60, 640, 480);
            window.addToDesktop (0);

            view = std::make_unique<WebBrowserComponent> (WebBrowserComponent::Options{}
                                                              .withResourceProvider (&serveFixture)
                                                              .withEventListener ("ready", [this] (juce::var) { ++readies; })
                                                              .withEventListener ("echoed", [this] (juce::var) { ++echoes; })
                                                              .withBackend (backend));
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

    /** Resident memory of process `pid` in MiB, from /proc. */
    double residentMiB (pid_t pid)
    {
        // The framework reads a file only as far as its size, which is 0 in /proc.
        std::ifstream status ("/proc/" + std::to_string (pid) + "/status");
        juce::StringArray lines;
        lines.addLines (juce::String (std::string (std::istreambuf_iterator<char> (status), std::istreambuf_iterator<char>())));

        for (const auto& line : lines)
            if (line.startsWith ("VmRSS:"))
                return line.fromFirstOccurrenceOf (":", false, false).trim().getDoubleValue() / 1024.0;

        return 0;
    }

    double residentOfWebProcesses (pid_t parent)
    {
        double sum = 0;

        for (auto pid : brindle::test::runningWebKitChildren ("WebKit", parent))
            sum += residentMiB (pid);

        return sum;
    }

    juce::var meterPayload()
    {
        auto payload = std::make_unique<juce::DynamicObject>();
        payload->setProperty ("running", true);
        payload->setProperty ("latencyMs", 12.5);
        payload->setProperty ("error", "");
        return juce::var (payload.release());
    }

    /** A correction state of 24 bands, as the console sends while a band is dragged. */
    juce::var dragState (int step)
    {
        juce::Array<juce::var> bands;

        for (int b = 0; b < 24; ++b)
        {
            auto band = std::make_unique<juce::DynamicObject>();
            band->setProperty ("type", "peaking");
            band->setProperty ("freqHz", 40.0 * std::pow (1.3, b) + step * 0.37);
            band->setProperty ("gainDb", -6.0 + 0.5 * b);
            band->setProperty ("q", 1.41);
            band->setProperty ("enabled", true);
            bands.add (juce::var (band.release()));
        }

        auto state = std::make_unique<juce::DynamicObject>();
        state->setProperty ("bands", bands);
        state->setProperty ("correctionPct", 100);
        state->setProperty ("outputDb", -3.5);
        state->setProperty ("safeHeadroom", true);
        return juce::var (state.release());
    }

    double percentile (std::vector<double> values, double share)
    {
        std::sort (values.begin(), values.end());
        return values[(size_t) (share * (double) (values.size() - 1))];
    }
}

/** Starts `child` (a WebViewBootChild) `runs` times: the milliseconds from each start to its
    page's first event. */
std::vector<double> bootsOf (const char* child, int runs)
{
    std::vector<double> boots;

    for (int i = 0; i < runs; ++i)
    {
        timespec now {};
        clock_gettime (CLOCK_MONOTONIC, &now);
        setenv ("BRINDLE_BOOT_STARTED_NS", juce::String ((juce::int64) now.tv_sec * 1000000000 + now.tv_nsec).toRawUTF8(), 1);

        juce::ChildProcess process;

        if (! process.start (juce::String (child), juce::ChildProcess::wantStdOut))
            break;

        const auto printed = process.readAllProcessOutput().trim();

        if (process.getExitCode() == 0 && printed.isNotEmpty())
            boots.push_back (printed.getDoubleValue());
    }

    return boots;
}

struct Figures
{
    std::vector<double> boots, trips, drags;
    double thisProcessMiB = 0, helperMiB = 0, webMiB = 0;
};

/** `views` views one after the other, each to its first "ready"; then on one more, the round
    trips and the drag, and the memory while it shows. */
bool measure (const WebBrowserBackendFactory& backend, int views, Figures& figures,
              const std::function<pid_t()>& helperOfLastView)
{
    for (int i = 0; i < views; ++i)
    {
        const auto started = nowMs();
        Viewer viewer (backend);

        if (! pumpUntil ([&] { return viewer.readies > 0; }, 30000))
            return false;

        figures.boots.push_back (nowMs() - started);
    }

    Viewer viewer (backend);

    if (! pumpUntil ([&] { return viewer.readies > 0; }, 30000))
        return false;

    const auto meter = meterPayload();

    for (int i = 0; i < 500; ++i)
    {
        const auto before = viewer.echoes;
        const auto sent = nowMs();
        viewer.view->emitEventIfBrowserIsVisible ("echo", meter);

        if (! pumpUntil ([&] { return viewer.echoes > before; }, 5000))
            return false;

        figures.trips.push_back (nowMs() - sent);
    }

    // One state a frame, each echoed before the next is due.
    for (int i = 0; i < 300; ++i)
    {
        const auto due = nowMs() + 1000.0 / 60.0;
        const auto before = viewer.echoes;
        const auto sent = nowMs();
        viewer.view->emitEventIfBrowserIsVisible ("echo", dragState (i));

        if (! pumpUntil ([&] { return viewer.echoes > before; }, 5000))
            return false;

        figures.drags.push_back (nowMs() - sent);
        pumpUntil ([&] { return nowMs() >= due; }, 100);
    }

    figures.thisProcessMiB = residentMiB (getpid());
    const auto helper = helperOfLastView();
    figures.helperMiB = helper > 0 ? residentMiB (helper) : 0;
    figures.webMiB = residentOfWebProcesses (helper > 0 ? helper : getpid());
    return true;
}

void print (const char* name, const Figures& f)
{
    const std::vector<double> later (f.boots.begin() + 1, f.boots.end());
    std::printf ("%s: first page event after start: first view %.0f ms, later views median %.0f ms (max %.0f)\n", name,
                 f.boots.front(), percentile (later, 0.5), *std::max_element (later.begin(), later.end()));
    std::printf ("%s: event round trip (host to page and back, %d events): p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", name,
                 (int) f.trips.size(), percentile (f.trips, 0.5), percentile (f.trips, 0.99), *std::max_element (f.trips.begin(), f.trips.end()));
    std::printf ("%s: 24-band state at 60 a second, echoed (%d): p50 %.2f ms, p99 %.2f ms\n", name,
                 (int) f.drags.size(), percentile (f.drags, 0.5), percentile (f.drags, 0.99));
    std::printf ("%s: resident memory: this process %.0f MiB, helper %.0f MiB, web engine's processes %.0f MiB\n", name,
                 f.thisProcessMiB, f.helperMiB, f.webMiB);
}

int main()
{
    brindle::keepXLibrariesLoadedUnderSanitizers();
    // What the views keep goes to a folder of this run's, never the user's data folder.
    const brindle::test::TemporaryFolder webViewData;
    setenv ("XDG_DATA_HOME", webViewData.get().getFullPathName().toRawUTF8(), 1);

    juce::JUCEApplicationBase::createInstance = &createNoApplication;
    juce::ScopedJuceInitialiser_GUI juce;

    // The helper first, while this process has no web engine of its own: as in the application.
    WebViewHelperBackend* lastHelper = nullptr;
    const WebBrowserBackendFactory helper = [&] (WebBrowserBackend::Host& host)
    {
        auto made = std::make_unique<WebViewHelperBackend> (host, juce::File (BRINDLE_WEBVIEW_HELPER));
        lastHelper = made.get();
        return made;
    };
    const WebBrowserBackendFactory inProcess = [] (WebBrowserBackend::Host& host) { return std::make_unique<WebKitGtkBackend> (host); };

    Figures helperFigures, inProcessFigures;

    if (! measure (helper, 6, helperFigures, [&] { return (pid_t) lastHelper->getHelperProcessId(); })
        || ! measure (inProcess, 6, inProcessFigures, [] { return (pid_t) 0; }))
    {
        std::printf ("the page never said ready (no display?)\n");
        return 1;
    }

    print ("helper process", helperFigures);
    print ("in this process", inProcessFigures);

    // A program's start to its page's first "ready", the web engine linked in (as the
    // application was) against the engine in the helper (as it is), taken in turns.
    std::vector<double> bootsInProcess, bootsHelper;

    for (int round = 0; round < 7; ++round)
    {
        for (auto b : bootsOf (BRINDLE_BOOT_IN_PROCESS_CHILD, 1)) bootsInProcess.push_back (b);
        for (auto b : bootsOf (BRINDLE_BOOT_HELPER_CHILD, 1)) bootsHelper.push_back (b);
    }

    if (bootsInProcess.empty() || bootsHelper.empty())
    {
        std::printf ("a boot child never said ready\n");
        return 1;
    }

    std::printf ("program start to ready (%d starts each): engine in the program median %.0f ms (min %.0f), in the helper median %.0f ms (min %.0f)\n",
                 (int) bootsHelper.size(), percentile (bootsInProcess, 0.5), *std::min_element (bootsInProcess.begin(), bootsInProcess.end()),
                 percentile (bootsHelper, 0.5), *std::min_element (bootsHelper.begin(), bootsHelper.end()));
    std::printf ("the helper adds: round trip p99 %+.2f ms (goal <= 0.5), program start to ready %+.0f ms (goal <= 20)\n",
                 percentile (helperFigures.trips, 0.99) - percentile (inProcessFigures.trips, 0.99),
                 percentile (bootsHelper, 0.5) - percentile (bootsInProcess, 0.5));

    brindle::shutDownWebViews();
    return 0;
}
