// DuzezavureWebView: the helper process the application runs its console's web view in, so
// that the web engine, whatever befalls it, never takes the application or its sound down.
// Started by the application only, with its channel as descriptor 3: DuzezavureWebView
// --channel=3. It ends when the channel closes, and by the kernel's parent-death signal when
// the application ends.
#include "WebEngineEnvironment.h"
#include "WebViewHelper.h"

#include <gtk/gtk.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
    int channelFrom (int argc, char** argv)
    {
        if (argc != 2 || std::strncmp (argv[1], "--channel=", 10) != 0)
            return -1;

        char* end = nullptr;
        const auto fd = std::strtol (argv[1] + 10, &end, 10);
        struct stat status {};

        if (*end != '\0' || fd < 3 || fd > 1024 || fstat ((int) fd, &status) != 0 || ! S_ISSOCK (status.st_mode))
            return -1;

        return (int) fd;
    }
}

int main (int argc, char** argv)
{
    const auto channel = channelFrom (argc, argv);

    if (channel < 0)
    {
        std::cerr << "DuzezavureWebView runs the console's web view for Duzezavure, which starts it; it is not started by hand." << std::endl;
        return 2;
    }

    // The web engine's own processes get no channel of ours.
    fcntl (channel, F_SETFD, FD_CLOEXEC);
    std::signal (SIGPIPE, SIG_IGN);
    brindle::prepareWebEngineEnvironment();

    gdk_set_allowed_backends ("x11");
    gtk_disable_setlocale();

    if (! gtk_init_check (nullptr, nullptr))
    {
        const char* display = std::getenv ("DISPLAY");
        std::cerr << "the web view's helper cannot open the display " << (display != nullptr ? display : "(none set)") << std::endl;
        return 1;
    }

    const auto status = brindle::WebViewHelper (channel).run();

    // The web engine's own clean-up at exit waits on threads that are gone by then: the view is
    // closed, so the helper leaves without it.
    std::cerr.flush();
    std::fflush (nullptr);
    _exit (status);
}
