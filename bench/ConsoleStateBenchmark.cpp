// What one "state" event from the page costs the host while the user drags a band: the page
// sends one per pointer step, and the host reads it, applies it, stores it and rewrites the
// settings file before the next. Measured with a 24-band state and a settings file holding a
// library of 50 such rooms, over a drag of 2000 steps:
//   - the handler as a whole (ConsoleComponent::handleStateEvent, file write included);
//   - the work before the disk: reading the state, applying it, storing it in the document and
//     writing the document as text (goal: at most 2 ms at the 99th percentile);
//   - the file write with its disk sync alone, on the file system the settings live on.
#include "FakeApplicationDataFolder.h"
#include "FakeWebBrowserBackend.h"

#include "console/ConsoleComponent.h"
#include "engine/StateParseResult.h"
#include "platform/simulation/SimulatedDeviceManager.h"
#include "platform/simulation/SimulatedSoundCard.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <cstdio>
#include <vector>

#include <sys/vfs.h>

namespace
{
    using namespace brindle;
    using Clock = std::chrono::steady_clock;

    juce::String bandsJson (int step)
    {
        juce::String bands;
        for (int b = 0; b < 24; ++b)
        {
            const double freq = 30.0 * std::pow (1.25, b) + (b == 7 ? step * 0.5 : 0.0);
            bands << (b > 0 ? "," : "") << "{\"id\":\"b" << b << "\",\"freqHz\":" << juce::String (freq, 2)
                  << ",\"gainDb\":" << juce::String (-6.0 + 0.25 * b + (b == 7 ? step * 0.001 : 0.0), 2)
                  << ",\"q\":2.5,\"type\":\"bell\",\"stereo\":\"stereo\",\"on\":true}";
        }
        return "[" + bands + "]";
    }

    // A state as the page writes it, with its baseline; `step` moves one band as a drag would.
    juce::String stateJson (int step)
    {
        return "{\"version\":1,\"profileName\":\"Living room\",\"profileAt\":\"2026-12-01T10:00:00Z\",\"bypass\":false,"
               "\"correctionPct\":65,\"delayLeftMs\":0,\"delayRightMs\":0.354,\"outputDb\":-2,\"phaseMode\":\"minimum\","
               "\"firQuality\":\"medium\",\"safeHeadroom\":true,\"bands\":" + bandsJson (step) + ",\"baseline\":" + bandsJson (0) + "}";
    }

    struct Percentiles { double p50, p99, max; };

    Percentiles percentiles (std::vector<double> micros)
    {
        std::sort (micros.begin(), micros.end());
        const auto at = [&] (double q) { return micros[(size_t) std::min ((double) micros.size() - 1, q * (double) micros.size())]; };
        return { at (0.50), at (0.99), micros.back() };
    }

    void print (const char* what, const Percentiles& p)
    {
        std::printf ("%-44s p50 %8.1f us   p99 %8.1f us   max %8.1f us\n", what, p.p50, p.p99, p.max);
    }

    template <typename Work>
    double microsOf (Work&& work)
    {
        const auto start = Clock::now();
        work();
        return std::chrono::duration<double, std::micro> (Clock::now() - start).count();
    }

    juce::String fileSystemOf (const juce::File& folder)
    {
        struct statfs info {};
        if (statfs (folder.getFullPathName().toRawUTF8(), &info) != 0)
            return "unknown";
        switch ((unsigned long) info.f_type)
        {
            case 0xEF53: return "ext2/3/4";
            case 0x01021994: return "tmpfs";
            case 0x794C7630: return "overlayfs";
            case 0x9123683E: return "btrfs";
            case 0x58465342: return "xfs";
            default: return "type 0x" + juce::String::toHexString ((juce::int64) info.f_type);
        }
    }

    void run()
    {
        // In the project's build folder rather than /tmp, which may be a memory file system.
        const auto where = juce::File::getCurrentWorkingDirectory().getChildFile ("console-state-bench");
        where.deleteRecursively();
        where.createDirectory();

        FakeApplicationDataFolder folder (where);
        DuzezavureSettings settings (folder);
        settings.load();
        for (int room = 0; room < 50; ++room)
            settings.putLibraryEntry ("Room " + juce::String (room), stateJson (room));
        settings.setStateJson (stateJson (0));
        settings.save();

        auto audio = SimulatedSoundCard::create (SimulatedClock::Mode::manual);
        AudioRouter router (std::make_unique<SimulatedDeviceManager> (audio));
        FakeWebBrowserBackend* view = nullptr;
        ConsoleServices services;
        services.webBackend = FakeWebBrowserBackend::factory (view);
        ConsoleComponent console (router, settings, std::move (services));

        constexpr int steps = 2000;
        std::vector<juce::var> payloads;
        for (int step = 0; step < steps; ++step)
            payloads.push_back (stateJson (step));

        std::vector<double> whole, beforeDisk, disk;
        for (int step = 0; step < steps; ++step)
            whole.push_back (microsOf ([&] { console.handleStateEvent (payloads[(size_t) step]); }));

        // Storing the state writes the document out as text (checking that it reads back);
        // the save writes that text to the disk.
        for (int step = 0; step < steps; ++step)
        {
            const auto& payload = payloads[(size_t) step];
            beforeDisk.push_back (microsOf ([&] {
                const auto parsed = CorrectionState::fromJson (payload.toString());
                router.applyState (parsed.state);
                settings.setStateJson (payload.toString());
            }));
            disk.push_back (microsOf ([&] { settings.save(); }));
        }

        std::printf ("settings file %.0f kB (50 rooms of 24 bands with baselines), on %s at %s\n",
                     (double) settings.getFile().getSize() / 1024.0, fileSystemOf (where).toRawUTF8(), where.getFullPathName().toRawUTF8());
        print ("one \"state\" event, whole handler", percentiles (whole));
        print ("read, apply, store, serialise (goal p99 2 ms)", percentiles (beforeDisk));
        print ("file write with its disk sync", percentiles (disk));

        where.deleteRecursively();
    }
}

int main()
{
    juce::ScopedJuceInitialiser_GUI juce;
    run();
    return 0;
}
