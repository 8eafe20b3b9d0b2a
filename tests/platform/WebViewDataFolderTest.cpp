#include "ScopedEnvironmentVariable.h"
#include "TemporaryFolder.h"

#include "platform/WebViewDataFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace brindle::test
{

TEST (WebViewDataFolder, IsTheProductsFolderInTheXdgDataFolder)
{
    struct Case { const char* dataHome; const char* home; juce::File expected; };
    const Case cases[] = {
        { "/srv/data", "/home/someone", juce::File ("/srv/data/Tonwell/duzezavure-web") },
        { nullptr, "/home/someone", juce::File ("/home/someone/.local/share/Tonwell/duzezavure-web") },
        { "", "/home/someone", juce::File ("/home/someone/.local/share/Tonwell/duzezavure-web") },
        { "relative/data", "/home/someone", juce::File ("/home/someone/.local/share/Tonwell/duzezavure-web") },   // to be ignored
    };

    for (const auto& c : cases)
    {
        ScopedEnvironmentVariable dataHome ("XDG_DATA_HOME", c.dataHome);
        ScopedEnvironmentVariable home ("HOME", c.home);

        const auto folder = WebViewDataFolder::locate();
        ASSERT_TRUE (folder.has_value());
        EXPECT_EQ (*folder, c.expected) << (c.dataHome ? c.dataHome : "(unset)");
    }
}

TEST (WebViewDataFolder, IsMadeForThisUserAloneOrSaysWhyNot)
{
    const TemporaryFolder place;
    const ScopedEnvironmentVariable dataHome ("XDG_DATA_HOME", place.get().getFullPathName().toRawUTF8());

    const auto prepared = WebViewDataFolder::prepare();
    ASSERT_TRUE (prepared.folder.has_value()) << prepared.problem;
    EXPECT_EQ (*prepared.folder, place.get().getChildFile ("Tonwell/duzezavure-web"));
    struct stat info {};
    ASSERT_EQ (::stat (prepared.folder->getFullPathName().toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 0777, 0700u);

    ASSERT_TRUE (prepared.folder->deleteRecursively() && prepared.folder->replaceWithText ("mine"));
    const auto refused = WebViewDataFolder::prepare();
    EXPECT_FALSE (refused.folder.has_value());
    EXPECT_TRUE (refused.problem.contains (prepared.folder->getFullPathName())) << refused.problem;
}

} // namespace brindle::test
