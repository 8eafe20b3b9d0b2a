// Drift control over long stretches of simulated time: two devices whose clocks differ, on the
// manual clock so that the result does not depend on how busy the machine is.
#include "RouterScenario.h"

#include <gtest/gtest.h>

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

    /** Runs the pair for `settleSeconds`, then reads the status every 10 ms over a whole number
        of beat periods lasting at least 30 s. */
    Observation observe (RouterScenario& s, const ClockPair& pair, double settleSeconds)
    {
        s.system->add (SimulatedDeviceConfig::input ("Capture", sineSignal (500, 0.25f))
                           .withChannels (2, 0)
                           .withClockOffsetPpm (pair.inputPpm)
                           .withSettledRate (pair.inputRate)
                           .withSettledBufferSize (pair.inputBlock)
                           .withDefaultBufferSize (pair.inputBlock));
        s.system->add (SimulatedDeviceConfig::output ("Speakers").withClockOffsetPpm (pair.outputPpm).withSettledBufferSize (480));

        EXPECT_TRUE (s.router->setRoute (RouterScenario::route ("Capture", "Speakers", 48000, 480, 30)));

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
                       ClockPair { "larger input blocks", 200, 0, 48000, 480 }),
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
