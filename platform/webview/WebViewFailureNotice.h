#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace brindle
{

/** What the window shows where the console's page would be while the web view's helper is not
    running: a plain native message that the console could not be shown, and why.

    Threading: message thread. */
class WebViewFailureNotice final : public juce::Component
{
public:
    WebViewFailureNotice();

    /** `reason`: how the helper ended, with the last line it wrote to its error output;
        `retryInMs`: when it is tried again (0: now). */
    void show (const juce::String& reason, int retryInMs);

    /** The whole text shown. */
    juce::String getText() const;

    void paint (juce::Graphics& g) override;

private:
    juce::String reason;
    int retryInMs = 0;
};

} // namespace brindle
