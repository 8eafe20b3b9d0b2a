#include "ApplicationServices.h"

#include "LaunchAtLogin.h"
#include "SoundSettings.h"

#include "platform/DetachedProcess.h"
#include "platform/DisplayProbe.h"
#include "platform/simulation/SimulatedDeviceManager.h"
#include "platform/simulation/SimulatedSoundCard.h"
#include "platform/UserSocketSingleInstance.h"
#include "platform/XdgConfigFolder.h"

namespace brindle
{

ApplicationServices ApplicationServices::forThisMachine()
{
    ApplicationServices services;
    services.simulatedAudio = SimulatedSoundCard::fromEnvironment();
    services.deviceManager = services.simulatedAudio != nullptr
                               ? std::make_unique<SimulatedDeviceManager> (services.simulatedAudio)
                               : std::make_unique<juce::AudioDeviceManager>();
    services.dataFolder = std::make_unique<XdgConfigFolder>();
    services.singleInstance = std::make_unique<UserSocketSingleInstance>();
    services.loginItem = &systemLoginItem();
    services.soundSettings = &systemSoundSettings();
    services.quit = [] { juce::JUCEApplicationBase::quit(); };
    // Without a shell: the address is one argument, whatever it holds.
    services.openInBrowser = [] (const juce::String& url) { startDetachedProcess ({ "xdg-open", url }); };
    services.displayProblem = [] { return findDisplayProblem(); };
    return services;
}

} // namespace brindle
