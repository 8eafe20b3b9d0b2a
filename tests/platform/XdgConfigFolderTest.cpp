#include "platform/XdgConfigFolder.h"

#include "ScopedEnvironmentVariable.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace brindle::test
{

TEST (XdgConfigFolder, FollowsTheBaseDirectoryRules)
{
    const auto* entry = getpwuid (getuid());
    ASSERT_NE (entry, nullptr);
    const auto fromPasswordDatabase = juce::File (juce::String::fromUTF8 (entry->pw_dir)).getChildFile (".config");

    struct Case { const char* configHome; const char* home; juce::File expected; };
    const Case cases[] = {
        { "/srv/config", "/home/someone", juce::File ("/srv/config") },
        { nullptr, "/home/someone", juce::File ("/home/someone/.config") },
        { "", "/home/someone", juce::File ("/home/someone/.config") },
        { "relative/config", "/home/someone", juce::File ("/home/someone/.config") },   // to be ignored
        { nullptr, nullptr, fromPasswordDatabase },
        { nullptr, "not/absolute", fromPasswordDatabase },
    };

    for (const auto& c : cases)
    {
        ScopedEnvironmentVariable configHome ("XDG_CONFIG_HOME", c.configHome);
        ScopedEnvironmentVariable home ("HOME", c.home);

        const auto folder = XdgConfigFolder().locate();
        ASSERT_TRUE (folder.has_value());
        EXPECT_EQ (*folder, c.expected) << (c.configHome ? c.configHome : "(unset)") << ", " << (c.home ? c.home : "(unset)");
    }
}

} // namespace brindle::test
