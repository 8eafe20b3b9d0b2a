#include "SimulatedAudioSystem.h"

#include <algorithm>

namespace brindle
{

namespace
{
    constexpr double defaultCableRateHz = 48000.0;
}

SimulatedAudioSystem::SimulatedAudioSystem (SimulatedClock::Mode mode)
    : clock (std::make_shared<SimulatedClock> (mode))
{
}

void SimulatedAudioSystem::removeNamed (const juce::String& name)
{
    if (name.isEmpty())
        return;

    const auto found = std::find_if (entries.begin(), entries.end(), [&] (const Entry& e) { return e.endpoint->getName() == name; });

    if (found == entries.end())
        return;

    const auto group = found->group;
    entries.erase (std::remove_if (entries.begin(), entries.end(), [group] (const Entry& e) { return e.group == group; }),
                   entries.end());
}

bool SimulatedAudioSystem::isUsable (const SimulatedDeviceConfig& config)
{
    using Kind = SimulatedDeviceConfig::Kind;

    switch (config.kind)
    {
        case Kind::output:    return config.outputName.isNotEmpty();
        case Kind::input:     return config.inputName.isNotEmpty();
        case Kind::duplex:    return config.outputName.isNotEmpty() && config.outputName == config.inputName;
        case Kind::cablePair: return config.outputName.isNotEmpty() && config.inputName.isNotEmpty() && config.outputName != config.inputName;
    }

    return false;
}

bool SimulatedAudioSystem::add (const SimulatedDeviceConfig& config)
{
    using Direction = SimulatedEndpoint::Direction;
    using Kind = SimulatedDeviceConfig::Kind;

    // An empty name is what a route uses for "no device", so no device may carry one.
    if (! isUsable (config))
        return false;

    removeNamed (config.outputName);
    removeNamed (config.inputName);
    const int group = nextGroup++;

    switch (config.kind)
    {
        case Kind::output:
            entries.push_back ({ std::make_shared<SimulatedEndpoint> (config.outputName, Direction::output, config, nullptr), group });
            break;

        case Kind::input:
            entries.push_back ({ std::make_shared<SimulatedEndpoint> (config.inputName, Direction::input, config, nullptr), group });
            break;

        case Kind::duplex:
            entries.push_back ({ std::make_shared<SimulatedEndpoint> (config.outputName, Direction::duplex, config, nullptr), group });
            break;

        case Kind::cablePair:
        {
            const auto rateHz = config.settledRateHz > 0.0 ? config.settledRateHz : defaultCableRateHz;
            auto cable = std::make_shared<SimulatedCable> (std::max (config.inputChannels, config.outputChannels), rateHz, config.signal);
            entries.push_back ({ std::make_shared<SimulatedEndpoint> (config.outputName, Direction::output, config, cable), group });
            entries.push_back ({ std::make_shared<SimulatedEndpoint> (config.inputName, Direction::input, config, cable), group });
            break;
        }
    }

    announceChange();
    return true;
}

bool SimulatedAudioSystem::remove (const juce::String& name)
{
    const auto before = entries.size();
    removeNamed (name);

    if (entries.size() == before)
        return false;

    announceChange();
    return true;
}

juce::StringArray SimulatedAudioSystem::getOutputNames() const
{
    juce::StringArray names;

    for (const auto& entry : entries)
        if (entry.endpoint->hasOutput())
            names.add (entry.endpoint->getName());

    return names;
}

juce::StringArray SimulatedAudioSystem::getInputNames() const
{
    juce::StringArray names;

    for (const auto& entry : entries)
        if (entry.endpoint->hasInput())
            names.add (entry.endpoint->getName());

    return names;
}

std::shared_ptr<SimulatedEndpoint> SimulatedAudioSystem::getEndpoint (const juce::String& name) const
{
    for (const auto& entry : entries)
        if (entry.endpoint->getName() == name)
            return entry.endpoint;

    return nullptr;
}

void SimulatedAudioSystem::announceChange()
{
    listeners.call ([] (Listener& l) { l.simulatedDevicesChanged(); });
}

} // namespace brindle
