#pragma once

#include "SimulatedSignal.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <memory>

namespace brindle
{

class OutputRecorder;

/** The description of one simulated device (or, for a cable, of its two ends): what it is
    called, what it offers, how its clock runs and how it misbehaves. A plain value built from
    one of the four factories and refined with the `with` setters, each of which returns a
    modified copy:

        system.add (SimulatedDeviceConfig::output ("Speakers").withClockOffsetPpm (-120).withCapture (96000));
        system.add (SimulatedDeviceConfig::cablePair().withSignal (sineSignal (1000.0, 0.5f)));

    A cable pair emulates a virtual audio cable: what is played into its output device ("CABLE
    Input") comes out of its input device ("CABLE Output") on the same clock, at the frame it
    was played for, plus whatever `signal` the computer plays into it. Both ends run at the
    cable's rate whatever is asked.

    Threading: a value; the system copies it when it is added. */
struct SimulatedDeviceConfig
{
    enum class Kind
    {
        output,     // a playback device; its samples can be captured
        input,      // a capture device that delivers `signal`
        duplex,     // one device with both, under one name
        cablePair,  // an output device and an input device joined as a loopback cable
    };

    static SimulatedDeviceConfig output (const juce::String& name);
    static SimulatedDeviceConfig input (const juce::String& name, SimulatedSignal signal = {});
    static SimulatedDeviceConfig duplex (const juce::String& name, SimulatedSignal signal = {});
    static SimulatedDeviceConfig cablePair (const juce::String& playbackName = "CABLE Input",
                                          const juce::String& captureName = "CABLE Output");

    /** Clock speed relative to nominal in parts per million: +100 delivers 48004.8 frames per
        simulated second at 48000 Hz. */
    [[nodiscard]] SimulatedDeviceConfig withClockOffsetPpm (double ppm) const;

    /** What the input captures (for a cable: what the computer plays into it). */
    [[nodiscard]] SimulatedDeviceConfig withSignal (SimulatedSignal newSignal) const;

    /** Keeps the first `frames` frames of output after each start, for a test to read. */
    [[nodiscard]] SimulatedDeviceConfig withCapture (std::int64_t frames) const;

    /** Writes everything the output plays to the recorder's file, as it plays. */
    [[nodiscard]] SimulatedDeviceConfig withRecorder (std::shared_ptr<OutputRecorder> recorder) const;

    [[nodiscard]] SimulatedDeviceConfig withChannels (int inputs, int outputs) const;

    /** The rate the device runs at whatever is asked (0: as asked). */
    [[nodiscard]] SimulatedDeviceConfig withSettledRate (double rateHz) const;

    /** The buffer size the device runs at whatever is asked (0: as asked). */
    [[nodiscard]] SimulatedDeviceConfig withSettledBufferSize (int frames) const;

    /** What getDefaultBufferSize() reports; 0 or below is allowed, as some drivers do. */
    [[nodiscard]] SimulatedDeviceConfig withDefaultBufferSize (int frames) const;

    /** open() fails with this text. */
    [[nodiscard]] SimulatedDeviceConfig withOpenError (const juce::String& error) const;

    /** Once `afterFrames` frames have streamed, the device reports `error` to its callback and
        delivers no further block until it is stopped. */
    [[nodiscard]] SimulatedDeviceConfig withStreamError (std::int64_t afterFrames,
                                                       const juce::String& error = "The simulated device stopped.") const;

    Kind kind = Kind::output;
    juce::String outputName;                 // the name it is listed under as an output, if any
    juce::String inputName;                  // the name it is listed under as an input, if any
    int inputChannels = 0;
    int outputChannels = 2;
    juce::Array<double> sampleRates { 44100.0, 48000.0, 88200.0, 96000.0 };
    juce::Array<int> bufferSizes { 32, 64, 128, 256, 480, 512, 1024, 2048 };
    int defaultBufferSize = 512;
    double settledRateHz = 0.0;
    int settledBufferSize = 0;
    double clockOffsetPpm = 0.0;
    SimulatedSignal signal;
    std::int64_t captureFrames = 0;
    std::shared_ptr<OutputRecorder> recorder;
    juce::String openError;
    std::int64_t streamErrorAfterFrames = -1;  // below 0: never
    juce::String streamError;
};

} // namespace brindle
