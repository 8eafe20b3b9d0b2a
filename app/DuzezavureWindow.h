#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace brindle
{

/** The console window. Closing it only hides it: the program goes on correcting audio in the
    notification area, and the tray or a second start shows it again.

    Threading: message thread. */
class DuzezavureWindow final : public juce::DocumentWindow
{
public:
    /** Titled, coloured and on the desktop, not yet visible; owns `content`, sized to it. */
    explicit DuzezavureWindow (std::unique_ptr<juce::Component> content);

    void closeButtonPressed() override;
};

} // namespace brindle
