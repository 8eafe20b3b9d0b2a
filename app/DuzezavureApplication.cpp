#include "DuzezavureApplication.h"

#include "Tray.h"

#include "common/SafeFileWrite.h"
#include "engine/DeviceLists.h"
#include "engine/RouteClamp.h"
#include "engine/StateParseResult.h"
#include "platform/DefaultPlaybackDevice.h"
#include "platform/simulation/SimulatedSoundCard.h"

#include <iostream>

namespace brindle
{

DuzezavureApplication::DuzezavureApplication()
    : DuzezavureApplication (ApplicationServices::forThisMachine())
{
}

DuzezavureApplication::DuzezavureApplication (ApplicationServices servicesToUse)
    : services (std::move (servicesToUse)),
      router (std::move (services.deviceManager)),
      settings (*services.dataFolder)
{
}

DuzezavureApplication::~DuzezavureApplication() = default;

const juce::String DuzezavureApplication::getApplicationName()
{
    return "Tonwell Duzezavure";
}

const juce::String DuzezavureApplication::getApplicationVersion()
{
    return "0.1.0";
}

bool DuzezavureApplication::moreThanOneInstanceAllowed()
{
    return true;
}

void DuzezavureApplication::initialise (const juce::String& commandLine)
{
    // Without a display the console window cannot be placed. Asked first, so that such a start
    // ends with a reason, having written nothing: no settings, no lock, no socket.
    if (services.displayProblem)
    {
        if (const auto problem = services.displayProblem(); problem.isNotEmpty())
        {
            std::cerr << "no display: " << problem << std::endl;
            setApplicationReturnValue (1);
            services.quit();
            return;
        }
    }

    // A second start hands over to the running instance and ends, before it has read or could
    // write anything of the user's.
    if (services.singleInstance != nullptr && ! services.singleInstance->acquire())
    {
        services.singleInstance->handOver (commandLine);
        services.quit();
        return;
    }

    if (services.singleInstance != nullptr)
        services.singleInstance->onAnotherInstance = [this] (const juce::String& other) { anotherInstanceStarted (other); };

    // Past the lock no other instance saves these settings, so a temporary file of theirs was
    // left by a save that was killed. (Where no lock could be had, removing a live one would
    // only make that save fail, never harm the file.)
    removeLeftoverTemporaries (settings.getFile());

    quitSignals = std::make_unique<QuitSignals> ([this] { systemRequestedQuit(); });

    settings.load();

    router.onDevicesChanged = [this] { refreshConsoleDevices(); };
    router.onDeviceError = [this] { refreshConsoleDevices(); };

    window = std::make_unique<DuzezavureWindow> (std::make_unique<ConsoleComponent> (router, settings, makeConsoleServices()));
    window->setVisible (true);

    tray = std::make_unique<Tray> (*this);

    startAudio();
    updateTrayIcon();
    initialised = true;
}

void DuzezavureApplication::shutdown()
{
    tray.reset();
    window.reset();

    router.running = false;
    router.closeDevices();
    router.stopDesigner();

    // Only a start that loaded the settings writes them: a start that handed over to the
    // running instance must not put its defaults over that instance's file.
    // A save that fails here is the last chance: say so, or the changes since the last good
    // save would vanish without a word.
    if (initialised)
        if (const auto saved = settings.save(); saved.failed())
            std::cerr << "settings not saved: " << saved.getErrorMessage() << std::endl;

    if (services.simulatedAudio != nullptr)
        SimulatedSoundCard::finishRecording (*services.simulatedAudio);

    // Last: a second request to quit during shut-down must not cut it short before the save.
    quitSignals.reset();
}

void DuzezavureApplication::anotherInstanceStarted (const juce::String&)
{
    if (window != nullptr)
        window->showConsole();
}

void DuzezavureApplication::systemRequestedQuit()
{
    if (services.quit)
        services.quit();
}

void DuzezavureApplication::startAudio()
{
    // The stored route is held to the numeric limits first: a hand-edited queue length must
    // not ask for gigabytes. The texts are taken as stored.
    auto route = clampRoute (settings.getRouting());

    if (route.deviceType.isEmpty())
    {
        const auto types = getDeviceTypeNames (router.getDeviceManager());
        if (! types.isEmpty())
            route.deviceType = types[0];
    }

    if (route.outputDevice.isEmpty())
        if (auto* type = findDeviceType (router.getDeviceManager(), route.deviceType))
            route.outputDevice = findDefaultPlaybackDevice (*type);

    if (route.outputDevice.isEmpty() || route.inputDevice.isEmpty())
        return;

    if (! router.setRoute (route))
        return;

    const auto stateJson = settings.getStateJson();

    if (stateJson.isEmpty())
        return;

    const auto parsed = CorrectionState::fromJson (stateJson);

    if (parsed.ok)
        router.applyState (parsed.state);
}

void DuzezavureApplication::refreshConsoleDevices()
{
    if (window != nullptr && window->getConsole().isPageReady())
        window->getConsole().sendDevices();
}

ConsoleServices DuzezavureApplication::makeConsoleServices()
{
    ConsoleServices console;
    console.soundSettings = services.soundSettings;
    console.openInBrowser = services.openInBrowser;
    console.routeApplied = [this] { updateTrayIcon(); };
    console.webBackend = services.webBackend;
    return console;
}

void DuzezavureApplication::updateTrayIcon()
{
    if (tray == nullptr)
        return;

    const bool running = router.isRunning();
    tray->setIconImage (makeTrayIcon (running), makeTrayIcon (running));
}

juce::Image DuzezavureApplication::makeTrayIcon (bool running)
{
    juce::Image image (juce::Image::ARGB, 64, 64, true);
    juce::Graphics g (image);
    const juce::Colour ink (0xff1e2128);

    g.setColour (ink);
    g.drawEllipse (6.0f, 6.0f, 52.0f, 52.0f, 5.0f);

    if (running)
    {
        g.setColour (ink);
        g.fillEllipse (18.0f, 18.0f, 28.0f, 28.0f);
    }

    return image;
}

} // namespace brindle
