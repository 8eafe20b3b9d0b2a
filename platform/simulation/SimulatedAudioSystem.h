#pragma once

#include "SimulatedClock.h"
#include "SimulatedDeviceConfig.h"
#include "SimulatedDeviceCount.h"
#include "SimulatedEndpoint.h"

#include <juce_core/juce_core.h>

#include <chrono>
#include <memory>
#include <vector>

namespace brindle
{

/** A simulated machine's sound system: a clock and the named devices it offers. A test (or
    the application on a machine without a sound card) describes a scenario here, hands the
    system to a SimulatedDeviceManager, and reads back what the devices did:

        auto system = std::make_shared<SimulatedAudioSystem> (SimulatedClock::Mode::manual);
        system->add (SimulatedDeviceConfig::cablePair().withClockOffsetPpm (50).withSignal (sineSignal (1000.0, 0.5f)));
        system->add (SimulatedDeviceConfig::output ("Speakers").withClockOffsetPpm (-50).withCapture (48000));
        SimulatedDeviceManager manager (system);
        // ... open "CABLE Output" and "Speakers" through the "Simulated" device type ...
        system->advance (std::chrono::seconds (10));
        const auto& played = system->getEndpoint ("Speakers")->getCapture();

    Names are unique across the system: adding a device under a name in use replaces the
    earlier one (devices open on it keep working with the old one until closed). Every change
    of the list is announced to the listeners, which the device type turns into the
    framework's device-list change message.

    Threading: message thread, except nowNs() and the endpoints' read-outs (any thread), and
    advance() (the manual clock's thread, normally the message thread). */
class SimulatedAudioSystem
{
public:
    struct Listener
    {
        virtual ~Listener() = default;

        /** [message thread] A device was added or removed. */
        virtual void simulatedDevicesChanged() = 0;
    };

    explicit SimulatedAudioSystem (SimulatedClock::Mode mode = SimulatedClock::Mode::manual);

    /** [message thread] Adds the device described (both ends for a cable pair).
        Returns false, adding nothing, for a device without a name (or a cable whose two ends
        share one). */
    bool add (const SimulatedDeviceConfig& config);

    /** [message thread] Removes the named device (both ends for a cable pair). Returns whether
        it existed. */
    bool remove (const juce::String& name);

    /** [message thread] Names of the devices that play and that capture, in order of adding;
        a duplex device is in both. */
    juce::StringArray getOutputNames() const;
    juce::StringArray getInputNames() const;

    /** [message thread] The named endpoint, or null. */
    std::shared_ptr<SimulatedEndpoint> getEndpoint (const juce::String& name) const;

    SimulatedClock& getClock() const noexcept { return *clock; }
    std::shared_ptr<SimulatedClock> getSharedClock() const noexcept { return clock; }

    /** [any thread] Devices of this system that exist (created and not yet destroyed) and that
        are open, whichever device type made them; and the opens that succeeded so far. */
    int getLiveDeviceCount() const noexcept { return deviceCount->getLive(); }
    int getOpenDeviceCount() const noexcept { return deviceCount->getOpen(); }
    int getDeviceOpensSoFar() const noexcept { return deviceCount->getOpensSoFar(); }

    /** What each device made from this system counts itself in. */
    std::shared_ptr<SimulatedDeviceCount> getSharedDeviceCount() const noexcept { return deviceCount; }

    /** [the manual clock's thread] Shorthand for getClock().advance(). */
    std::int64_t advance (std::chrono::nanoseconds duration) { return clock->advance (duration); }

    void addListener (Listener* listener) { listeners.add (listener); }
    void removeListener (Listener* listener) { listeners.remove (listener); }

private:
    struct Entry
    {
        std::shared_ptr<SimulatedEndpoint> endpoint;
        int group;      // the two ends of a cable share one
    };

    static bool isUsable (const SimulatedDeviceConfig& config);
    void removeNamed (const juce::String& name);
    void announceChange();

    std::shared_ptr<SimulatedClock> clock;
    std::shared_ptr<SimulatedDeviceCount> deviceCount = std::make_shared<SimulatedDeviceCount>();
    std::vector<Entry> entries;
    int nextGroup = 0;
    juce::ListenerList<Listener> listeners;
};

} // namespace brindle
