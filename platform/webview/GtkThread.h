#pragma once

#include <functional>

namespace brindle
{

/** The one GTK thread of the process, on which the web engine lives.

    GTK can be initialised once per process and only runs on the thread that did it, so one
    thread serves every web view for the whole run. It starts on first use: the framework's
    display (and with it its X error handlers) comes first, then GTK on the X11 back end,
    without touching the locale, running the default main context's loop. Work reaches it in
    the order it was posted; it answers through MessageManager::callAsync.

    Threading: start() and stop() on the message thread; post() from any thread; the posted
    work runs on the GTK thread. */
class GtkThread
{
public:
    /** Starts the thread unless it runs already; true when GTK is running on it. False when GTK
        cannot start (no X display), and for good once stop() has run. */
    static bool start();

    /** Queues `work` for the GTK thread. False, with `work` dropped unrun, when the thread is not
        running. */
    static bool post (std::function<void()> work);

    /** Runs what was posted before, then `lastWork`, then ends the main loop and joins the
        thread. Does nothing when the thread never started. */
    static void stop (const std::function<void()>& lastWork);

    /** True on the GTK thread. */
    static bool isCurrentThread();
};

} // namespace brindle
