#include "XdgConfigFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace brindle
{

namespace
{
    bool isAbsolute (const juce::String& path)
    {
        return path.startsWithChar ('/');
    }

    juce::String homeFromPasswordDatabase()
    {
        auto size = sysconf (_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer ((size_t) (size > 0 ? size : 16384));
        passwd entry {};
        passwd* found = nullptr;

        if (getpwuid_r (getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr || found->pw_dir == nullptr)
            return {};

        return juce::String::fromUTF8 (found->pw_dir);
    }

    juce::String homeFolderPath()
    {
        const auto fromEnvironment = juce::SystemStats::getEnvironmentVariable ("HOME", {});
        return isAbsolute (fromEnvironment) ? fromEnvironment : homeFromPasswordDatabase();
    }
}

std::optional<juce::File> XdgConfigFolder::locate() const
{
    // A relative $XDG_CONFIG_HOME is to be ignored, by the XDG base-directory rules.
    const auto configHome = juce::SystemStats::getEnvironmentVariable ("XDG_CONFIG_HOME", {});

    if (isAbsolute (configHome))
        return juce::File (configHome);

    const auto home = homeFolderPath();

    if (isAbsolute (home))
        return juce::File (home).getChildFile (".config");

    return std::nullopt;
}

} // namespace brindle
