#pragma once

#include "platform/SoundSettingsLauncher.h"

namespace brindle
{

/** [message thread] The desktop's sound settings launcher the program ships with; it lives as
    long as the program. */
SoundSettingsLauncher& systemSoundSettings();

/** [message thread] Opens the system's sound settings (the tray menu's "Sound settings…" and
    the console's "soundsettings" action). Reports nothing: when no settings program starts,
    nothing happens. Tests pass a fake launcher. */
void openSoundSettings (SoundSettingsLauncher& launcher = systemSoundSettings());

} // namespace brindle
