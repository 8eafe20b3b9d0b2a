#include "WebViewFailureNotice.h"

namespace brindle
{

namespace
{
    const juce::String headline ("The console could not be shown.");
}

WebViewFailureNotice::WebViewFailureNotice()
{
    setOpaque (true);
    setInterceptsMouseClicks (false, false);
}

void WebViewFailureNotice::show (const juce::String& why, int retryMs)
{
    reason = why;
    retryInMs = retryMs;
    repaint();
}

juce::String WebViewFailureNotice::getText() const
{
    const auto retry = retryInMs > 0 ? "It is tried again in " + juce::String ((retryInMs + 999) / 1000) + " s, or when the console is shown again."
                                     : juce::String ("It is being tried again.");
    return headline + "\n" + reason + "\n" + retry + "\nThe sound goes on as before.";
}

void WebViewFailureNotice::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xfff4f2ee));
    g.setColour (juce::Colour (0xff2b2a28));

    auto area = getLocalBounds().reduced (32);
    g.setFont (juce::Font (18.0f, juce::Font::bold));
    g.drawFittedText (headline, area.removeFromTop (32), juce::Justification::centredLeft, 1);

    g.setFont (juce::Font (14.0f));
    g.drawFittedText (getText().fromFirstOccurrenceOf ("\n", false, false), area.removeFromTop (120), juce::Justification::topLeft, 8);
}

} // namespace brindle
