#pragma once

#include "HelperRestartPause.h"
#include "OnScreenWatcher.h"
#include "WebBrowserBackend.h"
#include "WebViewFailureNotice.h"
#include "WebViewFrame.h"
#include "WebViewHelperProcess.h"

#include <juce_gui_extra/juce_gui_extra.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace brindle
{

/** The Linux back end: the web engine runs in a helper process of ours (DuzezavureWebView,
    beside the application), so that nothing it does, a crash, a web process that cannot
    start, memory exhausted, can end the application or touch its sound.

    The helper plugs its view into the component by XEmbed (it reports its plug's window, the
    component takes it in as its only child) and everything else goes over one channel of
    length-prefixed frames (WebViewFrame): navigations and what became of them, the page's
    messages and the scripts that carry the host's events to the page, resource requests (the
    resource provider stays here) and their answers, snapshots. What the helper sends passes
    the same limits as a page message; a helper that sends anything else is ended and counts
    as failed, and nothing of what it sent after the first wrong byte is read.

    Showing and hiding are as with the view in the process: hidden, the helper's view holds a
    blank page and its embedding is taken out; shown again, it boots the page once more.

    When the helper ends, or cannot start, the component shows a WebViewFailureNotice with how
    it ended and the last line of its error output, and the helper is started again after a
    HelperRestartPause (1 s, doubling, at most 30 s); startAgainNow() (the console asked for,
    or shown again) does not wait. The new helper's page boots and shakes hands as after a
    hide and show. A web process of the helper's that ends is replaced by the helper's view
    navigating again, at most once every few seconds.

    The helper ends with the back end: its channel is closed, and it is killed if it has not
    ended two seconds later. One that takes nothing of what waits for it for 10 s has stopped
    and is ended.

    Threading: message thread; the channel is read and written there, from the message loop's
    own poll, never blocking. */
class WebViewHelperBackend final : public WebBrowserBackend,
                                   private juce::Timer
{
public:
    WebViewHelperBackend (Host& host, juce::File helperExecutable);
    ~WebViewHelperBackend() override;

    /** The helper beside the running program: what the application runs. */
    static juce::File helperBesideThisProgram();

    /** Makes back ends on `helperExecutable`. */
    static WebBrowserBackendFactory factory (juce::File helperExecutable);

    void goToURL (const juce::String& url) override;
    bool isBrowserShowing() const override;
    bool isReadyForEvents() const override;
    void sendEvent (const juce::String& eventId, const juce::String& payloadJson) override;
    void resized() override;

    /** Starts the helper at once when none runs (a failed one is not waited for). */
    void startAgainNow() override;

    /** The address of the page the view holds, as last reported (empty when there is none). */
    juce::String getCommittedURL() const { return committedURL; }

    /** The helper's process, or -1 while none runs. */
    int getHelperProcessId() const;

    /** The failure notice's text while it is shown; empty while the helper runs. */
    juce::String getFailureText() const;

    /** How many helpers have been started, and how many of them failed. */
    int getHelperStarts() const noexcept    { return starts; }
    int getHelperFailures() const noexcept  { return failures; }

    /** Whether no helper runs and one is to be started after the pause. */
    bool isWaitingToRestart() const noexcept  { return restartAtMs > 0; }

    /** Runs `script` in whatever page the view holds, without the check on the page's address:
        for tests that play a page that is not ours. */
    void runScriptInAnyPage (const juce::String& script);

    /** Writes what the view shows now to `png` and tells `done` (on the message thread)
        whether it worked: for tests, which keep the picture. */
    void saveSnapshot (const juce::File& png, std::function<void (bool)> done);

private:
    void startHelper();
    void helperFailed (const juce::String& why);
    void finishFailure (const juce::String& why);
    void stopWatching();

    void channelReady();
    void readChannel();
    void flushChannel();
    void readErrorOutput();
    void send (WebViewFrame::Type type, juce::uint32 number = 0, const juce::String& text = {}, std::vector<std::byte> bytes = {});
    bool handle (const WebViewFrame& frame);

    void viewOpened (const juce::String& plugWindow);
    void loadCommitted (int navigation, const juce::String& uri);
    void webProcessTerminated();
    void answerResource (juce::uint32 request, const juce::String& path);

    void updateShown();
    void embed();
    void showNotice (const juce::String& why, int retryInMs);
    void navigate (const juce::String& uri);
    void recover();
    void timerCallback() override;

    Host& host;
    const juce::File executable;
    OnScreenWatcher watcher;

    std::unique_ptr<WebViewHelperProcess> helper;
    std::unique_ptr<WebViewFrameReader> reader;
    std::vector<std::byte> outgoing;
    size_t outgoingSent = 0;
    bool watchingOutput = false;
    bool watchingErrors = false;
    double lastProgressMs = 0;   // when the helper last took something of what waits for it
    std::string errorLine;      // the bytes of the line being written
    juce::String lastErrorLine;
    double startedAtMs = 0;
    int starts = 0;

    std::unique_ptr<juce::XEmbedComponent> plug;
    WebViewFailureNotice notice;
    HelperRestartPause pause;
    double restartAtMs = 0;   // 0: no restart waits
    double reapUntilMs = 0;   // a helper that closed its channel, waited for to end
    juce::String failure;     // why the helper that is being reaped failed
    bool startOnceReaped = false;
    int failures = 0;

    std::map<juce::uint32, std::function<void (bool)>> snapshots;
    juce::uint32 nextSnapshot = 1;

    juce::String pageURL;
    juce::String committedURL;
    int navigation = 0;
    bool shown = false;
    bool loading = false;
    double lastRecoveryMs = 0;
    bool recovered = false;

    JUCE_DECLARE_WEAK_REFERENCEABLE (WebViewHelperBackend)
    JUCE_DECLARE_NON_COPYABLE (WebViewHelperBackend)
};

} // namespace brindle
