#include "SoundSettings.h"

#include "platform/DesktopSoundSettings.h"

namespace brindle
{

SoundSettingsLauncher& systemSoundSettings()
{
    static DesktopSoundSettings launcher;
    return launcher;
}

void openSoundSettings (SoundSettingsLauncher& launcher)
{
    launcher.open();
}

} // namespace brindle
