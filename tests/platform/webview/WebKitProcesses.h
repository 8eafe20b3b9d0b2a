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

/** The web engine's processes `parent` (this process unless told) started and that are still
    running (a process that has ended and waits to be reaped does not count): WebKitWebProcess,
    WebKitNetworkProcess and the like, found in /proc. `prefix` narrows them by name, as the
    kernel gives it (at most 15 characters). */
inline std::vector<pid_t> runningWebKitChildren (const juce::String& prefix = "WebKit", pid_t parent = getpid())
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

        if (fields.size() >= 2 && name.startsWith (prefix) && fields[1].getIntValue() == (int) parent && fields[0] != "Z")
            found.push_back ((pid_t) pid.getIntValue());
    }

    closedir (proc);
    return found;
}

/** Whether process `pid` still runs (not ended, not a zombie waiting to be reaped). */
inline bool isRunning (pid_t pid)
{
    std::ifstream file ("/proc/" + std::to_string (pid) + "/stat");
    const std::string stat { std::istreambuf_iterator<char> (file), std::istreambuf_iterator<char>() };
    const auto close = stat.rfind (')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

} // namespace brindle::test
