#pragma once

#include "ApplicationServices.h"
#include "DuzezavureSettings.h"
#include "DuzezavureWindow.h"

#include "engine/AudioRouter.h"
#include "platform/QuitSignals.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

namespace brindle
{

/** The root object of the program: owns the audio router, the settings store, the console
    window and the notification-area icon; builds them in order, starts audio from the stored
    route, keeps the program to one running instance per user and takes everything down in
    order at the end.

    Threading: every method runs on the message thread. */
class DuzezavureApplication final : public juce::JUCEApplication
{
public:
    class Tray;

    /** The program's own: the services of this machine. */
    DuzezavureApplication();

    /** With the given services (tests). */
    explicit DuzezavureApplication (ApplicationServices services);
    ~DuzezavureApplication() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;

    /** The framework's own single-instance lock is one machine-wide file that never hands a
        start over on Linux, so ours (per user, with hand-over) does the job in initialise. */
    bool moreThanOneInstanceAllowed() override;

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    void systemRequestedQuit() override;

    /** Opens the stored route (completed with the first device type and the default playback
        device where it names none) and applies the stored correction state. */
    void startAudio();

    /** Sends the console's device report once its page has said it is ready; before that, or
        without a window, there is no page to tell. */
    void refreshConsoleDevices();

    /** Draws the tray icon from whether audio runs now. Called at the end of initialise, and
        by whatever changes the route afterwards, so that the icon never shows a stale state. */
    void updateTrayIcon();

    /** The ring, with a dot when audio is being corrected: 64 x 64 ARGB. */
    static juce::Image makeTrayIcon (bool running);

    AudioRouter& getRouter() noexcept { return router; }
    DuzezavureSettings& getSettings() noexcept { return settings; }
    DuzezavureWindow* getWindow() noexcept { return window.get(); }
    Tray* getTray() noexcept { return tray.get(); }
    ApplicationServices& getServices() noexcept { return services; }

private:
    ConsoleServices makeConsoleServices();

    ApplicationServices services;
    AudioRouter router;
    DuzezavureSettings settings;
    std::unique_ptr<DuzezavureWindow> window;
    std::unique_ptr<Tray> tray;
    std::unique_ptr<QuitSignals> quitSignals;
    bool initialised = false;
};

} // namespace brindle
