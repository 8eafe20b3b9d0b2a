#include "RunningExecutable.h"

#include <unistd.h>

#include <climits>

namespace brindle
{

juce::File runningExecutable()
{
    char path[PATH_MAX];
    const auto length = ::readlink ("/proc/self/exe", path, sizeof path - 1);

    if (length > 0)
        return juce::File (juce::String::fromUTF8 (path, (int) length));

    return juce::File::getSpecialLocation (juce::File::currentExecutableFile);
}

} // namespace brindle
