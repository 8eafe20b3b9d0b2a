#include "app/LaunchAtLogin.h"
#include "platform/RunningExecutable.h"
#include "FakeLoginItem.h"

#include "FileBytes.h"
#include "ScopedEnvironmentVariable.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (LaunchAtLogin, TheSystemItemIsTheAutostartEntryOfTheRunningExecutable)
{
    TemporaryFolder config;
    ScopedEnvironmentVariable configHome ("XDG_CONFIG_HOME", config.get().getFullPathName().toRawUTF8());
    const auto entry = config.get().getChildFile ("autostart/TonwellDuzezavure.desktop");
    const auto executable = runningExecutable();

    EXPECT_FALSE (isLaunchAtLoginEnabled());

    // The tray's toggle, twice: on, then off again.
    EXPECT_TRUE (setLaunchAtLogin (! isLaunchAtLoginEnabled()));
    EXPECT_TRUE (isLaunchAtLoginEnabled());
    EXPECT_NE (fileBytes (entry).find ("\nExec=\"" + executable.getFullPathName().toStdString() + "\"\n"), std::string::npos);

    EXPECT_TRUE (setLaunchAtLogin (! isLaunchAtLoginEnabled()));
    EXPECT_FALSE (isLaunchAtLoginEnabled());
    EXPECT_FALSE (entry.exists());
}

TEST (LaunchAtLogin, ReportsWhatTheItemReports)
{
    FakeLoginItem item;
    EXPECT_TRUE (setLaunchAtLogin (true, item));
    EXPECT_TRUE (isLaunchAtLoginEnabled (item));
    EXPECT_EQ (item.enabledFor, runningExecutable());

    item.refuseWrites = true;
    EXPECT_FALSE (setLaunchAtLogin (true, item)) << "a failed write is not reported as success";
    EXPECT_FALSE (setLaunchAtLogin (false, item)) << "nor a removal that left the item";
    EXPECT_TRUE (isLaunchAtLoginEnabled (item));
}

} // namespace brindle::test
