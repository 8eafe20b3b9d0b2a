#include "XdgBaseFolder.h"

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

std::optional<juce::File> locateXdgBaseFolder (const char* variable, const char* underHome)
{
    // A relative path in the variable is to be ignored, by the XDG base-directory rules.
    const auto fromVariable = juce::SystemStats::getEnvironmentVariable (variable, {});

    if (isAbsolute (fromVariable))
        return juce::File (fromVariable);

    const auto home = homeFolderPath();

    if (isAbsolute (home))
        return juce::File (home).getChildFile (underHome);

    return std::nullopt;
}

} // namespace brindle
