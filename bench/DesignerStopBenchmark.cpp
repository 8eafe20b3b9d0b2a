// How long a stop of the kernel designer takes when it meets a high-tier design of 24 bands
// (differing per channel) at a point drawn at random within it, and when it meets the idle
// designer. The router stops the designer at every route opening and waits for it (it never
// ends the thread by force), so the route opens no sooner than the design is abandoned.
// Goal: the slowest stop at most 50 ms.
#include "EngineFixtures.h"

#include "engine/AudioRouter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

namespace
{
    using namespace brindle;
    using Clock = std::chrono::steady_clock;

    CorrectionState highTierState()
    {
        CorrectionState state;
        state.phaseMode = PhaseMode::linear;
        state.firQuality = FirQuality::high;
        state.bandCount = 24;

        for (int j = 0; j < 24; ++j)
            state.bands[(size_t) j] = test::makeBand (BandType::bell, 30.0 * std::pow (1.3, j), j % 2 ? -4.0 : 5.0, 1.5, true, j % 3 != 0);
        return state;
    }

    double milliseconds (Clock::duration d) { return std::chrono::duration<double, std::milli> (d).count(); }

    template <typename Condition>
    bool waitFor (Condition&& condition)
    {
        const auto until = Clock::now() + std::chrono::seconds (20);
        while (! condition())
        {
            if (Clock::now() > until)
                return false;
            std::this_thread::sleep_for (std::chrono::microseconds (100));
        }
        return true;
    }

    /** The stop's time in ms, or a negative figure when the designer never got there. */
    double timedStop (bool duringADesign, std::mt19937& random)
    {
        CorrectionEngine engine;
        engine.prepare (48000, 2048);
        AudioRouter::KernelDesigner designer (engine);
        designer.startThread (juce::Thread::Priority::low);

        if (duringADesign)
        {
            engine.designerStates.publish (highTierState());
            designer.notify();
            if (! waitFor ([&] { return engine.getDesignsStarted() == 1; }))
                return -1.0;
            std::this_thread::sleep_for (std::chrono::microseconds (std::uniform_int_distribution<int> (0, 40000) (random)));
        }
        else if (! waitFor ([&] { return designer.getIdleWaitsBegun() > 0; }))
        {
            return -1.0;
        }

        const auto started = Clock::now();
        const bool stopped = designer.stopThread (5000);
        const double took = milliseconds (Clock::now() - started);
        return stopped ? took : -took;
    }

    double percentile (std::vector<double> values, double share)
    {
        std::sort (values.begin(), values.end());
        return values[(size_t) (share * (double) (values.size() - 1))];
    }
}

int main()
{
    std::mt19937 random (20240611);
    constexpr int runs = 40;
    bool goalMet = true;

    std::printf ("kernel designer stop (stopThread), %d runs each\n", runs);

    for (bool duringADesign : { true, false })
    {
        std::vector<double> times;

        for (int run = 0; run < runs; ++run)
        {
            const double took = timedStop (duringADesign, random);
            if (took < 0.0)
            {
                std::printf ("a stop failed (%.1f ms)\n", -took);
                return 1;
            }
            times.push_back (took);
        }

        const double slowest = *std::max_element (times.begin(), times.end());
        goalMet = goalMet && slowest <= 50.0;
        std::printf ("%-32s p50 %6.2f ms, p95 %6.2f ms, max %6.2f ms\n",
                     duringADesign ? "during a high-tier design:" : "while idle:", percentile (times, 0.5), percentile (times, 0.95), slowest);
    }

    std::printf ("slowest stop at most 50 ms: %s\n", goalMet ? "met" : "MISSED");
    return 0;
}
