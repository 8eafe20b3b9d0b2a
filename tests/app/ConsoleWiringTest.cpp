#include "VarObject.h"
#include "ApplicationFixture.h"
#include "MessageLoop.h"

#include <gtest/gtest.h>

namespace brindle::test
{

namespace
{
    bool trayShowsRunning (DuzezavureApplication::Tray& tray)
    {
        // The dot in the ring's middle is drawn only while audio is being corrected.
        const auto snapshot = tray.createComponentSnapshot (tray.getLocalBounds());
        return snapshot.getPixelAt (snapshot.getWidth() / 2, snapshot.getHeight() / 2).getAlpha() > 128;
    }
}

TEST (ConsoleWiring, TheWindowShowsTheConsoleAndTheConsoleReachesTheApplicationsServices)
{
    ApplicationFixture f;
    f.app->initialise ({});
    ASSERT_NE (f.view, nullptr);
    EXPECT_EQ (f.app->getWindow()->getContentComponent(), &f.app->getWindow()->getConsole());
    EXPECT_EQ (f.view->visitedURLs.size(), 1);

    f.view->postPageEvent ("shell", object ({ { "action", "soundsettings" } }));
    f.view->postPageEvent ("shell", object ({ { "action", "openurl" }, { "url", "https://vb-audio.com/Cable/" } }));
    EXPECT_EQ (f.soundSettings.opens, 1);
    EXPECT_EQ (f.openedInBrowser, juce::StringArray ("https://vb-audio.com/Cable/"));
    f.app->shutdown();
}

TEST (ConsoleWiring, ARouteFromTheConsoleRedrawsTheTrayIcon)
{
    ApplicationFixture f;
    f.app->initialise ({});
    auto& tray = *f.app->getTray();
    tray.setSize (64, 64);
    ASSERT_FALSE (trayShowsRunning (tray));

    f.view->postPageEvent ("route", object ({ { "deviceType", "Simulated" }, { "inputDevice", "CABLE Output" },
                                              { "outputDevice", SimulatedSoundCard::speakersName } }));

    ASSERT_TRUE (f.app->getRouter().isRunning());
    EXPECT_TRUE (trayShowsRunning (tray));
    f.app->shutdown();
}

TEST (ConsoleWiring, DeviceListChangesReachThePageOnlyOnceItIsReady)
{
    ApplicationFixture f;
    f.writeSettings (ApplicationFixture::routeJson ("CABLE Output", SimulatedSoundCard::speakersName));
    f.app->initialise ({});
    f.view->setShowing (true);

    f.app->refreshConsoleDevices();
    EXPECT_TRUE (f.view->sentOf ("devices").empty()) << "before ready";

    f.view->postPageEvent ("ready");
    f.view->sent.clear();
    f.audio->add (SimulatedDeviceConfig::output ("USB Headphones"));
    ASSERT_TRUE (pumpUntil ([&] { return ! f.view->sentOf ("devices").empty(); }));
    EXPECT_TRUE (f.view->sentOf ("devices")[0].payload["outputs"].getArray()->contains ("USB Headphones"))
        << f.view->sentOf ("devices")[0].json;
    f.app->shutdown();
}

} // namespace brindle::test
