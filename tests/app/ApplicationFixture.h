#pragma once

#include "FileBytes.h"
#include "TemporaryFolder.h"

#include "app/DuzezavureApplication.h"
#include "app/Tray.h"
#include "FakeApplicationDataFolder.h"
#include "FakeLoginItem.h"
#include "FakeSoundSettingsLauncher.h"
#include "FakeWebBrowserBackend.h"
#include "platform/simulation/SimulatedDeviceManager.h"
#include "platform/simulation/SimulatedSoundCard.h"

#include <memory>

namespace brindle::test
{

/** A single instance that is told whether it may run, and records hand-overs. */
struct FakeSingleInstance final : SingleInstance
{
    explicit FakeSingleInstance (bool mayRun) : allowed (mayRun) {}
    bool acquire() override { ++acquisitions; return allowed; }
    bool handOver (const juce::String& commandLine) override { handedOver.add (commandLine); return true; }

    bool allowed;
    int acquisitions = 0;
    juce::StringArray handedOver;
};

/** An application object on fakes: a temporary configuration folder, the simulated sound card
    on the manual clock, a login item and sound settings in memory, a console web view without a
    web engine, a browser that only records what it was asked to open, and a quit that is
    counted instead of ending the test's message loop. */
struct ApplicationFixture
{
    TemporaryFolder home;
    FakeLoginItem loginItem;
    FakeSoundSettingsLauncher soundSettings;
    FakeSingleInstance* instance = nullptr;
    FakeWebBrowserBackend* view = nullptr;      // the console's web view, once it exists
    juce::StringArray openedInBrowser;
    std::shared_ptr<SimulatedAudioSystem> audio;
    int quits = 0;
    std::unique_ptr<DuzezavureApplication> app;

    explicit ApplicationFixture (bool mayRun = true, std::shared_ptr<SimulatedAudioSystem> system = SimulatedSoundCard::create (SimulatedClock::Mode::manual))
        : audio (std::move (system))
    {
        ApplicationServices services;
        services.simulatedAudio = audio;
        services.deviceManager = std::make_unique<SimulatedDeviceManager> (audio);
        services.dataFolder = std::make_unique<FakeApplicationDataFolder> (home.get());
        auto single = std::make_unique<FakeSingleInstance> (mayRun);
        instance = single.get();
        services.singleInstance = std::move (single);
        services.loginItem = &loginItem;
        services.soundSettings = &soundSettings;
        services.quit = [this] { ++quits; };
        services.openInBrowser = [this] (const juce::String& url) { openedInBrowser.add (url); };
        services.webBackend = FakeWebBrowserBackend::factory (view);
        app = std::make_unique<DuzezavureApplication> (std::move (services));
    }

    ~ApplicationFixture()
    {
        app.reset();
    }

    juce::File settingsFile() const { return home.get().getChildFile ("Tonwell/duzezavure.json"); }

    void writeSettings (const juce::String& json) const
    {
        settingsFile().getParentDirectory().createDirectory();
        settingsFile().replaceWithText (json);
    }

    static juce::String routeJson (const juce::String& input, const juce::String& output, const juce::String& extra = {})
    {
        return "{\"version\":1,\"routing\":{\"deviceType\":\"Simulated\",\"inputDevice\":\"" + input + "\",\"outputDevice\":\"" + output
             + "\",\"sampleRate\":48000,\"bufferSize\":256,\"queueMs\":30}" + extra + "}";
    }
};

} // namespace brindle::test
