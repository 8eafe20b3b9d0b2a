#include "WebViewHelperBackend.h"

#include "PageBridgeScript.h"
#include "PageMessage.h"
#include "ResourceProviderRoot.h"

#include "platform/RunningExecutable.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace brindle
{

namespace
{
    const juce::String blankPage ("about:blank");

    // What the helper sends is a page message at most, with its frame; what goes to it, a
    // file of the console's at most.
    constexpr size_t maxFrameFromHelper = maxPageMessageBytes + 4096;

    // A helper that lets this much wait unread has stopped reading: it has failed.
    constexpr size_t maxWaitingForHelper = (size_t) 256 * 1024 * 1024;

    // A helper that closed its channel gets this long to end by itself, so that its own
    // exit status is the one reported.
    constexpr double reapWaitMs = 2000;

    // A page that takes its web process down as it boots must not keep the machine busy.
    constexpr double recoveryIntervalMs = 3000;

    constexpr int tickMs = 20;

    // A helper that takes nothing of what waits for it this long has stopped (its loop is
    // stuck, or it was stopped): it is ended.
    constexpr double stuckMs = 10000;

    double nowMs() { return juce::Time::getMillisecondCounterHiRes(); }
}

WebViewHelperBackend::WebViewHelperBackend (Host& hostToServe, juce::File helperExecutable)
    : host (hostToServe),
      executable (std::move (helperExecutable)),
      watcher (hostToServe.getComponent(), [this] { updateShown(); })
{
    shown = watcher.isInVisibleWindow();
    startHelper();
}

WebViewHelperBackend::~WebViewHelperBackend()
{
    stopTimer();

    if (plug != nullptr)
    {
        host.getComponent().removeChildComponent (plug.get());
        plug.reset();
    }

    host.getComponent().removeChildComponent (&notice);

    if (helper == nullptr)
        return;

    // Closing the channel asks the helper to close its view and end, which takes it a few
    // milliseconds; it is killed if it has not within two seconds.
    stopWatching();
    shutdown (helper->getChannel(), SHUT_RDWR);

    const auto deadline = nowMs() + 2000;

    while (! helper->hasEnded() && nowMs() < deadline)
        juce::Thread::sleep (5);

    helper.reset();

    for (auto& [request, done] : snapshots)
        done (false);
}

juce::File WebViewHelperBackend::helperBesideThisProgram()
{
    return runningExecutable().getSiblingFile ("DuzezavureWebView");
}

WebBrowserBackendFactory WebViewHelperBackend::factory (juce::File helperExecutable)
{
    return [helperExecutable] (Host& host) { return std::make_unique<WebViewHelperBackend> (host, helperExecutable); };
}

void WebViewHelperBackend::goToURL (const juce::String& url)
{
    pageURL = url;

    if (shown)
        navigate (url);
}

bool WebViewHelperBackend::isBrowserShowing() const
{
    return host.getComponent().isShowing();
}

bool WebViewHelperBackend::isReadyForEvents() const
{
    return reader != nullptr && shown && ! loading
        && host.getComponent().isShowing()
        && isUnderResourceProviderRoot (committedURL);
}

void WebViewHelperBackend::sendEvent (const juce::String& eventId, const juce::String& payloadJson)
{
    send (WebViewFrame::Type::runScriptInPage, 0, makeHostEventScript (eventId, payloadJson));
}

void WebViewHelperBackend::resized()
{
    if (plug != nullptr)
        plug->setBounds (host.getComponent().getLocalBounds());

    notice.setBounds (host.getComponent().getLocalBounds());
}

void WebViewHelperBackend::startAgainNow()
{
    if (helper == nullptr)
        startHelper();
    else if (reapUntilMs > 0)
        startOnceReaped = true;   // the one that failed is still ending
}

int WebViewHelperBackend::getHelperProcessId() const
{
    return reader != nullptr ? (int) helper->getProcessId() : -1;
}

juce::String WebViewHelperBackend::getFailureText() const
{
    return notice.getParentComponent() != nullptr ? notice.getText() : juce::String();
}

void WebViewHelperBackend::runScriptInAnyPage (const juce::String& script)
{
    send (WebViewFrame::Type::runScriptInAnyPage, 0, script);
}

void WebViewHelperBackend::saveSnapshot (const juce::File& png, std::function<void (bool)> done)
{
    if (reader == nullptr)
    {
        done (false);
        return;
    }

    const auto request = nextSnapshot++;
    snapshots[request] = std::move (done);
    send (WebViewFrame::Type::saveSnapshot, request, png.getFullPathName());
}

//==============================================================================
void WebViewHelperBackend::startHelper()
{
    restartAtMs = 0;
    juce::String problem;
    helper = WebViewHelperProcess::start (executable, problem);
    ++starts;

    if (helper == nullptr)
    {
        finishFailure (problem);
        return;
    }

    startedAtMs = nowMs();
    reader = std::make_unique<WebViewFrameReader> (true, maxFrameFromHelper);
    outgoing.clear();
    outgoingSent = 0;
    errorLine.clear();
    lastErrorLine = {};

    juce::LinuxEventLoop::registerFdCallback (helper->getChannel(), [this] (int) { channelReady(); });
    juce::LinuxEventLoop::registerFdCallback (helper->getErrorOutput(), [this] (int) { readErrorOutput(); });
    watchingErrors = true;

    // A new helper's view starts blank and goes to the page once it is shown.
    committedURL = {};
    loading = false;
    recovered = false;

    if (shown && pageURL.isNotEmpty())
        navigate (pageURL);
}

void WebViewHelperBackend::stopWatching()
{
    if (reader == nullptr)
        return;

    juce::LinuxEventLoop::unregisterFdCallback (helper->getChannel());

    if (watchingErrors)
        juce::LinuxEventLoop::unregisterFdCallback (helper->getErrorOutput());

    reader.reset();
    watchingOutput = false;
    watchingErrors = false;
}

void WebViewHelperBackend::helperFailed (const juce::String& why)
{
    if (reader == nullptr)
        return;

    readErrorOutput();
    stopWatching();

    if (plug != nullptr)
    {
        host.getComponent().removeChildComponent (plug.get());
        plug.reset();
    }

    committedURL = {};
    loading = false;

    for (auto& [request, done] : snapshots)
        done (false);

    snapshots.clear();

    // A helper that sent garbage is not trusted to end by itself; one whose channel closed is
    // given a moment, so that its own exit status is what the notice says.
    failure = why;

    if (why.isNotEmpty())
        helper->kill();

    reapUntilMs = nowMs() + reapWaitMs;
    startTimer (tickMs);
    timerCallback();
}

void WebViewHelperBackend::finishFailure (const juce::String& why)
{
    const auto ranForMs = helper != nullptr ? nowMs() - startedAtMs : 0.0;
    auto reason = why;

    if (helper != nullptr)
    {
        // What it wrote before it ended is read to the end now.
        readErrorOutput();
        const auto ending = "The web view's helper " + helper->describeEnd();
        reason = why.isNotEmpty() ? ending + " after " + why + "." : ending + ".";

        const auto unfinished = juce::String::fromUTF8 (errorLine.data(), (int) errorLine.size()).trim();
        const auto last = unfinished.isNotEmpty() ? unfinished : lastErrorLine;

        if (last.isNotEmpty())
            reason << "\nIts last words: " << last;

        helper.reset();
    }

    ++failures;
    std::cerr << "the console's web view stopped: " << reason << std::endl;

    const auto waitMs = pause.afterFailure (ranForMs);
    restartAtMs = nowMs() + waitMs;
    showNotice (reason, waitMs);
    startTimer (tickMs);
}

void WebViewHelperBackend::showNotice (const juce::String& why, int retryInMs)
{
    notice.show (why, retryInMs);
    notice.setBounds (host.getComponent().getLocalBounds());
    host.getComponent().addAndMakeVisible (notice);
}

//==============================================================================
void WebViewHelperBackend::channelReady()
{
    readChannel();

    if (reader != nullptr)
        flushChannel();
}

void WebViewHelperBackend::readChannel()
{
    std::byte chunk[65536];

    // At most a few chunks a turn: a helper that never stops sending must not keep the message
    // thread from everything else (the poll is level-triggered, so the rest comes next turn).
    for (int turn = 0; turn < 4 && reader != nullptr; ++turn)
    {
        const auto got = recv (helper->getChannel(), chunk, sizeof (chunk), MSG_DONTWAIT);

        if (got == 0)
        {
            helperFailed ({});
            return;
        }

        if (got < 0)
        {
            if (errno == EINTR)
                continue;

            if (errno != EAGAIN && errno != EWOULDBLOCK)
                helperFailed ({});

            return;
        }

        if (! reader->append (chunk, (size_t) got))
        {
            helperFailed ("it sent " + reader->getProblem());
            return;
        }

        while (reader != nullptr)
        {
            auto frame = reader->next();

            if (! frame.has_value())
            {
                if (reader->hasFailed())
                    helperFailed ("it sent " + reader->getProblem());

                break;
            }

            if (! handle (*frame))
            {
                helperFailed ("it sent a frame it may not send (type " + juce::String ((int) frame->type) + ")");
                return;
            }
        }
    }
}

void WebViewHelperBackend::flushChannel()
{
    while (reader != nullptr && outgoingSent < outgoing.size())
    {
        const auto sent = ::send (helper->getChannel(), outgoing.data() + outgoingSent, outgoing.size() - outgoingSent, MSG_DONTWAIT | MSG_NOSIGNAL);

        if (sent < 0)
        {
            if (errno == EINTR)
                continue;

            if (errno != EAGAIN && errno != EWOULDBLOCK)
                helperFailed ({});

            break;
        }

        outgoingSent += (size_t) sent;
        lastProgressMs = nowMs();
    }

    if (reader == nullptr)
        return;

    if (outgoingSent == outgoing.size())
    {
        outgoing.clear();
        outgoingSent = 0;
    }
    else if (outgoingSent >= (size_t) 1 << 20)
    {
        // What was sent is let go, so the buffer holds only what waits.
        outgoing.erase (outgoing.begin(), outgoing.begin() + (std::ptrdiff_t) outgoingSent);
        outgoingSent = 0;
    }

    // Told when the channel can take more only while something waits for it.
    const bool waiting = ! outgoing.empty();

    if (waiting && ! watchingOutput)
    {
        lastProgressMs = nowMs();
        startTimer (tickMs);
    }

    if (waiting != watchingOutput)
    {
        watchingOutput = waiting;
        juce::LinuxEventLoop::unregisterFdCallback (helper->getChannel());
        juce::LinuxEventLoop::registerFdCallback (helper->getChannel(), [this] (int) { channelReady(); },
                                                  (short) (waiting ? POLLIN | POLLOUT : POLLIN));
    }
}

void WebViewHelperBackend::readErrorOutput()
{
    if (helper == nullptr)
        return;

    char chunk[4096];

    for (int turn = 0; turn < 16; ++turn)
    {
        const auto got = read (helper->getErrorOutput(), chunk, sizeof (chunk));

        if (got <= 0)
        {
            if (got < 0 && errno == EINTR)
                continue;

            // At its end the pipe stays readable for good: it is not watched any more.
            if (got == 0 && watchingErrors)
            {
                juce::LinuxEventLoop::unregisterFdCallback (helper->getErrorOutput());
                watchingErrors = false;
            }

            return;
        }

        // Passed on as it is, and its last line kept for the notice.
        std::cerr.write (chunk, got);
        std::cerr.flush();

        for (ssize_t i = 0; i < got; ++i)
        {
            if (chunk[i] == '\n')
            {
                if (const auto line = juce::String::fromUTF8 (errorLine.data(), (int) errorLine.size()).trim(); line.isNotEmpty())
                    lastErrorLine = line;

                errorLine.clear();
            }
            else if (errorLine.size() < 1000 && chunk[i] != '\0')
            {
                errorLine.push_back (chunk[i]);
            }
        }
    }
}

void WebViewHelperBackend::send (WebViewFrame::Type type, juce::uint32 number, const juce::String& text, std::vector<std::byte> bytes)
{
    if (reader == nullptr)
        return;

    WebViewFrame frame { type, number, text, std::move (bytes) };
    const auto encoded = frame.encode();

    if (outgoing.size() - outgoingSent + encoded.size() > maxWaitingForHelper)
    {
        helperFailed ("it let " + juce::String ((int) (maxWaitingForHelper >> 20)) + " MiB wait unread on its channel");
        return;
    }

    outgoing.insert (outgoing.end(), encoded.begin(), encoded.end());
    flushChannel();
}

bool WebViewHelperBackend::handle (const WebViewFrame& frame)
{
    using T = WebViewFrame::Type;
    const auto n = (int) frame.number;

    switch (frame.type)
    {
        case T::opened:                 viewOpened (frame.text); return plug != nullptr;
        case T::loadStarted:            if (n == navigation) loading = true; return true;
        case T::loadCommitted:          loadCommitted (n, frame.text); return true;
        case T::loadFailed:             if (n == navigation) loading = false; return true;
        case T::webProcessTerminated:   webProcessTerminated(); return true;
        case T::pageMessage:            host.pageMessageArrived (frame.text); return true;
        case T::resourceRequest:        answerResource (frame.number, frame.text); return true;

        case T::snapshotSaved:
        {
            const auto found = snapshots.find (frame.number);

            if (found != snapshots.end())
            {
                auto done = std::move (found->second);
                snapshots.erase (found);
                done (frame.text == "saved");
            }

            return true;
        }

        case T::showPlug: case T::load: case T::runScriptInPage: case T::runScriptInAnyPage:
        case T::saveSnapshot: case T::resource: case T::noResource:
            break;
    }

    return false;
}

void WebViewHelperBackend::viewOpened (const juce::String& plugWindow)
{
    // One view a helper, and its window is a number.
    if (plug != nullptr || plugWindow.isEmpty() || ! plugWindow.containsOnly ("0123456789") || plugWindow.length() > 12)
        return;

    plug = std::make_unique<juce::XEmbedComponent> ((unsigned long) plugWindow.getLargeIntValue(), true, false);
    host.getComponent().removeChildComponent (&notice);

    if (shown)
        embed();

    send (WebViewFrame::Type::showPlug);
}

void WebViewHelperBackend::loadCommitted (int committed, const juce::String& uri)
{
    committedURL = uri;

    if (committed == navigation)
        loading = false;
}

void WebViewHelperBackend::webProcessTerminated()
{
    committedURL = {};
    loading = false;

    if (shown)
        recover();
}

void WebViewHelperBackend::answerResource (juce::uint32 request, const juce::String& path)
{
    auto resource = host.resourceRequested (path);

    if (resource.has_value())
        send (WebViewFrame::Type::resource, request, resource->mimeType, std::move (resource->data));
    else
        send (WebViewFrame::Type::noResource, request);
}

//==============================================================================
void WebViewHelperBackend::updateShown()
{
    const bool nowShown = watcher.isInVisibleWindow();

    if (nowShown == shown)
        return;

    shown = nowShown;

    if (shown)
    {
        // Shown again while the helper is down: the console is asked for, so try at once.
        if (helper == nullptr || reapUntilMs > 0)
        {
            startAgainNow();
            return;
        }

        if (plug != nullptr)
            embed();

        // Navigating, not reloading: a reload would bring back the blank page.
        if (pageURL.isNotEmpty())
            navigate (pageURL);
    }
    else
    {
        if (plug != nullptr)
            host.getComponent().removeChildComponent (plug.get());

        if (pageURL.isNotEmpty())
            navigate (blankPage);
    }
}

void WebViewHelperBackend::embed()
{
    // Sized first: the embedding sizes its X windows as it joins the window.
    plug->setBounds (host.getComponent().getLocalBounds());
    host.getComponent().addAndMakeVisible (*plug);
}

void WebViewHelperBackend::navigate (const juce::String& uri)
{
    if (reader == nullptr)
        return;

    ++navigation;
    loading = true;
    send (WebViewFrame::Type::load, (juce::uint32) navigation, uri);
}

void WebViewHelperBackend::recover()
{
    if (pageURL.isEmpty())
        return;

    const auto since = nowMs() - lastRecoveryMs;

    if (recovered && since < recoveryIntervalMs)
    {
        startTimer (tickMs);
        return;
    }

    recovered = true;
    lastRecoveryMs = nowMs();
    navigate (pageURL);
}

void WebViewHelperBackend::timerCallback()
{
    const auto now = nowMs();

    if (reapUntilMs > 0 && helper != nullptr)
    {
        if (helper->hasEnded() || now >= reapUntilMs)
        {
            helper->killAndReap();
            reapUntilMs = 0;
            finishFailure (failure);

            if (std::exchange (startOnceReaped, false))
                startHelper();
        }

        return;
    }

    if (restartAtMs > 0)
    {
        if (now >= restartAtMs)
            startHelper();

        return;
    }

    if (watchingOutput && now - lastProgressMs >= stuckMs)
    {
        helperFailed ("it took nothing from its channel for " + juce::String (stuckMs / 1000.0) + " s");
        return;
    }

    const bool recovering = reader != nullptr && shown && committedURL.isEmpty() && recovered;

    if (recovering && now - lastRecoveryMs >= recoveryIntervalMs)
        recover();

    if (! recovering && ! watchingOutput)
        stopTimer();
}

} // namespace brindle
