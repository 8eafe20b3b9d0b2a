#pragma once

#include <atomic>

namespace brindle
{

/** How many devices of one simulated system exist and how many of them are open (created by
    the device type and not yet destroyed; opened and not yet closed), and how many opens there
    have been. It lets a test show that code which only asks devices what they offer (their
    rates, their buffer sizes) opens none and leaves none behind.

    Devices hold it by shared pointer, so a device that outlives its system's list still counts
    itself out.

    Threading: devices change it on the message thread, where they are created, opened, closed
    and destroyed; the counts may be read from any thread. */
class SimulatedDeviceCount
{
public:
    /** [any thread] Devices created and not yet destroyed. */
    int getLive() const noexcept { return live.load (std::memory_order_acquire); }

    /** [any thread] Devices opened and not yet closed (a destroyed device is closed). */
    int getOpen() const noexcept { return open.load (std::memory_order_acquire); }

    /** [any thread] Opens that succeeded since the system was made. */
    int getOpensSoFar() const noexcept { return opens.load (std::memory_order_acquire); }

    /** [message thread] Called by each device as it is made and destroyed, opened and closed. */
    void deviceCreated() noexcept { live.fetch_add (1, std::memory_order_acq_rel); }
    void deviceDestroyed() noexcept { live.fetch_sub (1, std::memory_order_acq_rel); }
    void deviceClosed() noexcept { open.fetch_sub (1, std::memory_order_acq_rel); }

    void deviceOpened() noexcept
    {
        open.fetch_add (1, std::memory_order_acq_rel);
        opens.fetch_add (1, std::memory_order_acq_rel);
    }

private:
    std::atomic<int> live { 0 };
    std::atomic<int> open { 0 };
    std::atomic<int> opens { 0 };
};

} // namespace brindle
