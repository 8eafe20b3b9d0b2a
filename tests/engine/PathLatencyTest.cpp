#include "engine/PathLatency.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (PathLatency, TheWorkedRoutesAddUpToTheirFigures)
{
    PathLatencyInputs twoDevices;
    twoDevices.engineRate = twoDevices.outputRate = twoDevices.inputRate = 48000;
    twoDevices.outputBufferFrames = twoDevices.inputBufferFrames = 480;
    twoDevices.targetFrames = 1440;

    auto linear = twoDevices;
    linear.phaseMode = PhaseMode::linear;
    linear.firTaps = 16384;

    auto delayed = twoDevices;
    delayed.maxDelayMs = 20;

    auto inputAtZeroHz = twoDevices;
    inputAtZeroHz.inputRate = 0;

    auto withoutInputDevice = twoDevices;
    withoutInputDevice.inputBufferFrames = 0;

    PathLatencyInputs duplex;
    duplex.duplex = true;
    duplex.engineRate = duplex.outputRate = duplex.inputRate = 48000;
    duplex.outputBufferFrames = duplex.inputBufferFrames = 480;
    duplex.targetFrames = 1440;    // a duplex route has no queue, whatever the target says

    struct Case { const char* name; PathLatencyInputs inputs; double ms; };
    const Case cases[] = {
        { "two devices, minimum phase", twoDevices, 50.645833333333336 },
        { "two devices, linear phase", linear, 50.645833333333336 + (8192 + 1024) * 1000.0 / 48000 },
        { "a 20 ms speaker delay", delayed, 70.645833333333336 },
        // (1440 + 16 + 480) frames at 1 Hz, with the output side at 48 kHz.
        { "an input reporting 0 Hz", inputAtZeroHz, 15 * 1000.0 / 48000 + 1936000.0 + 10.0 },
        { "no input device", withoutInputDevice, 40.645833333333336 },
        { "duplex", duplex, 10.3125 },
    };

    for (const auto& c : cases)
        EXPECT_NEAR (pathLatencyMs (c.inputs), c.ms, 1e-9) << c.name;

    EXPECT_NEAR (pathLatencyMs (linear), 242.64583333333334, 1e-9);
}

TEST (PathLatency, TheEngineDelaysByTheLargerSpeakerDelayTheLineCentreAndInLinearPhaseHalfAKernelAndABlock)
{
    EXPECT_DOUBLE_EQ (engineDelaySamples (0, 48000, PhaseMode::minimum, 16384), 15);
    EXPECT_DOUBLE_EQ (engineDelaySamples (0, 48000, PhaseMode::linear, 16384), 9231);
    EXPECT_DOUBLE_EQ (engineDelaySamples (2.5, 44100, PhaseMode::minimum, 0), 125.25);
    EXPECT_DOUBLE_EQ (engineDelaySamples (2.5, 44100, PhaseMode::linear, 5120), 125.25 + 2560 + 1024);
}

} // namespace brindle::test
