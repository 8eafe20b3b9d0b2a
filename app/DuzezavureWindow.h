#pragma once

#include "console/ConsoleComponent.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace brindle
{

/** The console window. Closing it only hides it: the program goes on correcting audio in the
    notification area, and the tray or a second start shows it again.

    Threading: message thread. */
class DuzezavureWindow final : public juce::DocumentWindow
{
public:
    /** Titled, coloured and on the desktop, not yet visible; owns the console as its content,
        sized to it. */
    explicit DuzezavureWindow (std::unique_ptr<ConsoleComponent> content);

    /** The console the window shows (owned by the window as its content). */
    ConsoleComponent& getConsole() noexcept { return *console; }

    void closeButtonPressed() override;

    /** Shows the window in front, and the console in it: a web engine that stopped starts
        again at once. */
    void showConsole();

private:
    ConsoleComponent* console;
};

} // namespace brindle
