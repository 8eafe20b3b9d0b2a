#include "Tray.h"

#include "LaunchAtLogin.h"
#include "SoundSettings.h"

namespace brindle
{

DuzezavureApplication::Tray::Tray (DuzezavureApplication& owner)
    : app (owner)
{
}

juce::String DuzezavureApplication::Tray::statusLine (const StreamStatus& status)
{
    if (status.running)
        return "Correcting: " + juce::String (status.latencyMs, 1) + " ms latency";

    return juce::String::fromUTF8 ("Not running \xe2\x80\x94 audio is not being corrected");
}

juce::PopupMenu DuzezavureApplication::Tray::buildMenu (const StreamStatus& status, bool launchesAtLogin)
{
    juce::PopupMenu menu;
    menu.addItem (openConsole, "Open Tonwell", true, false);
    menu.addSeparator();
    menu.addItem (MenuItem::status, statusLine (status), false, false);
    menu.addSeparator();
    menu.addItem (launchAtLogin, "Launch at login", true, launchesAtLogin);
    menu.addItem (soundSettings, juce::String::fromUTF8 ("Sound settings\xe2\x80\xa6"), true, false);
    menu.addSeparator();
    menu.addItem (quit, "Quit", true, false);
    return menu;
}

void DuzezavureApplication::Tray::mouseDown (const juce::MouseEvent&)
{
    auto menu = buildMenu (app.getRouter().getStatus(), isLaunchAtLoginEnabled (*app.getServices().loginItem));

    menu.showMenuAsync (juce::PopupMenu::Options(), [safeThis = juce::Component::SafePointer<Tray> (this)] (int result) {
        if (safeThis != nullptr)
            safeThis->handleMenuResult (result);
    });
}

void DuzezavureApplication::Tray::handleMenuResult (int itemId)
{
    switch (itemId)
    {
        case openConsole:
            if (auto* window = app.getWindow())
                window->showConsole();
            break;

        case launchAtLogin:
        {
            // Read again now: the tick the menu showed may be stale.
            auto& item = *app.getServices().loginItem;
            setLaunchAtLogin (! isLaunchAtLoginEnabled (item), item);
            break;
        }

        case soundSettings:
            openSoundSettings (*app.getServices().soundSettings);
            break;

        case quit:
            app.systemRequestedQuit();
            break;

        default:
            break;
    }
}

} // namespace brindle
