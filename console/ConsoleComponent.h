#pragma once

#include "app/DuzezavureSettings.h"
#include "engine/AudioRouter.h"
#include "platform/SoundSettingsLauncher.h"
#include "platform/webview/WebBrowserComponent.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace brindle
{

/** What the console reaches beyond the router and the settings: the programs it starts for the
    page and the application it tells about a new route. Tests give fakes.

    Threading: message thread. */
struct ConsoleServices
{
    SoundSettingsLauncher* soundSettings = nullptr;             // "soundsettings"; may be null
    std::function<void (const juce::String& url)> openInBrowser; // an allowed vendor page
    std::function<void()> routeApplied;                          // after every route change
    WebBrowserBackendFactory webBackend;                         // empty: this platform's engine
};

/** The console: a web view showing the embedded console page, the page's events handled
    against the router and the settings store, and the status sent to the page ten times a
    second.

    The page talks to the host through named events only. It sends "ready", "state", "route",
    "rescan", "library" and "shell"; the host answers with "restore", "devices", "library" and
    "meter". Nothing is sent while the web view is not showing (the window hidden or
    minimised); such a message is dropped, not kept. A page that boots again (after the window
    was shown again) says "ready" again and is answered as the first time.

    Threading: message thread only, like everything it calls (the router's route changes and
    status, the settings store, the device scans). It takes no lock. */
class ConsoleComponent final : public juce::Component,
                               private juce::Timer
{
public:
    /** Builds the web view on the embedded page and starts the meter. The router and the
        settings outlive the console. */
    ConsoleComponent (AudioRouter& router, DuzezavureSettings& settings, ConsoleServices services);
    ~ConsoleComponent() override;

    /** Whether the page has said "ready" at least once; never cleared. */
    bool isPageReady() const noexcept { return pageReady; }

    /** How many times the page has said "ready" (each boot of it, each handshake). */
    int getPageReadyCount() const noexcept { return pageReadyCount; }

    /** The console is asked for: its web view's engine, if it has stopped, starts again now. */
    void consoleAskedFor() { webView.startEngineAgainIfStopped(); }

    /** The route whose device type and output the next device lists are built for. */
    const AudioRoute& getShownRoute() const noexcept { return shownRoute; }

    /** Sends "devices" while the web view is showing: the device report for the shown route,
        with the route in force as "selected". */
    void sendDevices();

    /** Sends "library" while the web view is showing: the names of the saved rooms. */
    void sendLibrary();

    void paint (juce::Graphics& g) override;
    void resized() override;

    // The page's events, as the web view's listeners receive them.
    void handleReadyEvent (const juce::var& payload);
    void handleStateEvent (const juce::var& payload);
    void handleRouteEvent (const juce::var& payload);
    void handleRescanEvent (const juce::var& payload);
    void handleLibraryEvent (const juce::var& payload);
    void handleShellEvent (const juce::var& payload);

    /** Opens a route the route message accepted, keeps it and tells the page. */
    void applyRoute (const AudioRoute& route);

    /** The colour behind the page, seen where the web view does not cover the component. */
    static constexpr juce::uint32 backgroundColour = 0xffe9e7e1;

private:
    void timerCallback() override;

    WebBrowserComponent::Options makeWebViewOptions();
    void sendRestore (const juce::String& stateJson);

    /** Where a state to adopt comes from: one new to the settings is stored first, and only
        when the file has room for it; the stored one is only applied again. */
    enum class StateOrigin { newText, stored };

    /** Parses a state text, stores it (see StateOrigin) and applies it. False, leaving the
        audio and the settings as they were, for a text that is not a state or one the settings
        file has no room for. */
    bool adoptState (const juce::String& text, StateOrigin origin);

    /** Saves the settings. A failed save keeps the document in memory for the next save to
        try again; the first failure after a success is told on standard error, with why. */
    void saveSettings();

    AudioRouter& router;
    DuzezavureSettings& settings;
    ConsoleServices services;
    WebBrowserComponent webView;
    bool pageReady = false;
    int pageReadyCount = 0;
    bool lastSaveFailed = false;
    AudioRoute shownRoute;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ConsoleComponent)
};

} // namespace brindle
