#include "WebViewHelperProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brindle
{

namespace
{
    constexpr int helperChannel = 3;

    void writeAll (int fd, const char* text)
    {
        auto left = std::strlen (text);

        while (left > 0)
        {
            const auto written = ::write (fd, text, left);

            if (written <= 0)
                return;

            text += written;
            left -= (size_t) written;
        }
    }

    void writeNumber (int fd, int value)
    {
        char digits[16];
        int at = (int) sizeof (digits);
        digits[--at] = '\0';

        do
        {
            digits[--at] = (char) ('0' + value % 10);
            value /= 10;
        }
        while (value > 0 && at > 0);

        writeAll (fd, digits + at);
    }

    // Between fork and exec only what is safe in a child of a threaded process: no allocation,
    // no locks, nothing that reads the locale.
    [[noreturn]] void becomeHelper (const char* path, char* const argv[], pid_t parent, int channel, int errorWrite)
    {
        prctl (PR_SET_PDEATHSIG, SIGKILL);

        if (getppid() != parent)
            _exit (1);   // the application ended before the signal was armed

        dup2 (errorWrite, STDERR_FILENO);

        if (channel == helperChannel)
            fcntl (channel, F_SETFD, 0);
        else
            dup2 (channel, helperChannel);

        // Nothing else of the application's goes with it: not every descriptor of the
        // framework's is closed on exec (its message queue's socket is not).
        syscall (SYS_close_range, helperChannel + 1, ~0U, 0);

        sigset_t none;
        sigemptyset (&none);
        sigprocmask (SIG_SETMASK, &none, nullptr);

        execv (path, argv);

        const auto error = errno;
        writeAll (STDERR_FILENO, "the web view's helper could not be started: ");
        writeAll (STDERR_FILENO, error == ENOENT ? "no such file" : error == EACCES ? "permission denied" : "error ");

        if (error != ENOENT && error != EACCES)
            writeNumber (STDERR_FILENO, error);

        writeAll (STDERR_FILENO, "\n");
        _exit (127);
    }
}

std::unique_ptr<WebViewHelperProcess> WebViewHelperProcess::start (const juce::File& executable, juce::String& problem)
{
    int sockets[2] = { -1, -1 };
    int errorPipe[2] = { -1, -1 };

    if (socketpair (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0 || pipe2 (errorPipe, O_CLOEXEC) != 0)
    {
        problem = juce::String ("no channel to the web view's helper: ") + juce::String (std::strerror (errno));

        for (int fd : { sockets[0], sockets[1], errorPipe[0], errorPipe[1] })
            if (fd >= 0)
                close (fd);

        return nullptr;
    }

    const auto path = executable.getFullPathName().toStdString();
    const std::string channelOption = "--channel=" + std::to_string (helperChannel);
    char* const argv[] = { const_cast<char*> (path.c_str()), const_cast<char*> (channelOption.c_str()), nullptr };
    const auto parent = getpid();

    const auto pid = fork();

    if (pid == 0)
        becomeHelper (path.c_str(), argv, parent, sockets[1], errorPipe[1]);

    close (sockets[1]);
    close (errorPipe[1]);

    if (pid < 0)
    {
        problem = juce::String ("the web view's helper could not be started: ") + juce::String (std::strerror (errno));
        close (sockets[0]);
        close (errorPipe[0]);
        return nullptr;
    }

    fcntl (sockets[0], F_SETFL, fcntl (sockets[0], F_GETFL) | O_NONBLOCK);
    fcntl (errorPipe[0], F_SETFL, fcntl (errorPipe[0], F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<WebViewHelperProcess> (new WebViewHelperProcess (pid, sockets[0], errorPipe[0]));
}

WebViewHelperProcess::WebViewHelperProcess (pid_t p, int c, int e)
    : pid (p), channel (c), errorOutput (e)
{
}

WebViewHelperProcess::~WebViewHelperProcess()
{
    close (channel);
    close (errorOutput);
    killAndReap();
}

bool WebViewHelperProcess::hasEnded()
{
    if (! ended && waitpid (pid, &status, WNOHANG) == pid)
        ended = true;

    return ended;
}

void WebViewHelperProcess::kill()
{
    if (! hasEnded())
        ::kill (pid, SIGKILL);
}

void WebViewHelperProcess::killAndReap()
{
    kill();

    while (! ended)
    {
        if (waitpid (pid, &status, 0) == pid)
            ended = true;
        else if (errno != EINTR)
            break;
    }
}

juce::String WebViewHelperProcess::describeEnd() const
{
    if (! ended)
        return {};

    if (WIFSIGNALED (status))
    {
        const auto signal = WTERMSIG (status);
        return "was killed by signal " + juce::String (signal) + " (" + juce::String (strsignal (signal)) + ")";
    }

    return "exited with status " + juce::String (WEXITSTATUS (status));
}

} // namespace brindle
