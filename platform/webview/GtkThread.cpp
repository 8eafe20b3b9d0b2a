#include "GtkThread.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtk/gtk.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

namespace brindle
{

namespace
{
    /** The thread and its queue. The queue has a lock of our own, not the main context's, so
        that what the work captures is handed over under a lock every tool can see; the main
        loop is only woken, and a source of ours takes the work out on the GTK thread. */
    class Runner
    {
    public:
        enum class Phase { notStarted, starting, running, failed, stopped };

        static Runner& the();

        bool start()
        {
            std::unique_lock<std::mutex> hold (lock);

            if (phase != Phase::notStarted)
                return phase == Phase::running;

            phase = Phase::starting;
            hold.unlock();

            // The framework's X error handlers go in before GTK's, which hands on to them.
            juce::Desktop::getInstance().getDisplays();

            hold.lock();
            thread = std::thread ([this] { run(); });
            changed.wait (hold, [this] { return phase != Phase::starting; });

            if (phase == Phase::failed)
            {
                hold.unlock();
                thread.join();
                return false;
            }

            return true;
        }

        bool post (std::function<void()> work)
        {
            GMainContext* toWake = nullptr;

            {
                const std::lock_guard<std::mutex> hold (lock);

                if (phase != Phase::running)
                    return false;

                queue.push_back (std::move (work));
                toWake = context;
            }

            g_main_context_wakeup (toWake);
            return true;
        }

        void stop (const std::function<void()>& lastWork)
        {
            GMainContext* toWake = nullptr;

            {
                const std::lock_guard<std::mutex> hold (lock);

                if (phase != Phase::running)
                {
                    if (phase == Phase::notStarted)
                        phase = Phase::stopped;

                    return;
                }

                queue.push_back (lastWork);
                queue.push_back ([this] { g_main_loop_quit (loop); });
                phase = Phase::stopped;
                toWake = context;
            }

            g_main_context_wakeup (toWake);

            // The thread is never joined: once its loop is left it parks for good (see run()).
            // And should the web engine's own teardown not return, the program, which is
            // ending, goes on without it rather than hang at quit.
            std::unique_lock<std::mutex> hold (lock);

            if (! changed.wait_for (hold, stopTimeout, [this] { return finished; }))
                std::cerr << "the web engine did not close within " << stopTimeout.count() << " s; quitting without it" << std::endl;

            hold.unlock();
            thread.detach();
        }

        bool isCurrentThread()
        {
            const std::lock_guard<std::mutex> hold (lock);
            return threadId == std::this_thread::get_id();
        }

    private:
        void run()
        {
            gdk_set_allowed_backends ("x11");
            gtk_disable_setlocale();
            const bool initialised = gtk_init_check (nullptr, nullptr) != FALSE;

            GSource* source = nullptr;

            if (initialised)
            {
                source = g_source_new (&sourceFunctions, sizeof (GSource));
                g_source_set_name (source, "brindle work");
                g_source_attach (source, g_main_context_default());
                loop = g_main_loop_new (g_main_context_default(), FALSE);
            }

            {
                const std::lock_guard<std::mutex> hold (lock);
                context = initialised ? g_main_context_default() : nullptr;
                threadId = std::this_thread::get_id();
                phase = initialised ? Phase::running : Phase::failed;
            }

            changed.notify_all();

            if (! initialised)
                return;

            g_main_loop_run (loop);

            g_source_destroy (source);
            g_source_unref (source);
            g_main_loop_unref (loop);
            loop = nullptr;

            std::unique_lock<std::mutex> hold (lock);
            finished = true;
            changed.notify_all();

            // The web engine treats this thread as its main thread, and its clean-up at the
            // thread's exit waits for that very thread's run loop: exiting would hang (seen on
            // loaded machines). The thread parks instead and ends with the process.
            changed.wait (hold, [] { return false; });
        }

        bool hasWork()
        {
            const std::lock_guard<std::mutex> hold (lock);
            return ! queue.empty();
        }

        void runWork()
        {
            std::deque<std::function<void()>> batch;

            {
                const std::lock_guard<std::mutex> hold (lock);
                batch.swap (queue);
            }

            for (auto& work : batch)
            {
                work();
                work = nullptr;   // what it holds goes here, on the GTK thread
            }
        }

        static gboolean prepare (GSource*, gint* timeout)
        {
            *timeout = -1;
            return the().hasWork();
        }

        static gboolean check (GSource*)
        {
            return the().hasWork();
        }

        static gboolean dispatch (GSource*, GSourceFunc, gpointer)
        {
            the().runWork();
            return G_SOURCE_CONTINUE;
        }

        static inline GSourceFuncs sourceFunctions { &Runner::prepare, &Runner::check, &Runner::dispatch, nullptr, nullptr, nullptr };

        std::mutex lock;
        std::condition_variable changed;
        Phase phase = Phase::notStarted;
        std::deque<std::function<void()>> queue;
        GMainContext* context = nullptr;
        GMainLoop* loop = nullptr;   // made and used on the GTK thread only
        std::thread thread;
        std::thread::id threadId;
        bool finished = false;   // the thread has left its loop and released what it held

        static constexpr std::chrono::seconds stopTimeout { 10 };
    };

    // Never destroyed: the thread may still run when static objects go at exit, if no one
    // stopped it.
    Runner& Runner::the()
    {
        static auto* runner = new Runner();
        return *runner;
    }
}

bool GtkThread::start()
{
    return Runner::the().start();
}

bool GtkThread::post (std::function<void()> work)
{
    return Runner::the().post (std::move (work));
}

void GtkThread::stop (const std::function<void()>& lastWork)
{
    Runner::the().stop (lastWork);
}

bool GtkThread::isCurrentThread()
{
    return Runner::the().isCurrentThread();
}

} // namespace brindle
