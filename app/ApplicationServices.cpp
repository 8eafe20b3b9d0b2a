#include "ApplicationServices.h"

#include "LaunchAtLogin.h"
#include "SoundSettings.h"

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
    services.displayProblem = [] { return findDisplayProblem(); };
    return services;
}

} // namespace brindle
