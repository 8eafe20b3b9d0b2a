#include "ApplicationFixture.h"

#include "MessageLoop.h"

#include "platform/UserSocketSingleInstance.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace brindle::test
{

TEST (ApplicationLifecycle, AFirstStartShowsTheConsoleOpensNothingAndSavesTheDefaults)
{
    ApplicationFixture f;
    f.app->initialise ({});

    ASSERT_NE (f.app->getWindow(), nullptr);
    EXPECT_TRUE (f.app->getWindow()->isVisible());
    EXPECT_EQ (f.app->getWindow()->getName(), juce::String::fromUTF8 ("Tonwell \xc2\xb7 Duzezavure"));
    EXPECT_EQ (f.app->getWindow()->getWidth(), 1120);
    EXPECT_NE (f.app->getTray(), nullptr);
    EXPECT_FALSE (f.app->getRouter().isRunning()) << "the default route names no input";
    EXPECT_EQ (f.app->getRouter().getCurrentRoute().inputDevice, "") << "nothing was handed to the router";

    f.app->shutdown();
    EXPECT_EQ (f.app->getWindow(), nullptr);
    EXPECT_EQ (f.app->getTray(), nullptr);
    EXPECT_EQ (fileBytes (f.settingsFile()), "{\r\n  \"version\": 1\r\n}");
}

TEST (ApplicationLifecycle, ClosingTheWindowOnlyHidesIt)
{
    ApplicationFixture f;
    f.app->initialise ({});
    f.app->getWindow()->closeButtonPressed();
    EXPECT_FALSE (f.app->getWindow()->isVisible());
    EXPECT_EQ (f.quits, 0);

    f.app->anotherInstanceStarted ({});
    EXPECT_TRUE (f.app->getWindow()->isVisible()) << "a second start shows the console again";
    f.app->shutdown();
}

TEST (ApplicationLifecycle, ASecondStartHandsOverAndLeavesTheFileAsItWas)
{
    ApplicationFixture f (false);
    f.writeSettings ("{ \"version\": 1, \"library\": { \"Living room\": { \"bands\": [] } } }");
    const auto before = fileBytes (f.settingsFile());

    f.app->initialise ("--some arguments");
    EXPECT_EQ (f.instance->handedOver, juce::StringArray ("--some arguments"));
    EXPECT_EQ (f.quits, 1);
    EXPECT_EQ (f.app->getWindow(), nullptr);
    EXPECT_EQ (f.app->getTray(), nullptr);

    f.app->shutdown();
    EXPECT_EQ (fileBytes (f.settingsFile()), before) << "byte for byte";
    EXPECT_FALSE (f.app->getRouter().isRunning());
}

TEST (ApplicationLifecycle, AStartWithoutADisplaySaysWhyFailsAndTouchesNothing)
{
    ApplicationFixture f;
    f.app->getServices().displayProblem = [] { return juce::String ("cannot connect to the X display \":7\""); };

    testing::internal::CaptureStderr();
    f.app->initialise ({});
    const auto said = testing::internal::GetCapturedStderr();

    EXPECT_EQ (said, "no display: cannot connect to the X display \":7\"\n");
    EXPECT_EQ (f.quits, 1);
    EXPECT_NE (f.app->getApplicationReturnValue(), 0);
    EXPECT_EQ (f.instance->acquisitions, 0) << "no lock taken, no socket made";
    EXPECT_EQ (f.app->getWindow(), nullptr);
    EXPECT_EQ (f.app->getTray(), nullptr);

    f.app->shutdown();
    EXPECT_EQ (f.home.get().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0) << "no settings written";
}

TEST (ApplicationLifecycle, TheRunningInstanceRemovesWhatKilledSavesLeftAndNothingElse)
{
    const char* leftovers[] = { ".duzezavure.json.0badf00d.partial", ".duzezavure_temp7f3e21c0.json" };
    const char* others[] = { ".duzezavure.json.bak", "notes.txt", "duzezavure.json.unreadable" };

    for (const bool mayRun : { true, false })
    {
        SCOPED_TRACE (mayRun ? "the running instance" : "a start that hands over");
        ApplicationFixture f (mayRun);
        f.writeSettings ("{ \"version\": 1 }");
        const auto folder = f.settingsFile().getParentDirectory();

        for (const auto* name : leftovers)
            folder.getChildFile (name).replaceWithText ("a save that was killed");
        for (const auto* name : others)
            folder.getChildFile (name).replaceWithText ("kept");

        f.app->initialise ({});

        for (const auto* name : leftovers)
            EXPECT_EQ (folder.getChildFile (name).exists(), ! mayRun) << name << ": only the lock's holder may tell a leftover from a save under way";
        for (const auto* name : others)
            EXPECT_EQ (folder.getChildFile (name).loadFileAsString(), "kept") << name;

        f.app->shutdown();
    }
}

TEST (ApplicationLifecycle, SettingsKeptElsewhereThroughALinkAreSavedThereWithTheirMode)
{
    ApplicationFixture f;
    const auto kept = f.home.get().getChildFile ("dotfiles/duzezavure.json");
    kept.getParentDirectory().createDirectory();
    ASSERT_TRUE (kept.replaceWithText ("{ \"version\": 1, \"library\": { \"Den\": {} } }"));
    ASSERT_EQ (::chmod (kept.getFullPathName().toRawUTF8(), 0640), 0);
    f.settingsFile().getParentDirectory().createDirectory();
    ASSERT_TRUE (kept.createSymbolicLink (f.settingsFile(), false));

    f.app->initialise ({});
    f.app->getSettings().putLibraryEntry ("Kitchen", "{}");
    f.app->getSettings().save();   // as the console saves after each change
    f.app->getSettings().putLibraryEntry ("Attic", "{}");
    f.app->shutdown();

    EXPECT_TRUE (f.settingsFile().isSymbolicLink()) << "the link stays a link";
    const auto saved = juce::JSON::parse (kept);
    ASSERT_NE (saved["library"].getDynamicObject(), nullptr) << kept.loadFileAsString();
    EXPECT_EQ (saved["library"].getDynamicObject()->getProperties().size(), 3) << "every save reached the linked file";
    struct stat info {};
    ASSERT_EQ (::stat (kept.getFullPathName().toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 0777, 0640u);
}

TEST (ApplicationLifecycle, QuittingWhileHiddenStillClosesTheDevicesAndSaves)
{
    ApplicationFixture f;
    f.writeSettings (ApplicationFixture::routeJson ("CABLE Output", "", ",\"unknown\":{\"kept\":true}"));
    f.app->initialise ({});
    ASSERT_TRUE (f.app->getRouter().isRunning()) << f.app->getRouter().getLastError();
    f.audio->advance (std::chrono::milliseconds (200));

    f.app->getWindow()->closeButtonPressed();
    f.app->getTray()->handleMenuResult (DuzezavureApplication::Tray::quit);
    EXPECT_EQ (f.quits, 1);

    f.app->shutdown();
    EXPECT_FALSE (f.app->getRouter().isRunning());
    EXPECT_FALSE (f.audio->getEndpoint (SimulatedSoundCard::speakersName)->isStreaming());
    EXPECT_FALSE (f.app->getRouter().isDesignerRunning());

    const auto saved = juce::JSON::parse (f.settingsFile());
    EXPECT_TRUE ((bool) saved["unknown"]["kept"]) << "members it does not know survive";
    EXPECT_EQ (saved["routing"]["outputDevice"].toString(), "") << "the completed route is not written back";
}

TEST (ApplicationLifecycle, ALaterStartThroughTheRealLockRaisesTheHiddenConsole)
{
    ApplicationFixture f;
    const auto lockFolder = f.home.get().getChildFile ("instance");
    f.app->getServices().singleInstance = std::make_unique<UserSocketSingleInstance> (lockFolder);

    f.app->initialise ({});
    f.app->getWindow()->setVisible (false);

    UserSocketSingleInstance later (lockFolder);
    ASSERT_FALSE (later.acquire());
    ASSERT_TRUE (later.handOver ("again"));

    EXPECT_TRUE (pumpUntil ([&] { return f.app->getWindow()->isVisible(); }));
    f.app->shutdown();
}

} // namespace brindle::test
