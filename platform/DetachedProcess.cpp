#include "DetachedProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace brindle
{

namespace
{
    bool isExecutableFile (const std::string& path)
    {
        struct stat info {};
        return stat (path.c_str(), &info) == 0 && S_ISREG (info.st_mode) && access (path.c_str(), X_OK) == 0;
    }

    /** The program's path as execvp would find it, resolved here because the child may only
        make async-signal-safe calls. Empty when it is nowhere on $PATH. */
    std::string resolveProgram (const juce::String& name)
    {
        const std::string program = name.toStdString();

        if (program.empty() || program.find ('/') != std::string::npos)
            return program;

        auto searchPath = juce::SystemStats::getEnvironmentVariable ("PATH", "/usr/local/bin:/usr/bin:/bin");

        for (const auto& folder : juce::StringArray::fromTokens (searchPath, ":", {}))
        {
            // An empty entry stands for the current folder.
            const auto candidate = (folder.isEmpty() ? juce::String (".") : folder).toStdString() + "/" + program;

            if (isExecutableFile (candidate))
                return candidate;
        }

        return {};
    }

    int highestFileDescriptor()
    {
        rlimit limit {};

        if (getrlimit (RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur > 0)
            return (int) std::min<rlim_t> (limit.rlim_cur, 65536) - 1;

        return 4095;
    }

    /** Closes every descriptor from `first` on except `keep`. */
    void closeDescriptorsFrom (int first, int keep, int highest)
    {
       #ifdef SYS_close_range
        const bool belowClosed = keep <= first || syscall (SYS_close_range, first, keep - 1, 0) == 0;

        if (belowClosed && syscall (SYS_close_range, keep + 1, ~0U, 0) == 0)
            return;
       #endif

        for (int fd = first; fd <= highest; ++fd)
            if (fd != keep)
                close (fd);
    }

    void reportError (int reportFd, int error)
    {
        [[maybe_unused]] const auto written = write (reportFd, &error, sizeof (error));
    }

    /** Runs in the grandchild, after fork: async-signal-safe calls only. Reports the errno of
        a failed exec through `reportFd`, whose close-on-exec flag tells the parent that the
        exec succeeded. */
    [[noreturn]] void execInGrandchild (const char* path, char* const* argv, int reportFd, int highestFd)
    {
        setsid();

        sigset_t none;
        sigemptyset (&none);
        sigprocmask (SIG_SETMASK, &none, nullptr);

        for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber)
            signal (signalNumber, SIG_DFL);

        closeDescriptorsFrom (3, reportFd, highestFd);
        execve (path, argv, environ);

        reportError (reportFd, errno);
        _exit (127);
    }

    /** True when nothing came through the pipe before it closed: the exec succeeded. */
    bool execSucceeded (int readFd)
    {
        int error = 0;

        for (;;)
        {
            const auto got = read (readFd, &error, sizeof (error));

            if (got < 0 && errno == EINTR)
                continue;

            return got == 0;
        }
    }
}

bool startDetachedProcess (const juce::StringArray& arguments)
{
    if (arguments.isEmpty())
        return false;

    const auto path = resolveProgram (arguments[0]);

    if (path.empty())
        return false;

    // Everything the children need is built before fork: they may not allocate.
    std::vector<std::string> storage;
    for (const auto& argument : arguments)
        storage.push_back (argument.toStdString());

    std::vector<char*> argv;
    for (auto& argument : storage)
        argv.push_back (argument.data());
    argv.push_back (nullptr);

    const auto highestFd = highestFileDescriptor();
    int report[2];

    if (pipe2 (report, O_CLOEXEC) != 0)
        return false;

    const auto child = fork();

    if (child == 0)
    {
        // The child only forks the grandchild and ends, so the program is re-parented to init
        // and never becomes our zombie.
        close (report[0]);
        const auto grandchild = fork();

        if (grandchild == 0)
            execInGrandchild (path.c_str(), argv.data(), report[1], highestFd);

        if (grandchild < 0)
            reportError (report[1], errno);

        _exit (grandchild < 0 ? 1 : 0);
    }

    close (report[1]);
    bool started = false;

    if (child > 0)
    {
        int status = 0;
        while (waitpid (child, &status, 0) < 0 && errno == EINTR) {}

        started = WIFEXITED (status) && WEXITSTATUS (status) == 0 && execSucceeded (report[0]);
    }

    close (report[0]);
    return started;
}

} // namespace brindle
