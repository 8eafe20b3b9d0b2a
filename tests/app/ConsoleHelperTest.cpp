// The application with its console's web view in the helper process, under a display: killed
// at any moment, unable to start, or sending garbage, the helper never takes the application,
// its sound or its settings with it, and the console comes back.
#include "ApplicationFixture.h"
#include "MessageLoop.h"
#include "TemporaryFolder.h"

#include "app/Tray.h"
#include "platform/simulation/SimulatedSignal.h"
#include "platform/webview/WebViewHelperBackend.h"
#include "tests/platform/webview/WebKitProcesses.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cmath>
#include <memory>
#include <set>

namespace brindle::test
{

namespace
{
    constexpr float cableLevel = 0.5f;
    constexpr std::int64_t capturedFrames = 48000 * 90;

    /** A cable playing a constant level into speakers that keep what they play, on the manual
        clock: any gap or change of level shows in the speakers' samples. */
    std::shared_ptr<SimulatedAudioSystem> steadyCableIntoSpeakers()
    {
        auto system = std::make_shared<SimulatedAudioSystem> (SimulatedClock::Mode::manual);
        system->add (SimulatedDeviceConfig::cablePair().withSignal (constantSignal (cableLevel)));
        system->add (SimulatedDeviceConfig::output (SimulatedSoundCard::speakersName).withCapture (capturedFrames));
        return system;
    }

    const juce::String steadyRoute = ApplicationFixture::routeJson ("CABLE Output", SimulatedSoundCard::speakersName,
                                                                    ",\"state\":{\"bands\":[],\"correctionPct\":100,\"outputDb\":-6,\"safeHeadroom\":false}");

    /** The fixture's application with its console in the helper `helper`. */
    struct HelperConsole : ApplicationFixture
    {
        WebViewHelperBackend* engine = nullptr;

        explicit HelperConsole (const juce::File& helper = juce::File (BRINDLE_WEBVIEW_HELPER))
            : ApplicationFixture (true, steadyCableIntoSpeakers())
        {
            app->getServices().webBackend = [this, helper] (WebBrowserBackend::Host& host)
            {
                auto made = std::make_unique<WebViewHelperBackend> (host, helper);
                engine = made.get();
                return made;
            };
        }

        ConsoleComponent& console() { return app->getWindow()->getConsole(); }
        const OutputCapture& speakers() const { return audio->getEndpoint (SimulatedSoundCard::speakersName)->getCapture(); }

        /** Pumps the message loop, with 10 ms of audio a turn, until `condition` holds. */
        bool playUntil (const std::function<bool()>& condition, int timeoutMs = 60000)
        {
            return pumpUntil ([&]
            {
                if (speakers().getNumFrames() < capturedFrames - 4800)
                    audio->advance (std::chrono::milliseconds (10));

                return condition();
            }, timeoutMs);
        }

        /** The frame the speakers first played the cable at, or -1. */
        std::int64_t firstSound() const
        {
            for (std::int64_t i = 0; i < speakers().getNumFrames(); ++i)
                if (std::abs (speakers().getSample (0, i)) > 1e-3f)
                    return i;

            return -1;
        }

        /** Frames from the first sound on that are not the steady level, both channels. */
        std::int64_t framesOffTheSteadyLevel() const
        {
            const auto steady = cableLevel * std::pow (10.0f, -6.0f / 20.0f);
            std::int64_t off = 0;
            const auto first = firstSound();

            for (std::int64_t i = std::max<std::int64_t> (first, 0) + 48000; i < speakers().getNumFrames(); ++i)
                for (int c = 0; c < 2; ++c)
                    off += std::abs (speakers().getSample (c, i) - steady) > 1e-3f ? 1 : 0;

            return off;
        }
    };

    /** A helper executable that is a shell script of ours. */
    juce::File scriptHelper (const juce::File& folder, const juce::String& body)
    {
        const auto file = folder.getChildFile ("DuzezavureWebView");
        file.replaceWithText ("#!/bin/sh\n" + body + "\n", false, false, "\n");
        file.setExecutePermission (true);
        return file;
    }
}

TEST (ConsoleHelper, TheSoundAndTheConsoleSurviveTheHelperAndItsWebProcessKilledAtAnyMoment)
{
    HelperConsole f;
    f.writeSettings (steadyRoute);
    f.app->initialise ({});
    ASSERT_TRUE (f.app->getRouter().isRunning()) << f.app->getRouter().getLastError();
    ASSERT_TRUE (f.playUntil ([&] { return f.console().isPageReady(); })) << "the page never said ready";

    juce::Random random (20261211);
    std::set<pid_t> killed;

    for (int round = 0; round < 40; ++round)
    {
        const bool killHelper = round % 2 == 0;
        const auto readies = f.console().getPageReadyCount();
        const auto helper = (pid_t) f.engine->getHelperProcessId();
        ASSERT_GT (helper, 0) << "round " << round;

        // The web process is waited for; the helper is killed from 0 to 2 s after its start.
        if (! killHelper)
        {
            ASSERT_TRUE (f.playUntil ([&] { return ! runningWebKitChildren ("WebKitWebProces", helper).empty(); }))
                << "round " << round << ": the helper has no web process";
        }

        const auto delayMs = random.nextInt (2001);
        const auto killAt = juce::Time::getMillisecondCounterHiRes() + delayMs;
        f.playUntil ([&] { return juce::Time::getMillisecondCounterHiRes() >= killAt; }, 5000);

        for (auto pid : runningWebKitChildren ("WebKit", helper))
            killed.insert (pid);

        // Every web process of the helper's, should it keep a spare.
        const auto victims = killHelper ? std::vector<pid_t> { helper } : runningWebKitChildren ("WebKitWebProces", helper);

        for (auto victim : victims)
        {
            ::kill (victim, SIGKILL);
            killed.insert (victim);
        }

        if (killHelper)
        {
            ASSERT_TRUE (f.playUntil ([&] { return f.engine->getFailureText().isNotEmpty(); }))
                << "round " << round << ": no notice after the helper was killed " << delayMs << " ms after its start";
            EXPECT_TRUE (f.engine->getFailureText().contains ("killed by signal 9")) << f.engine->getFailureText();

            // As "Open" in the tray does: the helper starts again at once.
            f.app->getTray()->handleMenuResult (DuzezavureApplication::Tray::openConsole);
        }

        ASSERT_TRUE (f.playUntil ([&] { return f.console().getPageReadyCount() > readies; }, 120000))
            << "round " << round << ": the console did not come back after its "
            << (killHelper ? "helper" : "web process") << " was killed at " << delayMs << " ms";
        EXPECT_TRUE (f.engine->getFailureText().isEmpty());
    }

    EXPECT_EQ (f.quits, 0);
    EXPECT_TRUE (f.app->getRouter().isRunning());
    EXPECT_GT (f.speakers().getNumFrames(), 48000 * 10);
    EXPECT_EQ (f.framesOffTheSteadyLevel(), 0) << "the speakers played a gap or another level";

    const auto lastHelper = (pid_t) f.engine->getHelperProcessId();
    f.app->shutdown();
    f.app.reset();

    // No process of the helpers' is left: not the last helper, not a web process of a killed one.
    killed.insert (lastHelper);
    EXPECT_TRUE (pumpUntil ([&] { return std::none_of (killed.begin(), killed.end(), isRunning); }, 30000));
}

TEST (ConsoleHelper, AHelperThatCannotStartLeavesTheSoundAndTheTrayWorkingAndSaysWhy)
{
    TemporaryFolder folder;
    const auto helper = scriptHelper (folder.get(), "echo 'error while loading shared libraries: libwebkit2gtk-4.0.so.37: cannot open shared object file' >&2\nexit 3");
    HelperConsole f (helper);
    f.writeSettings (steadyRoute);
    f.app->initialise ({});

    ASSERT_TRUE (f.app->getRouter().isRunning()) << f.app->getRouter().getLastError();
    ASSERT_TRUE (f.playUntil ([&] { return f.engine->getFailureText().isNotEmpty(); }));
    const auto notice = f.engine->getFailureText();
    EXPECT_TRUE (notice.contains ("The console could not be shown.")) << notice;
    EXPECT_TRUE (notice.contains ("exited with status 3")) << notice;
    EXPECT_TRUE (notice.contains ("libwebkit2gtk-4.0.so.37: cannot open shared object file")) << notice;

    // The stored route plays from its first sound, on the steady level.
    f.playUntil ([&] { return f.speakers().getNumFrames() > 48000 * 3; });
    EXPECT_GE (f.firstSound(), 0);
    EXPECT_LT (f.firstSound(), 48000 / 2);
    EXPECT_EQ (f.framesOffTheSteadyLevel(), 0);

    // The tray works; opening the console, while the next start waits for its pause, tries
    // again at once, which fails the same way.
    ASSERT_TRUE (f.playUntil ([&] { return f.engine->isWaitingToRestart(); }));
    const auto starts = f.engine->getHelperStarts();
    const auto failures = f.engine->getHelperFailures();
    f.app->getTray()->handleMenuResult (DuzezavureApplication::Tray::openConsole);
    EXPECT_EQ (f.engine->getHelperStarts(), starts + 1);
    EXPECT_TRUE (f.app->getWindow()->isVisible());
    ASSERT_TRUE (f.playUntil ([&] { return f.engine->getHelperFailures() > failures; }));
    EXPECT_TRUE (f.engine->getFailureText().contains ("exited with status 3"));

    f.app->shutdown();
    f.app.reset();

    // Every helper was reaped: no child is left, running or ended.
    EXPECT_TRUE (runningWebKitChildren ("", getpid()).empty());
    EXPECT_EQ (waitpid (-1, nullptr, WNOHANG), -1);
}

TEST (ConsoleHelper, AHelperThatSendsGarbageIsEndedAndStartedAgainAndTheSettingsStayAsTheyWere)
{
    struct Case
    {
        const char* what;
        const char* script;   // what the helper writes on its channel, then it waits
        const char* problem;
        bool flooded = false; // the application sends it more than its channel holds
    };

    const Case cases[] = {
        { "a frame longer than any page message", "printf '\\377\\377\\377\\177' >&3", "over the limit" },
        { "a frame of an unknown type", "printf '\\011\\000\\000\\000\\310\\000\\000\\000\\000\\000\\000\\000\\000' >&3", "unknown type" },
        { "a plug window that is not a number", "printf '\\014\\000\\000\\000\\100\\000\\000\\000\\000\\003\\000\\000\\000abc' >&3", "may not send" },
        { "a helper that stops reading", "true", "took nothing from its channel", true },
    };

    for (const auto& c : cases)
    {
        TemporaryFolder folder;
        const auto helper = scriptHelper (folder.get(), juce::String (c.script) + "\nexec sleep 600");
        HelperConsole f (helper);
        f.writeSettings (steadyRoute);
        f.app->initialise ({});
        const auto before = f.settingsFile().loadFileAsString();

        if (c.flooded)
            f.engine->runScriptInAnyPage ("/*" + juce::String::repeatedString ("x", 4 << 20) + "*/");

        ASSERT_TRUE (f.playUntil ([&] { return f.engine->getFailureText().isNotEmpty(); })) << c.what;
        const auto notice = f.engine->getFailureText();
        EXPECT_TRUE (notice.contains (c.problem)) << c.what << ": " << notice;
        EXPECT_TRUE (notice.contains ("killed by signal 9")) << c.what << ": it is ended, not trusted to end: " << notice;

        // Started again after its pause (1 s), without being asked.
        const auto starts = f.engine->getHelperStarts();
        EXPECT_TRUE (f.playUntil ([&] { return f.engine->getHelperStarts() > starts; }, 30000)) << c.what;

        EXPECT_TRUE (f.app->getRouter().isRunning()) << c.what;
        EXPECT_EQ (f.settingsFile().loadFileAsString(), before) << c.what;
        EXPECT_EQ (f.framesOffTheSteadyLevel(), 0) << c.what;
        f.app->shutdown();
    }
}

TEST (ConsoleHelper, AKilledApplicationLeavesNoHelperAndNoWebProcessBehind)
{
    // The application itself, started as a user would (with the simulated sound card), in
    // folders of the test's own; its output goes to a file, which no web process holds open.
    const TemporaryFolder home;
    const auto log = home.get().getChildFile ("app.log");
    juce::StringArray command { "env", "HOME=" + home.get().getFullPathName(),
                                "XDG_CONFIG_HOME=" + home.get().getChildFile ("config").getFullPathName(),
                                "XDG_DATA_HOME=" + home.get().getChildFile ("data").getFullPathName(),
                                "XDG_RUNTIME_DIR=" + home.get().getChildFile ("run").getFullPathName(),
                                juce::String (SimulatedSoundCard::enableVariable) + "=1", BRINDLE_APP };
    home.get().getChildFile ("run").createDirectory();
    home.get().getChildFile ("run").setExecutePermission (true);
    juce::StringArray shell { "sh", "-c", "exec \"$@\" > \"$0\" 2>&1", log.getFullPathName() };
    shell.addArray (command);

    juce::ChildProcess app;
    ASSERT_TRUE (app.start (shell, 0));
    // The shell and env(1) become the application; "DuzezavureWebView", as the kernel names
    // it, is cut to 15 characters.
    pid_t appPid = 0;
    std::vector<pid_t> helpers, web;
    const auto started = pumpUntil ([&]
    {
        const auto apps = runningWebKitChildren ("Duzezavure");
        appPid = apps.empty() ? 0 : apps.front();
        helpers = appPid == 0 ? std::vector<pid_t>() : runningWebKitChildren ("DuzezavureWebVi", appPid);
        web = helpers.empty() ? std::vector<pid_t>() : runningWebKitChildren ("WebKitWebProces", helpers.front());
        return ! web.empty();
    }, 120000);
    ASSERT_TRUE (started) << log.loadFileAsString();

    ::kill (appPid, SIGKILL);
    app.waitForProcessToFinish (10000);

    EXPECT_TRUE (pumpUntil ([&] { return ! isRunning (helpers.front()) && ! isRunning (web.front()); }, 30000))
        << "helper " << (isRunning (helpers.front()) ? "still runs" : "ended") << ", its web process "
        << (isRunning (web.front()) ? "still runs" : "ended");
}

} // namespace brindle::test
