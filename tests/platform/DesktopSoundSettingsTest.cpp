#include "platform/DesktopSoundSettings.h"

#include "FakePrograms.h"
#include "ScopedEnvironmentVariable.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (DesktopSoundSettings, OpensTheSoundPanelAndNothingElse)
{
    FakePrograms programs;
    programs.add ("gnome-control-center");
    programs.add ("pavucontrol");
    ScopedEnvironmentVariable path ("PATH", programs.bin().getFullPathName().toRawUTF8());

    EXPECT_TRUE (DesktopSoundSettings().open());
    EXPECT_EQ (programs.waitForRecord ("gnome-control-center"), "sound\nend\n");
    EXPECT_EQ (programs.waitForRecord ("pavucontrol", 300), "") << "the fallback ran although the first started";
}

TEST (DesktopSoundSettings, FallsBackOnlyWhenTheFirstReallyFailed)
{
    for (const bool firstIsBroken : { false, true })
    {
        FakePrograms programs;
        programs.add ("pavucontrol");

        if (firstIsBroken)
            programs.addBroken ("gnome-control-center");

        ScopedEnvironmentVariable path ("PATH", programs.bin().getFullPathName().toRawUTF8());

        EXPECT_TRUE (DesktopSoundSettings().open());
        EXPECT_EQ (programs.waitForRecord ("pavucontrol"), "end\n");
    }
}

TEST (DesktopSoundSettings, ReportsWhenNoSettingsProgramStarts)
{
    TemporaryFolder empty;
    ScopedEnvironmentVariable path ("PATH", empty.get().getFullPathName().toRawUTF8());

    EXPECT_FALSE (DesktopSoundSettings().open());
}

} // namespace brindle::test
