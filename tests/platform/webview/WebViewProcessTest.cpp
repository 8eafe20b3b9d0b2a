// The web view across the process: without a display, and at shut-down. Each runs this test
// binary again as a child, on a test that is otherwise left out (DISABLED_), because GTK
// starts once per process and ends for good.
#include "ThisBinaryAsChild.h"
#include "WebKitProcesses.h"
#include "WebViewFixture.h"

#include "platform/webview/GtkThread.h"
#include "platform/webview/WebViewShutdown.h"

#include <chrono>
#include <fstream>
#include <iostream>
#include <cstdlib>
#include <thread>

namespace brindle::test
{

namespace
{
    using WebViewChild = WebViewFixture;

    bool isZombie (int pid)
    {
        std::ifstream file ("/proc/" + std::to_string (pid) + "/stat");
        const std::string stat { std::istreambuf_iterator<char> (file), std::istreambuf_iterator<char>() };
        const auto close = stat.rfind (')');
        return close != std::string::npos && stat.compare (close + 2, 1, "Z") == 0;
    }
}

TEST (WebViewProcess, WithoutADisplayTheViewStaysEmptyAndTheRestGoesOn)
{
    expectPassed (runThisBinary ("WebViewChild.DISABLED_WithoutADisplay", { "-u", "DISPLAY" }));
}

TEST (WebViewProcess, ShutDownEndsEveryWebKitProcess)
{
    const auto run = runThisBinary ("WebViewChild.DISABLED_ShutDownEndsEveryWebKitProcess");
    expectPassed (run);

    // The web engine's processes end with the program that started them.
    const auto pids = juce::StringArray::fromTokens (run.output.fromFirstOccurrenceOf ("web engine processes:", false, false)
                                                         .upToFirstOccurrenceOf ("\n", false, false), " ", "");
    EXPECT_FALSE (pids.isEmpty()) << run.output;
    const auto gone = [&] {
        for (const auto& pid : pids)
            if (pid.isNotEmpty() && juce::File ("/proc/" + pid).exists() && ! isZombie (pid.getIntValue()))
                return false;
        return true;
    };
    EXPECT_TRUE (pumpUntil (gone, 10000)) << "still running: " << pids.joinIntoString (" ");
}

TEST (WebViewProcess, AStopWhoseLastWorkNeverEndsStillReturns)
{
    // The child ends at once after the stop, so it prints no summary: its status and its
    // message tell.
    const auto run = runThisBinary ("GtkThreadChild.DISABLED_StopWithStuckLastWork");
    EXPECT_EQ (run.exitCode, 0) << run.output;
    EXPECT_TRUE (run.output.contains ("quitting without it")) << run.output;
}

// As the web engine's own teardown was once seen to do: the last work on the GTK thread never
// returns. The program must still get to its end.
TEST (GtkThreadChild, DISABLED_StopWithStuckLastWork)
{
    ASSERT_TRUE (GtkThread::start());

    const auto started = juce::Time::getMillisecondCounterHiRes();
    GtkThread::stop ([] { for (;;) std::this_thread::sleep_for (std::chrono::seconds (1)); });
    const auto seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;

    EXPECT_GE (seconds, 9.0) << "it waited for the thread first";
    EXPECT_LT (seconds, 60.0) << "it did not wait for the stuck thread for ever";
    // A stuck thread is left behind: end here, without the test main's own shut-down.
    std::_Exit (::testing::Test::HasFailure() ? 1 : 0);
}

TEST_F (WebViewChild, DISABLED_WithoutADisplay)
{
    show();
    pumpFor (500);

    EXPECT_EQ (view->getNumChildComponents(), 0);
    EXPECT_EQ (backend->getCommittedURL(), "");
    view->emitEventIfBrowserIsVisible ("echo", 1);   // dropped, without harm

    // The window shows its own background where the page would be.
    const auto snapshot = window.createComponentSnapshot (window.getLocalBounds());
    EXPECT_EQ (snapshot.getPixelAt (320, 240), juce::Colour (0xffe9e7e1));
}

TEST_F (WebViewChild, DISABLED_ShutDownEndsEveryWebKitProcess)
{
    showAndWaitForReady();

    const auto processes = runningWebKitChildren();
    EXPECT_FALSE (processes.empty());

    std::cout << "web engine processes:";
    for (auto pid : processes)
        std::cout << " " << pid;
    std::cout << std::endl;

    // The views close, and the program goes on to its end without waiting for the web engine.
    view.reset();
    const auto started = juce::Time::getMillisecondCounterHiRes();
    shutDownWebViews();
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - started, 5000.0);
}

} // namespace brindle::test
