#pragma once

#include "WebViewFrame.h"

#include <glib.h>

#include <map>
#include <memory>

namespace brindle
{

class WebKitGtkSchemeRequest;
class WebKitGtkView;

/** The helper process's side of the console's web view: one WebKitGtkView, driven by the
    frames the application sends on the channel, its reports sent back as frames.

    The channel is read on GTK's main loop as it becomes readable, and written with blocking
    writes (the application reads it whenever it can). What the application sends passes a
    WebViewFrameReader; anything else ends the helper. The channel's end, whatever the cause,
    ends it too, after closing the view.

    Threading: the process's main thread, which runs GTK. */
class WebViewHelper
{
public:
    explicit WebViewHelper (int channel);
    ~WebViewHelper();

    /** Opens the view and serves the channel until it ends. The process's exit status: 0 when
        the application closed the channel, 3 when it sent what is not a frame. */
    int run();

    /** Sends one frame to the application; false once the channel is gone. */
    bool send (WebViewFrame::Type type, guint32 number = 0, const juce::String& text = {});

    /** Keeps `request` until the application answers it, and asks for it. */
    void askForResource (const juce::String& path, std::shared_ptr<WebKitGtkSchemeRequest> request);

private:
    static gboolean onChannel (gint fd, GIOCondition condition, gpointer self);
    bool readChannel();
    void handle (const WebViewFrame& frame);
    void end (int status);

    int channel;
    WebViewFrameReader reader;
    std::unique_ptr<WebKitGtkView> view;
    std::map<guint32, std::shared_ptr<WebKitGtkSchemeRequest>> pendingResources;
    guint32 nextRequest = 1;
    GMainLoop* loop = nullptr;
    guint channelSource = 0;
    int exitStatus = 0;
    bool channelOpen = true;
};

} // namespace brindle
