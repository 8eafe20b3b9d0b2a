#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace brindle
{

/** The application object: lives for the whole run and owns everything else.

    Threading: every method runs on the message thread. */
class DuzezavureApplication final : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void systemRequestedQuit() override;
};

} // namespace brindle
