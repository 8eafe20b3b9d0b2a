#include "VarObject.h"
#include "FakeApplicationDataFolder.h"
#include "FakeSoundSettingsLauncher.h"
#include "FakeWebBrowserBackend.h"
#include "FileBytes.h"
#include "MessageLoop.h"
#include "TemporaryFolder.h"

#include "common/JsonLimits.h"
#include "common/JsonWriter.h"
#include "console/ConsoleComponent.h"
#include "engine/DeviceLists.h"
#include "engine/StateParseResult.h"
#include "platform/simulation/SimulatedDeviceManager.h"
#include "platform/simulation/SimulatedSoundCard.h"

#include <gtest/gtest.h>

namespace brindle::test
{

namespace
{
    const juce::String speakers = SimulatedSoundCard::speakersName;

    juce::String stateWithOutput (double outputDb)
    {
        return "{\"version\":1,\"correctionPct\":100,\"outputDb\":" + juce::String (outputDb) + ",\"bands\":[]}";
    }

    /** A state of exactly `bytes` bytes (its name padded), with that left delay. */
    juce::String stateOfLength (double delayLeftMs, size_t bytes)
    {
        const auto head = "{\"version\":1,\"correctionPct\":100,\"delayLeftMs\":" + juce::String (delayLeftMs) + ",\"bands\":[],\"profileName\":\"";
        return head + juce::String::repeatedString ("x", (int) (bytes - head.getNumBytesAsUTF8() - 2)) + "\"}";
    }

    /** Settings holding a state with a 7.5 ms left delay and one large room, "Big", that leave
        the document `roomLeft` bytes short of the longest text its reader takes. */
    juce::String settingsWithRoomLeft (size_t roomLeft)
    {
        const auto withPadding = [] (size_t padding)
        {
            return "{\"version\":1,\"state\":{\"correctionPct\":100,\"delayLeftMs\":7.5,\"bands\":[]},"
                   "\"library\":{\"Big\":{\"bands\":[],\"profileName\":\"" + juce::String::repeatedString ("x", (int) padding) + "\"}}}";
        };
        const auto unpadded = toJsonUtf8 (juce::JSON::fromString (withPadding (0)), JsonLayout::indented).size();
        return withPadding (maxJsonTextBytes - roomLeft - unpadded);
    }

    juce::var routeTo (const juce::String& output, const juce::String& input = "CABLE Output")
    {
        return object ({ { "deviceType", "Simulated" }, { "inputDevice", input }, { "outputDevice", output },
                         { "sampleRate", 48000 }, { "bufferSize", 256 }, { "queueMs", 30 } });
    }

    /** A console on the fake web view, over a router on the simulated sound card (manual
        clock) and a settings store in a temporary folder. */
    struct ConsoleRig
    {
        TemporaryFolder home;
        FakeApplicationDataFolder folder { home.get() };
        DuzezavureSettings settings { folder };
        std::shared_ptr<SimulatedAudioSystem> audio = SimulatedSoundCard::create (SimulatedClock::Mode::manual);
        AudioRouter router { std::make_unique<SimulatedDeviceManager> (audio) };
        FakeSoundSettingsLauncher soundSettings;
        juce::StringArray opened;
        int routeChanges = 0;
        FakeWebBrowserBackend* view = nullptr;
        std::unique_ptr<ConsoleComponent> console;

        explicit ConsoleRig (const juce::String& settingsJson = {})
        {
            if (settingsJson.isNotEmpty())
            {
                settingsFile().getParentDirectory().createDirectory();
                settingsFile().replaceWithText (settingsJson);
            }
            settings.load();

            ConsoleServices services;
            services.soundSettings = &soundSettings;
            services.openInBrowser = [this] (const juce::String& url) { opened.add (url); };
            services.routeApplied = [this] { ++routeChanges; };
            services.webBackend = FakeWebBrowserBackend::factory (view);
            console = std::make_unique<ConsoleComponent> (router, settings, std::move (services));
            console->setSize (800, 600);
        }

        ~ConsoleRig()
        {
            console.reset();
            router.closeDevices();
        }

        juce::File settingsFile() const { return home.get().getChildFile ("Tonwell/duzezavure.json"); }

        juce::StringArray sentIds() const
        {
            juce::StringArray ids;
            for (const auto& event : view->sent)
                ids.add (event.eventId);
            return ids;
        }

        void ready()
        {
            view->postPageEvent ("ready");
        }
    };
}

TEST (ConsoleComponent, GoesToTheEmbeddedPageAsTheSystemConsoleAndShowsOnlyTheWebView)
{
    ConsoleRig rig;

    EXPECT_EQ (rig.view->visitedURLs, juce::StringArray (WebBrowserComponent::getResourceProviderRoot() + "?host=duzezavure"));
    ASSERT_EQ (rig.console->getNumChildComponents(), 1);
    EXPECT_EQ (rig.console->getChildComponent (0)->getBounds(), juce::Rectangle<int> (0, 0, 800, 600));

    rig.console->setSize (1234, 777);
    EXPECT_EQ (rig.console->getChildComponent (0)->getBounds(), juce::Rectangle<int> (0, 0, 1234, 777));

    // The page's files come from the embedded bundle.
    const auto page = rig.view->requestResource ("/?host=duzezavure");
    ASSERT_TRUE (page.has_value());
    EXPECT_EQ (page->mimeType, "text/html");
    EXPECT_FALSE (rig.view->requestResource ("/missing.js").has_value());
}

TEST (ConsoleComponent, ReadyIsAnsweredWithRestoreDevicesAndLibraryInThatOrder)
{
    {
        ConsoleRig rig ("{\"version\":1,\"state\":" + stateWithOutput (-3) + "}");
        rig.view->setShowing (true);
        rig.ready();

        EXPECT_TRUE (rig.console->isPageReady());
        EXPECT_EQ (rig.sentIds(), juce::StringArray ({ "restore", "devices", "library" }));
        EXPECT_EQ (rig.view->sentOf ("restore")[0].payload, juce::var (rig.settings.getStateJson())) << "the stored state as a string";
    }
    {
        ConsoleRig rig;
        rig.view->setShowing (true);
        rig.ready();
        EXPECT_EQ (rig.sentIds(), juce::StringArray ({ "devices", "library" })) << "no state stored, no restore";
    }
}

TEST (ConsoleComponent, TheMeterRunsOnlyOnceThePageIsReadyAndWhileTheViewIsShowing)
{
    ConsoleRig rig;
    rig.view->setShowing (true);
    pumpFor (350);
    EXPECT_TRUE (rig.view->sentOf ("meter").empty()) << "before ready";

    rig.ready();
    ASSERT_TRUE (pumpUntil ([&] { return rig.view->sentOf ("meter").size() >= 3; }, 10000));
    EXPECT_TRUE (rig.view->sentOf ("meter").back().payload.hasProperty ("latencyMs"));

    rig.view->setShowing (false);
    pumpFor (150);
    const auto whileShowing = rig.view->sentOf ("meter").size();
    pumpFor (350);
    EXPECT_EQ (rig.view->sentOf ("meter").size(), whileShowing) << "hidden or minimised";

    rig.view->setShowing (true);
    // Ten a second (tools/bench prints the cadence); the bound is only for a loaded machine.
    EXPECT_TRUE (pumpUntil ([&] { return rig.view->sentOf ("meter").size() > whileShowing; }, 5000)) << "back once showing";
}

TEST (ConsoleComponent, StatesAreAppliedAndStoredAndAPageThatBootsAgainGetsTheLastOne)
{
    ConsoleRig rig;
    rig.view->setShowing (true);
    rig.ready();

    rig.view->setShowing (false);
    for (double db : { -1.0, -2.0, -3.5 })
        rig.view->postPageEvent ("state", stateWithOutput (db));
    rig.view->setShowing (true);

    rig.view->sent.clear();
    rig.ready();
    ASSERT_EQ (rig.view->sentOf ("restore").size(), 1u);
    EXPECT_EQ (CorrectionState::fromJson (rig.view->sentOf ("restore")[0].payload.toString()).state.outputDb, -3.5);

    // The file was rewritten with it, and the engine got it.
    DuzezavureSettings reread (rig.folder);
    reread.load();
    EXPECT_EQ (CorrectionState::fromJson (reread.getStateJson()).state.outputDb, -3.5);
    EXPECT_TRUE (rig.view->sentOf ("state").empty());
}

TEST (ConsoleComponent, AStateThatCannotBeReadChangesNothingAndIsNotAnswered)
{
    ConsoleRig rig ("{\"version\":1,\"state\":" + stateWithOutput (-3) + "}");
    rig.view->setShowing (true);
    rig.view->postPageEvent ("state", stateWithOutput (-1));
    const auto before = fileBytes (rig.settingsFile());

    juce::String deep;
    for (int i = 0; i < 100; ++i)
        deep << "[";
    const juce::String tooLarge = "{\"bands\":[],\"profileName\":\"" + juce::String::repeatedString ("x", 1024 * 1024) + "\"}";

    const juce::var bad[] = { "not json", "{\"bands\":{}}", "[1,2]", juce::var(), juce::var (42),
                              "{\"bands\":" + deep + "}", tooLarge };
    rig.view->sent.clear();

    for (const auto& payload : bad)
        rig.view->postPageEvent ("state", payload);

    // The web view drops a message that large before any listener sees it; the console refuses
    // such a state on its own as well.
    rig.console->handleStateEvent (tooLarge);

    EXPECT_EQ (fileBytes (rig.settingsFile()), before);
    EXPECT_EQ (CorrectionState::fromJson (rig.settings.getStateJson()).state.outputDb, -1);
    EXPECT_TRUE (rig.view->sent.empty());
}

TEST (ConsoleComponent, AStateTooLargeIsRefusedAndTheFileReadsBackAfterEightSaves)
{
    ConsoleRig rig ("{\"version\":1,\"state\":{\"correctionPct\":100,\"delayLeftMs\":7.5,\"bands\":[]}}");
    rig.view->setShowing (true);
    rig.view->postPageEvent ("route", routeTo (speakers));

    // Under the page message's limit, far over any room's.
    rig.view->sent.clear();
    rig.view->postPageEvent ("state", stateOfLength (3, 1000370));
    EXPECT_TRUE (rig.view->sent.empty());

    for (int room = 1; room <= 8; ++room)
        rig.view->postPageEvent ("library", object ({ { "action", "save" }, { "name", "Room " + juce::String (room) } }));

    rig.audio->advance (std::chrono::milliseconds (50));
    EXPECT_EQ (rig.router.getEngine().getLatencyMaxDelayMs(), 7.5) << "the audio keeps the stored state";

    // The next start.
    DuzezavureSettings next (rig.folder);
    next.load();
    EXPECT_EQ (next.getLibraryNames().size(), 8);
    EXPECT_EQ (next.getRouting().outputDevice, speakers);
    EXPECT_EQ (CorrectionState::fromJson (next.getLibraryEntryJson ("Room 8")).state.delayLeftMs, 7.5f);
    EXPECT_FALSE (rig.settingsFile().getSiblingFile ("duzezavure.json.unreadable").exists());
}

TEST (ConsoleComponent, WhatTheSettingsFileHasNoRoomForIsRefusedAndTheAudioStaysAsItWas)
{
    ConsoleRig rig (settingsWithRoomLeft (32 * 1024));
    rig.view->setShowing (true);
    rig.view->postPageEvent ("route", routeTo (speakers));
    const auto delayInForce = [&rig]
    {
        rig.audio->advance (std::chrono::milliseconds (50));
        return rig.router.getEngine().getLatencyMaxDelayMs();
    };
    ASSERT_EQ (delayInForce(), 7.5);

    // A state of 40 kB: nothing changes, nothing is answered.
    rig.view->sent.clear();
    rig.view->postPageEvent ("state", stateOfLength (3, 40000));
    EXPECT_TRUE (rig.view->sent.empty());
    EXPECT_EQ (delayInForce(), 7.5);

    // One of 20 kB fits, but a room of it does not: the list the page gets says so.
    rig.view->postPageEvent ("state", stateOfLength (2, 20000));
    EXPECT_EQ (delayInForce(), 2.0);
    rig.view->postPageEvent ("library", object ({ { "action", "save" }, { "name", "Copy" } }));
    ASSERT_EQ (rig.sentIds(), juce::StringArray ("library"));
    EXPECT_EQ (rig.view->sentOf ("library")[0].payload["names"], juce::var (juce::Array<juce::var> { "Big" }));

    // Loading the large room would hold it twice; a route of 20 kB of names does not fit either.
    rig.view->sent.clear();
    rig.view->postPageEvent ("library", object ({ { "action", "load" }, { "name", "Big" } }));
    EXPECT_TRUE (rig.view->sent.empty());
    rig.view->postPageEvent ("route", routeTo (speakers, juce::String::repeatedString ("y", 20000)));
    EXPECT_EQ (rig.sentIds(), juce::StringArray ("devices"));
    EXPECT_EQ (rig.routeChanges, 1);
    EXPECT_EQ (rig.router.getCurrentRoute().inputDevice, "CABLE Output") << "the route in force stays open";
    EXPECT_EQ (delayInForce(), 2.0);

    DuzezavureSettings next (rig.folder);
    next.load();
    EXPECT_EQ (next.getLibraryNames(), juce::StringArray ("Big"));
    EXPECT_EQ (next.getRouting().inputDevice, "CABLE Output");
    EXPECT_EQ (CorrectionState::fromJson (next.getStateJson()).state.delayLeftMs, 2.0f);
}

// The sound never waits for the disk: a state is applied while its save fails, the failure is
// told once on standard error, and the next save that can write catches the file up.
TEST (ConsoleComponent, AStateIsAppliedWhenItsSaveFailsWhichIsToldOnceOnStandardError)
{
    ConsoleRig rig;
    rig.view->setShowing (true);
    rig.view->postPageEvent ("route", routeTo (speakers));
    const auto delayInForce = [&rig]
    {
        rig.audio->advance (std::chrono::milliseconds (50));
        return rig.router.getEngine().getLatencyMaxDelayMs();
    };

    const auto tonwell = rig.settingsFile().getParentDirectory();
    ASSERT_TRUE (tonwell.deleteRecursively() && tonwell.replaceWithText ("in the way"));

    testing::internal::CaptureStderr();
    rig.view->postPageEvent ("state", stateOfLength (3, 200));
    rig.view->postPageEvent ("state", stateOfLength (4, 200));
    const auto told = juce::String (testing::internal::GetCapturedStderr());

    EXPECT_EQ (delayInForce(), 4.0);
    EXPECT_TRUE (told.startsWith ("settings not saved: could not make the folder of ")) << told;
    EXPECT_EQ (told.indexOf (1, "settings not saved"), -1) << "told once: " << told;

    ASSERT_TRUE (tonwell.deleteFile());
    rig.view->postPageEvent ("state", stateOfLength (5, 200));
    DuzezavureSettings next (rig.folder);
    next.load();
    EXPECT_EQ (CorrectionState::fromJson (next.getStateJson()).state.delayLeftMs, 5.0f);
}

TEST (ConsoleComponent, ARouteIsOpenedStoredAndReportedAndTheStoredStateRunsOnIt)
{
    ConsoleRig rig ("{\"version\":1,\"state\":{\"correctionPct\":100,\"delayLeftMs\":7.5,\"bands\":[]}}");
    rig.view->setShowing (true);

    rig.view->postPageEvent ("route", routeTo (speakers));

    EXPECT_TRUE (rig.router.isRunning());
    EXPECT_EQ (rig.routeChanges, 1);
    EXPECT_EQ (rig.settings.getRouting().outputDevice, speakers);
    EXPECT_EQ (rig.console->getShownRoute().outputDevice, speakers);
    ASSERT_EQ (rig.view->sentOf ("devices").size(), 1u);
    EXPECT_EQ (rig.view->sentOf ("devices")[0].payload["selected"]["outputDevice"], juce::var (speakers));

    // The stored state reached the engine: it takes it at the first block the devices run.
    rig.audio->advance (std::chrono::milliseconds (50));
    EXPECT_EQ (rig.router.getEngine().getLatencyMaxDelayMs(), 7.5);
}

TEST (ConsoleComponent, ARouteThatCannotOpenIsStoredAndReportedWithItsError)
{
    ConsoleRig rig;
    rig.view->setShowing (true);

    rig.view->postPageEvent ("route", routeTo ("No Such Speakers"));

    EXPECT_EQ (rig.routeChanges, 1);
    DuzezavureSettings reread (rig.folder);
    reread.load();
    EXPECT_EQ (reread.getRouting().outputDevice, "No Such Speakers") << "tried again at the next start";

    ASSERT_EQ (rig.view->sentOf ("devices").size(), 1u);
    const auto report = rig.view->sentOf ("devices")[0].payload;
    EXPECT_EQ (report["selected"]["outputDevice"], juce::var ("No Such Speakers"));
    EXPECT_EQ (report["status"]["running"], juce::var (false));
    EXPECT_TRUE (report["status"]["error"].toString().isNotEmpty());
}

TEST (ConsoleComponent, ARejectedRouteOpensAndStoresNothingAndOnlyResendsTheDevices)
{
    ConsoleRig rig;
    rig.view->setShowing (true);
    const auto before = fileBytes (rig.settingsFile());

    for (const auto& payload : { routeTo (""), juce::var ("route"), juce::var() })
        rig.view->postPageEvent ("route", payload);

    EXPECT_EQ (rig.sentIds(), juce::StringArray ({ "devices", "devices", "devices" }));
    EXPECT_EQ (rig.routeChanges, 0);
    EXPECT_FALSE (rig.router.isRunning());
    EXPECT_EQ (fileBytes (rig.settingsFile()), before);
}

TEST (ConsoleComponent, RescanChangesOnlyWhatTheListsAreBuiltFor)
{
    ConsoleRig rig ("{\"version\":1,\"routing\":{\"deviceType\":\"\",\"inputDevice\":\"CABLE Output\",\"outputDevice\":\"X\"}}");
    rig.view->setShowing (true);
    const auto firstType = getDeviceTypeNames (rig.router.getDeviceManager())[0];
    EXPECT_EQ (rig.console->getShownRoute().deviceType, firstType) << "the first type when none is stored";
    EXPECT_EQ (rig.settings.getRouting().deviceType, "") << "the stored route is not changed";
    const auto before = fileBytes (rig.settingsFile());

    struct Case { juce::var payload; juce::String type; juce::String output; };
    const Case cases[] = {
        { "not an object", firstType, "X" },
        { object ({ { "deviceType", "" } }), firstType, "" },
        { object ({ { "deviceType", "Simulated" } }), "Simulated", "" },
        { object ({}), "Simulated", "" },
    };

    for (const auto& c : cases)
    {
        rig.view->sent.clear();
        rig.view->postPageEvent ("rescan", c.payload);
        EXPECT_EQ (rig.console->getShownRoute().deviceType, c.type) << c.payload.toString();
        EXPECT_EQ (rig.console->getShownRoute().outputDevice, c.output) << c.payload.toString();
        EXPECT_EQ (rig.sentIds(), juce::StringArray ("devices"));
    }

    EXPECT_EQ (fileBytes (rig.settingsFile()), before);
    EXPECT_FALSE (rig.router.isRunning());
}

TEST (ConsoleComponent, TheLibrarySavesTheStateInForceDeletesAndLoads)
{
    ConsoleRig rig ("{\"version\":1,\"state\":" + stateWithOutput (-2) + "}");
    rig.view->setShowing (true);

    rig.view->postPageEvent ("library", object ({ { "action", "save" }, { "name", "Den" }, { "state", stateWithOutput (-9) } }));
    EXPECT_EQ (CorrectionState::fromJson (rig.settings.getLibraryEntryJson ("Den")).state.outputDb, -2) << "not the payload's";
    EXPECT_EQ (rig.sentIds(), juce::StringArray ("library"));
    EXPECT_EQ (rig.view->sentOf ("library")[0].payload["names"][0], juce::var ("Den"));

    rig.view->postPageEvent ("state", stateWithOutput (-4));
    rig.view->sent.clear();
    rig.view->postPageEvent ("library", object ({ { "action", "load" }, { "name", "Den" } }));
    EXPECT_EQ (rig.sentIds(), juce::StringArray ("restore")) << "a load sends no library";
    EXPECT_EQ (CorrectionState::fromJson (rig.settings.getStateJson()).state.outputDb, -2);

    rig.view->sent.clear();
    for (const auto& ignored : { object ({ { "action", "Load" }, { "name", "Den" } }),
                                 object ({ { "action", "load" }, { "name", "Nobody" } }),
                                 object ({ { "action", "rename" }, { "name", "Den" } }),
                                 juce::var ("save") })
        rig.view->postPageEvent ("library", ignored);
    EXPECT_TRUE (rig.view->sent.empty());

    rig.view->postPageEvent ("library", object ({ { "action", "delete" }, { "name", "Den" } }));
    EXPECT_EQ (rig.settings.getLibraryNames().size(), 0);
    EXPECT_EQ (rig.view->sentOf ("library").back().payload["names"].size(), 0);

    DuzezavureSettings reread (rig.folder);
    reread.load();
    EXPECT_EQ (reread.getLibraryNames().size(), 0) << "each change is saved";
}

TEST (ConsoleComponent, ALibraryNameIsAStringNumberOrBooleanAndAnObjectOrArrayIsNoName)
{
    ConsoleRig rig ("{\"version\":1,\"state\":" + stateWithOutput (-2) + "}");

    for (const auto& name : { juce::var (new juce::DynamicObject()), juce::var (juce::Array<juce::var> { "Den" }),
                              juce::var (5), juce::var (true) })
        rig.view->postPageEvent ("library", object ({ { "action", "save" }, { "name", name } }));

    EXPECT_EQ (rig.settings.getLibraryNames(), juce::StringArray ("1", "5"));
}

TEST (ConsoleComponent, ShellActionsOpenTheSoundSettingsAndOnlyTheVendorsPages)
{
    ConsoleRig rig;

    rig.view->postPageEvent ("shell", object ({ { "action", "soundsettings" } }));
    EXPECT_EQ (rig.soundSettings.opens, 1);

    rig.view->postPageEvent ("shell", object ({ { "action", "openurl" }, { "url", "https://vb-audio.com/Cable/" } }));
    rig.view->postPageEvent ("shell", object ({ { "action", "openurl" }, { "url", "https://evil.example/" } }));
    rig.view->postPageEvent ("shell", object ({ { "action", "OpenURL" }, { "url", "https://vb-audio.com/" } }));
    rig.view->postPageEvent ("shell", "openurl");
    EXPECT_EQ (rig.opened, juce::StringArray ("https://vb-audio.com/Cable/"));
    EXPECT_EQ (rig.soundSettings.opens, 1);
}

} // namespace brindle::test
