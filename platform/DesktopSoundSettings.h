#pragma once

#include "SoundSettingsLauncher.h"

namespace brindle
{

/** The desktop's sound settings on Linux: GNOME's sound panel, or the PulseAudio volume
    control when that one cannot be started. Each is started without a shell
    (`startDetachedProcess`), and the next one is tried only when the previous one really did
    not start (not found or not executable), never in addition to one that did.

    Threading: message thread; stateless. */
class DesktopSoundSettings final : public SoundSettingsLauncher
{
public:
    bool open() override;
};

} // namespace brindle
