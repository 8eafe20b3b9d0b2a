#include "DuzezavureApplication.h"

namespace brindle
{

const juce::String DuzezavureApplication::getApplicationName()
{
    return "Duzezavure";
}

const juce::String DuzezavureApplication::getApplicationVersion()
{
    return BRINDLE_VERSION_STRING;
}

void DuzezavureApplication::initialise (const juce::String&)
{
}

void DuzezavureApplication::shutdown()
{
}

void DuzezavureApplication::systemRequestedQuit()
{
    quit();
}

} // namespace brindle
