#pragma once

#include <juce_core/juce_core.h>

#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace brindle::test
{

/** The web engine's processes this process started and that are still running (a process
    that has ended and waits to be reaped does not count): WebKitWebProcess,
    WebKitNetworkProcess and the like, found in /proc. `prefix` narrows them by name, as the
    kernel gives it (at most 15 characters). */
inline std::vector<pid_t> runningWebKitChildren (const juce::String& prefix = "WebKit")
{
    std::vector<pid_t> found;
    auto* proc = opendir ("/proc");

    if (proc == nullptr)
        return found;

    while (auto* entry = readdir (proc))
    {
        const juce::String pid (entry->d_name);

        if (! pid.containsOnly ("0123456789"))
            continue;

        // The framework reads a file only as far as its size, which is 0 in /proc.
        std::ifstream file ("/proc/" + pid.toStdString() + "/stat");
        const juce::String stat { std::string { std::istreambuf_iterator<char> (file), std::istreambuf_iterator<char>() } };

        // pid (name) state ppid ...: the name may hold blanks and parentheses, so it ends at
        // the last ")".
        const auto name = stat.fromFirstOccurrenceOf ("(", false, false).upToLastOccurrenceOf (")", false, false);
        const auto fields = juce::StringArray::fromTokens (stat.fromLastOccurrenceOf (")", false, false).trim(), " ", "");

        if (fields.size() >= 2 && name.startsWith (prefix) && fields[1].getIntValue() == (int) getpid() && fields[0] != "Z")
            found.push_back ((pid_t) pid.getIntValue());
    }

    closedir (proc);
    return found;
}

} // namespace brindle::test
