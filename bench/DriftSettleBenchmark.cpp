// How long the drift control takes to settle between two device clocks, in simulated time:
// a capture device whose clock runs fast feeds the speakers through the router, and the queue
// fill is read every 10 ms. The fill seen at each output block wanders with where the last
// input block landed, so it is judged as a mean over a window of at least one period of that
// wander. "Settled" is the time after which every window's mean stays within 2 % of the
// target. Goal: at most 60 s at 300 ppm, with no dropouts.
#include "engine/AudioRouter.h"
#include "platform/simulation/SimulatedDeviceManager.h"

#include <juce_events/juce_events.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>

namespace
{
    using namespace brindle;

    struct Result
    {
        double settledSeconds = -1;     // -1: still outside at the end
        double finalOffsetPct = 0;      // the last window's mean against the target
        std::int64_t dropouts = 0, overruns = 0;
    };

    Result settle (double ppm, int inputBlock, double totalSeconds)
    {
        auto system = std::make_shared<SimulatedAudioSystem> (SimulatedClock::Mode::manual);
        system->add (SimulatedDeviceConfig::input ("Capture", sineSignal (500, 0.25f))
                         .withChannels (2, 0)
                         .withClockOffsetPpm (ppm)
                         .withSettledBufferSize (inputBlock)
                         .withDefaultBufferSize (inputBlock));
        system->add (SimulatedDeviceConfig::output ("Speakers").withSettledBufferSize (480));

        Result result;
        {
            AudioRouter router (std::make_unique<SimulatedDeviceManager> (system));
            AudioRoute route;
            route.deviceType = "Simulated";
            route.inputDevice = "Capture";
            route.outputDevice = "Speakers";
            route.bufferSize = 480;

            if (! router.setRoute (route))
                return result;

            const double step = 0.01;
            const double wanderSeconds = inputBlock / (48000.0 * ppm * 1e-6);
            const auto windowSteps = (size_t) std::lround (std::max (2.0, wanderSeconds) / step);
            const double target = router.getTargetFrames();

            std::deque<double> window;
            double sum = 0, lastOutside = 0;

            for (double t = step; t <= totalSeconds + 1e-9; t += step)
            {
                system->advance (std::chrono::milliseconds (10));
                const double fill = router.getStatus().fillFrames;
                window.push_back (fill);
                sum += fill;

                if (window.size() > windowSteps)
                {
                    sum -= window.front();
                    window.pop_front();
                }

                if (window.size() == windowSteps && std::abs (sum / (double) windowSteps - target) > 0.02 * target)
                    lastOutside = t;
            }

            const auto status = router.getStatus();
            result.finalOffsetPct = 100.0 * (sum / (double) window.size() - target) / target;
            // Nothing can be judged before the first whole window.
            const double firstWindowSeconds = (double) windowSteps * step;
            result.settledSeconds = lastOutside >= totalSeconds - step / 2 ? -1 : std::max (lastOutside, firstWindowSeconds);
            result.dropouts = status.dropouts;
            result.overruns = status.overruns;
        }
        return result;
    }
}

int main()
{
    juce::ScopedJuceInitialiser_GUI juce;
    std::printf ("drift settle time, simulated (mean fill within 2 %% of the target)\n");
    std::printf ("%8s %12s %12s %14s %10s %10s %s\n", "ppm", "input block", "settled (s)", "final mean", "dropouts", "overruns", "goal");

    for (double ppm : { 100.0, 300.0 })
    {
        for (int block : { 64, 480 })
        {
            const auto r = settle (ppm, block, 240);
            const bool judged = ppm == 300.0;
            const bool met = r.settledSeconds >= 0 && r.settledSeconds <= 60 && r.dropouts == 0;
            char settled[32];
            std::snprintf (settled, sizeof settled, r.settledSeconds < 0 ? "never" : "%.2f", r.settledSeconds);
            std::printf ("%8.0f %12d %12s %+13.2f%% %10lld %10lld %s\n", ppm, block, settled, r.finalOffsetPct,
                         (long long) r.dropouts, (long long) r.overruns,
                         judged ? (met ? "<= 60 s, no dropouts: met" : "<= 60 s, no dropouts: NOT met") : "-");
        }
    }
    return 0;
}
