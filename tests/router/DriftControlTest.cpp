// Drift control over long stretches of simulated time: two devices whose clocks differ, on the
// manual clock so that the result does not depend on how busy the machine is.
#include "RouterScenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace brindle::test
{

namespace
{
    struct ClockPair
    {
        const char* name;
        double inputPpm, outputPpm;
        double inputRate = 48000;
        int inputBlock = 64;
        int outputBlock = 480;
    };

    std::ostream& operator<< (std::ostream& out, const ClockPair& pair) { return out << pair.name; }

    struct Observation
    {
        double meanFill = 0, meanPpm = 0;
        std::int64_t dropouts = 0, overruns = 0;
    };

    /** The fill seen at each output block moves with where the last input block landed, and
        that pattern slides by one input block over this period: means are taken over whole
        periods of it. */
    double beatSeconds (const ClockPair& pair)
    {
        const double offset = std::abs (pair.inputPpm - pair.outputPpm) * 1e-6;
        return offset > 0 ? pair.inputBlock / (pair.inputRate * offset) : 10.0;
    }

    void openPair (RouterScenario& s, const ClockPair& pair)
    {
        s.system->add (SimulatedDeviceConfig::input ("Capture", sineSignal (500, 0.25f))
                           .withChannels (2, 0)
                           .withClockOffsetPpm (pair.inputPpm)
                           .withSettledRate (pair.inputRate)
                           .withSettledBufferSize (pair.inputBlock)
                           .withDefaultBufferSize (pair.inputBlock));
        s.system->add (SimulatedDeviceConfig::output ("Speakers")
                           .withClockOffsetPpm (pair.outputPpm)
                           .withSettledBufferSize (pair.outputBlock));

        EXPECT_TRUE (s.router->setRoute (RouterScenario::route ("Capture", "Speakers", 48000, pair.outputBlock, 30)));
    }

    /** Runs the pair for `settleSeconds`, then reads the status every 10 ms over a whole number
        of beat periods lasting at least 30 s. */
    Observation observe (RouterScenario& s, const ClockPair& pair, double settleSeconds)
    {
        openPair (s, pair);

        // A second of start-up: the first blocks may find the queue short while it fills.
        s.advanceSeconds (1);
        const auto started = s.router->getStatus();
        s.advanceSeconds (settleSeconds - 1);

        const double beat = beatSeconds (pair);
        const int steps = (int) std::lround (std::ceil (30.0 / beat) * beat / 0.01);

        Observation seen;
        for (int i = 0; i < steps; ++i)
        {
            s.advanceSeconds (0.01);
            const auto status = s.router->getStatus();
            seen.meanFill += status.fillFrames / (double) steps;
            seen.meanPpm += status.correctionPpm / (double) steps;
        }

        const auto end = s.router->getStatus();
        seen.dropouts = end.dropouts - started.dropouts;
        seen.overruns = end.overruns - started.overruns;
        return seen;
    }

    /** The correction that exactly absorbs the two clocks' difference. */
    double trueOffsetPpm (const ClockPair& pair)
    {
        return ((1 + pair.inputPpm * 1e-6) / (1 + pair.outputPpm * 1e-6) - 1) * 1e6;
    }

    /** The correction read every 10 ms from the start of the route for `seconds`. */
    std::vector<double> correctionTrace (RouterScenario& s, const ClockPair& pair, double seconds)
    {
        openPair (s, pair);
        std::vector<double> ppm;

        for (int i = 0; i < (int) std::lround (seconds / 0.01); ++i)
        {
            s.advanceSeconds (0.01);
            ppm.push_back (s.router->getStatus().correctionPpm);
        }

        return ppm;
    }

    /** The largest distance of the trace from `ppm` from `fromSeconds` on. */
    double largestDeviation (const std::vector<double>& trace, double ppm, double fromSeconds)
    {
        double largest = 0;
        for (auto i = (size_t) std::lround (fromSeconds / 0.01); i < trace.size(); ++i)
            largest = std::max (largest, std::abs (trace[i] - ppm));
        return largest;
    }
}

class DriftControl : public ::testing::TestWithParam<ClockPair> {};

TEST_P (DriftControl, TheFillSettlesAtItsTargetAndTheCorrectionReadsTheOffset)
{
    const auto& pair = GetParam();
    RouterScenario s;
    const auto seen = observe (s, pair, 90);

    const double target = s.router->getTargetFrames();
    EXPECT_NEAR (seen.meanFill, target, pair.inputBlock) << "mean fill, after 90 s";
    EXPECT_NEAR (seen.meanPpm, trueOffsetPpm (pair), 1.0) << "mean correction, after 90 s";
    EXPECT_EQ (seen.dropouts, 0);
    EXPECT_EQ (seen.overruns, 0);
}

// The fill seen at each output block steps with the input's blocks; a loop that followed those
// steps, rather than the clocks, would read right on average yet wander far from the offset
// between them. Watched over at least one and a half beats once the loop has settled.
TEST_P (DriftControl, OnceSettledTheCorrectionHoldsTheOffsetBetweenTheBeats)
{
    const auto& pair = GetParam();
    RouterScenario s;
    const auto trace = correctionTrace (s, pair, 60 + std::max (60.0, 1.5 * beatSeconds (pair)));

    EXPECT_LT (largestDeviation (trace, trueOffsetPpm (pair), 60), 2.0) << "ppm from the offset, after 60 s";
    EXPECT_EQ (s.router->getStatus().dropouts, 0);
}

// With the prefill read as the target, the start is the loop's own answer to the clocks'
// difference: for a step of the offset, its smoothing and gains overshoot by 55 % after 6 s.
TEST_P (DriftControl, TheStartUpSwingIsTheLoopsOwnOvershootOfTheOffset)
{
    const auto& pair = GetParam();
    RouterScenario s;
    const auto trace = correctionTrace (s, pair, 30);
    const double offset = trueOffsetPpm (pair);

    double peak = 0;
    for (double ppm : trace)
        peak = std::max (peak, ppm * (offset < 0 ? -1 : 1));

    EXPECT_LT (peak, std::min (2000.0, 1.6 * std::abs (offset)) + 5.0) << "peak correction in the first 30 s, ppm";
    if (offset != 0)
    {
        EXPECT_GT (peak, 0.9 * std::abs (offset)) << "the correction reaches the offset";
    }
}

INSTANTIATE_TEST_SUITE_P (ClockPairs, DriftControl,
    ::testing::Values (ClockPair { "same clock", 0, 0 },
                       ClockPair { "input 50 ppm fast", 50, 0 },
                       ClockPair { "input 50 ppm slow", -50, 0 },
                       ClockPair { "150 ppm apart", 75, -75 },
                       ClockPair { "input 150 ppm slow", -150, 0 },
                       ClockPair { "input 300 ppm fast", 300, 0 },
                       ClockPair { "output 300 ppm fast", 0, 300 },
                       ClockPair { "input 1500 ppm fast", 1500, 0 },
                       ClockPair { "output 1500 ppm fast", 0, 1500 },
                       ClockPair { "44.1 kHz in, 48 kHz out, 100 ppm", 100, 0, 44100 },
                       ClockPair { "larger input blocks", 200, 0, 48000, 480 },
                       ClockPair { "output 120 ppm fast, input blocks of 512, output blocks of 256", 0, 120, 48000, 512, 256 }),
    [] (const auto& info) {
        std::string name;
        for (char c : std::string (info.param.name))
            name += std::isalnum ((unsigned char) c) ? c : '_';
        return name;
    });

TEST (DriftControlLimit, BeyondTheLimitTheCorrectionHoldsAndTheIntegratorStaysBounded)
{
    for (double ppm : { 3000.0, -3000.0 })
    {
        RouterScenario s;
        const auto seen = observe (s, ClockPair { "beyond the limit", ppm, 0 }, 30);
        EXPECT_NEAR (seen.meanPpm, ppm > 0 ? 2000 : -2000, 1e-6) << ppm;

        const auto& drift = s.router->getDrift();
        const double error = drift.smoothedFill - drift.targetFill;
        EXPECT_NEAR (drift.ki * drift.integrator + drift.kp * error, ppm > 0 ? 0.002 : -0.002, 1e-12)
            << "the integrator yields exactly the limit, it does not wind up";
    }
}

} // namespace brindle::test
