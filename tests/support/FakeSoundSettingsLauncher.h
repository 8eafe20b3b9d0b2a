#pragma once

#include "platform/SoundSettingsLauncher.h"

namespace brindle
{

/** Counts the requests to open the sound settings, for tests; answers with `result`.

    Threading: the test's thread only. */
class FakeSoundSettingsLauncher final : public SoundSettingsLauncher
{
public:
    bool open() override
    {
        ++opens;
        return result;
    }

    int opens = 0;
    bool result = true;
};

} // namespace brindle
