#pragma once

namespace brindle
{

/** Opens the operating system's sound settings for the user.

    Threading: message thread. */
class SoundSettingsLauncher
{
public:
    virtual ~SoundSettingsLauncher() = default;

    /** True when a settings program started. */
    virtual bool open() = 0;
};

} // namespace brindle
