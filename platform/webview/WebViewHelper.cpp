#include "WebViewHelper.h"

#include "WebKitGtkContext.h"
#include "WebKitGtkSchemeRequest.h"
#include "WebKitGtkView.h"

#include <glib-unix.h>

#include <cerrno>
#include <iostream>
#include <sys/socket.h>

namespace brindle
{

namespace
{
    // The largest file of the console's, with its frame, is far below this.
    constexpr size_t maxFrameFromApplication = (size_t) 64 * 1024 * 1024;

    /** The view's reports, as frames to the application. */
    class ChannelReports final : public WebKitGtkViewReports
    {
    public:
        explicit ChannelReports (WebViewHelper& h) : helper (h) {}

        using T = WebViewFrame::Type;

        void viewOpened (unsigned long plugWindow) override          { helper.send (T::opened, 0, juce::String ((juce::uint64) plugWindow)); }
        void loadStarted (int n) override                             { helper.send (T::loadStarted, (guint32) n); }
        void loadCommitted (int n, const juce::String& uri) override  { helper.send (T::loadCommitted, (guint32) n, uri); }
        void loadFailed (int n) override                              { helper.send (T::loadFailed, (guint32) n); }
        void webProcessTerminated (int n) override                    { helper.send (T::webProcessTerminated, (guint32) n); }
        void pageMessage (const juce::String& text) override          { helper.send (T::pageMessage, 0, text); }

        void resourceRequested (const juce::String& path, std::shared_ptr<WebKitGtkSchemeRequest> request) override
        {
            helper.askForResource (path, std::move (request));
        }

    private:
        WebViewHelper& helper;
    };
}

WebViewHelper::WebViewHelper (int channelToServe)
    : channel (channelToServe),
      reader (false, maxFrameFromApplication)
{
}

WebViewHelper::~WebViewHelper()
{
    if (loop != nullptr)
        g_main_loop_unref (loop);
}

int WebViewHelper::run()
{
    loop = g_main_loop_new (nullptr, FALSE);
    view = std::make_unique<WebKitGtkView> (std::make_unique<ChannelReports> (*this));
    view->open();

    channelSource = g_unix_fd_add (channel, (GIOCondition) (G_IO_IN | G_IO_HUP | G_IO_ERR), &WebViewHelper::onChannel, this);

    if (channelOpen)
        g_main_loop_run (loop);

    if (channelSource != 0)
        g_source_remove (channelSource);

    // Requests still waiting are answered with an error, then the view closes.
    for (auto& [id, request] : pendingResources)
        request->finish (std::nullopt);

    pendingResources.clear();
    WebKitGtkContext::closeAll();
    view.reset();
    return exitStatus;
}

bool WebViewHelper::send (WebViewFrame::Type type, guint32 number, const juce::String& text)
{
    if (! channelOpen)
        return false;

    const auto bytes = WebViewFrame { type, number, text, {} }.encode();
    size_t sent = 0;

    while (sent < bytes.size())
    {
        const auto n = ::send (channel, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);

        if (n < 0 && errno == EINTR)
            continue;

        if (n <= 0)
        {
            end (0);
            return false;
        }

        sent += (size_t) n;
    }

    return true;
}

void WebViewHelper::askForResource (const juce::String& path, std::shared_ptr<WebKitGtkSchemeRequest> request)
{
    const auto id = nextRequest++;
    pendingResources[id] = std::move (request);
    send (WebViewFrame::Type::resourceRequest, id, path);
}

gboolean WebViewHelper::onChannel (gint, GIOCondition, gpointer self)
{
    auto& helper = *static_cast<WebViewHelper*> (self);

    if (helper.readChannel())
        return G_SOURCE_CONTINUE;

    helper.channelSource = 0;
    return G_SOURCE_REMOVE;
}

bool WebViewHelper::readChannel()
{
    std::byte chunk[65536];

    while (channelOpen)
    {
        const auto got = recv (channel, chunk, sizeof (chunk), MSG_DONTWAIT);

        if (got < 0 && errno == EINTR)
            continue;

        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;

        if (got <= 0)
        {
            end (0);
            break;
        }

        reader.append (chunk, (size_t) got);

        while (channelOpen)
        {
            auto frame = reader.next();

            if (! frame.has_value())
                break;

            handle (*frame);
        }

        if (reader.hasFailed())
        {
            std::cerr << "the web view's helper ends: the application sent " << reader.getProblem() << std::endl;
            end (3);
        }
    }

    return false;
}

void WebViewHelper::handle (const WebViewFrame& frame)
{
    using T = WebViewFrame::Type;

    switch (frame.type)
    {
        case T::showPlug:             view->showPlug(); break;
        case T::load:                 view->load (frame.text, (int) frame.number); break;
        case T::runScriptInPage:      view->runScriptInPage (frame.text); break;
        case T::runScriptInAnyPage:   view->runScriptInAnyPage (frame.text); break;

        case T::saveSnapshot:
            view->saveSnapshot (juce::File (frame.text), [this, id = frame.number] (bool saved)
            {
                send (T::snapshotSaved, id, saved ? "saved" : "failed");
            });
            break;

        case T::resource:
        case T::noResource:
        {
            const auto found = pendingResources.find (frame.number);

            if (found == pendingResources.end())
                break;

            auto request = std::move (found->second);
            pendingResources.erase (found);

            if (frame.type == T::resource)
                request->finish (WebResource { frame.bytes, frame.text });
            else
                request->finish (std::nullopt);

            break;
        }

        default:
            break;   // the reader lets no frame of the helper's own through
    }
}

void WebViewHelper::end (int status)
{
    if (! channelOpen)
        return;

    channelOpen = false;
    exitStatus = status;

    if (loop != nullptr)
        g_main_loop_quit (loop);
}

} // namespace brindle
