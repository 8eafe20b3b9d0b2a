#include "ApplicationFixture.h"

#include "platform/RunningExecutable.h"

#include <gtest/gtest.h>

namespace brindle::test
{

namespace
{
    struct ItemSeen { int id; juce::String text; bool enabled, ticked, separator; };

    std::vector<ItemSeen> itemsOf (const juce::PopupMenu& menu)
    {
        std::vector<ItemSeen> items;
        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        {
            const auto& item = it.getItem();
            items.push_back ({ item.itemID, item.text, item.isEnabled, item.isTicked, item.isSeparator });
        }
        return items;
    }
}

TEST (Tray, TheStatusLineTellsWhetherAudioIsCorrected)
{
    StreamStatus status;
    status.running = true;
    status.latencyMs = 7.0;
    EXPECT_EQ (DuzezavureApplication::Tray::statusLine (status), "Correcting: 7.0 ms latency");

    status.latencyMs = 50.64583;
    EXPECT_EQ (DuzezavureApplication::Tray::statusLine (status), "Correcting: 50.6 ms latency");

    status.running = false;
    EXPECT_EQ (DuzezavureApplication::Tray::statusLine (status), juce::String::fromUTF8 ("Not running \xe2\x80\x94 audio is not being corrected"));
}

TEST (Tray, TheMenuHasItsItemsInOrder)
{
    StreamStatus status;
    const auto items = itemsOf (DuzezavureApplication::Tray::buildMenu (status, true));

    ASSERT_EQ (items.size(), 8u);
    EXPECT_EQ (items[0].id, 1);
    EXPECT_EQ (items[0].text, "Open Tonwell");
    EXPECT_TRUE (items[1].separator);
    EXPECT_EQ (items[2].id, 2);
    EXPECT_FALSE (items[2].enabled) << "the status line is not a choice";
    EXPECT_TRUE (items[3].separator);
    EXPECT_EQ (items[4].id, 3);
    EXPECT_EQ (items[4].text, "Launch at login");
    EXPECT_TRUE (items[4].ticked);
    EXPECT_EQ (items[5].id, 4);
    EXPECT_EQ (items[5].text, juce::String::fromUTF8 ("Sound settings\xe2\x80\xa6"));
    EXPECT_TRUE (items[6].separator);
    EXPECT_EQ (items[7].id, 5);
    EXPECT_EQ (items[7].text, "Quit");

    EXPECT_FALSE (itemsOf (DuzezavureApplication::Tray::buildMenu (status, false))[4].ticked);
}

TEST (Tray, TheIconIsARingWithADotOnlyWhileRunning)
{
    for (bool running : { false, true })
    {
        const auto icon = DuzezavureApplication::makeTrayIcon (running);
        EXPECT_EQ (icon.getWidth(), 64);
        EXPECT_EQ (icon.getFormat(), juce::Image::ARGB);
        EXPECT_EQ (icon.getPixelAt (0, 0).getAlpha(), 0) << "transparent outside the ring";
        EXPECT_EQ (icon.getPixelAt (5, 32).getAlpha(), 255) << "on the ring";
        EXPECT_EQ (icon.getPixelAt (5, 32).withAlpha ((juce::uint8) 255), juce::Colour (0xff1e2128));
        EXPECT_EQ (icon.getPixelAt (14, 32).getAlpha(), 0) << "between ring and dot";
        EXPECT_EQ (icon.getPixelAt (32, 32).getAlpha(), running ? 255 : 0) << "the dot, running " << running;
    }
}

TEST (Tray, ItsChoicesDoWhatTheySay)
{
    ApplicationFixture f;
    f.app->initialise ({});
    auto& tray = *f.app->getTray();

    tray.handleMenuResult (DuzezavureApplication::Tray::launchAtLogin);
    EXPECT_TRUE (f.loginItem.enabled);
    EXPECT_EQ (f.loginItem.enabledFor, runningExecutable());
    tray.handleMenuResult (DuzezavureApplication::Tray::launchAtLogin);
    EXPECT_FALSE (f.loginItem.enabled) << "a second choice removes it";

    tray.handleMenuResult (DuzezavureApplication::Tray::soundSettings);
    EXPECT_EQ (f.soundSettings.opens, 1);

    f.app->getWindow()->setVisible (false);
    tray.handleMenuResult (DuzezavureApplication::Tray::openConsole);
    EXPECT_TRUE (f.app->getWindow()->isVisible());

    for (int nothing : { 0, (int) DuzezavureApplication::Tray::status, 99 })
        tray.handleMenuResult (nothing);
    EXPECT_EQ (f.quits, 0);
    EXPECT_EQ (f.soundSettings.opens, 1);

    f.app->shutdown();
}

} // namespace brindle::test
