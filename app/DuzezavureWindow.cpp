#include "DuzezavureWindow.h"

namespace brindle
{

DuzezavureWindow::DuzezavureWindow (std::unique_ptr<ConsoleComponent> content)
    : juce::DocumentWindow (juce::String::fromUTF8 ("Tonwell \xc2\xb7 Duzezavure"),
                            juce::Colour (ConsoleComponent::backgroundColour),
                            juce::DocumentWindow::allButtons,
                            true),
      console (content.get())
{
    setUsingNativeTitleBar (true);
    setContentOwned (content.release(), true);
    setResizable (true, false);
    setResizeLimits (720, 520, 2400, 1600);
    centreWithSize (1120, 860);
}

void DuzezavureWindow::showConsole()
{
    setVisible (true);
    toFront (true);
    console->consoleAskedFor();
}

void DuzezavureWindow::closeButtonPressed()
{
    setVisible (false);
}

} // namespace brindle
