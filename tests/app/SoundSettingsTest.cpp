#include "app/SoundSettings.h"

#include "FakePrograms.h"
#include "ScopedEnvironmentVariable.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (SoundSettings, OpensTheDesktopsSoundPanelWithoutAShell)
{
    FakePrograms programs;
    programs.add ("gnome-control-center");
    ScopedEnvironmentVariable path ("PATH", programs.bin().getFullPathName().toRawUTF8());

    openSoundSettings();

    EXPECT_EQ (programs.waitForRecord ("gnome-control-center"), "sound\nend\n");
}

} // namespace brindle::test
