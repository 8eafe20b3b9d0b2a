#pragma once

#include "DuzezavureApplication.h"

#include "engine/StreamStatus.h"

#include <juce_gui_extra/juce_gui_extra.h>

namespace brindle
{

/** The notification-area icon and its menu: open the console, whether audio is being
    corrected (and with how much latency), start at login, the sound settings, quit.

    Threading: message thread. */
class DuzezavureApplication::Tray final : public juce::SystemTrayIconComponent
{
public:
    enum MenuItem
    {
        openConsole = 1,
        status = 2,
        launchAtLogin = 3,
        soundSettings = 4,
        quit = 5,
    };

    explicit Tray (DuzezavureApplication& owner);

    /** A press of either button: builds the menu afresh and shows it. */
    void mouseDown (const juce::MouseEvent&) override;

    /** What the chosen item does; 0 (dismissed) and the status line do nothing. */
    void handleMenuResult (int itemId);

    /** The menu as it is built for a status and the login item's state. */
    static juce::PopupMenu buildMenu (const StreamStatus& status, bool launchesAtLogin);

    /** "Correcting: 7.0 ms latency", or that audio is not being corrected. */
    static juce::String statusLine (const StreamStatus& status);

private:
    DuzezavureApplication& app;
};

} // namespace brindle
