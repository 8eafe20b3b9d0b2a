#pragma once

#include "platform/ApplicationDataFolder.h"
#include "platform/LoginItem.h"
#include "platform/simulation/SimulatedAudioSystem.h"
#include "platform/SingleInstance.h"
#include "platform/SoundSettingsLauncher.h"
#include "platform/webview/WebBrowserBackend.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <functional>
#include <memory>

namespace brindle
{

/** What the application object takes from the machine it runs on: whether it has a display,
    its device manager (with the simulated sound card when asked for), its configuration
    folder, the single-instance lock, the login item, the sound settings, how a quit is carried
    out, the web browser and the console's web engine. The program builds them for this
    machine; tests build fakes.

    Threading: built and used on the message thread. */
struct ApplicationServices
{
    std::shared_ptr<SimulatedAudioSystem> simulatedAudio;   // null unless offered
    std::unique_ptr<juce::AudioDeviceManager> deviceManager;
    std::unique_ptr<ApplicationDataFolder> dataFolder;
    std::unique_ptr<SingleInstance> singleInstance;
    LoginItem* loginItem = nullptr;                         // lives as long as the program
    SoundSettingsLauncher* soundSettings = nullptr;         // lives as long as the program
    std::function<void()> quit;                             // ends the message loop
    std::function<void (const juce::String& url)> openInBrowser;   // the default web browser
    WebBrowserBackendFactory webBackend;                    // empty: the web engine in its helper beside the program

    /** Why no window can be shown here, for a person to read; empty text when one can. Unset,
        nothing is asked (tests, which bring their own display). */
    std::function<juce::String()> displayProblem;

    /** [message thread] The real ones of this machine. */
    static ApplicationServices forThisMachine();
};

} // namespace brindle
