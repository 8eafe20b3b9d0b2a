#include "DesktopSoundSettings.h"

#include "DetachedProcess.h"

namespace brindle
{

bool DesktopSoundSettings::open()
{
    const juce::StringArray candidates[] = {
        { "gnome-control-center", "sound" },
        { "pavucontrol" },
    };

    for (const auto& commandLine : candidates)
        if (startDetachedProcess (commandLine))
            return true;

    return false;
}

} // namespace brindle
