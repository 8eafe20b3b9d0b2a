#pragma once

#include "BlockSchedule.h"
#include "SimulatedEndpoint.h"
#include "SimulatedStream.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace brindle
{

class SimulatedClock;
class SimulatedDeviceCount;

/** A simulated sound card as the framework sees it: an output, an input or both of one
    endpoint, opened at the rate and buffer size the endpoint settles on, streaming blocks on
    the simulated clock.

    Each block fills the active inputs (from the cable, or from the endpoint's signal at the
    stream's own frame numbers), silences the outputs, calls the callback with the active
    channels only (in channel order, as the framework's devices do) and then keeps what was
    played (in the capture, and in the cable for a cable's playback end). The callback context
    carries the block's simulated due time as its host time, in ns.

    Threading: open, close, start and stop on the message thread (never from within the
    device's own callback in real time). Blocks run on the clock's stream thread for this
    device; they allocate nothing and take no lock. A device that reports a stream error
    calls the callback's audioDeviceError() on that thread and then delivers no more blocks
    until it is stopped. */
class SimulatedDevice final : public juce::AudioIODevice,
                              private SimulatedStream
{
public:
    /** Counts itself in `count` from construction to destruction, and as open while it is. */
    SimulatedDevice (std::shared_ptr<SimulatedEndpoint> endpoint, SimulatedEndpoint::Direction use,
                     std::shared_ptr<SimulatedClock> clock, std::shared_ptr<SimulatedDeviceCount> count,
                     const juce::String& typeName);
    ~SimulatedDevice() override;

    const SimulatedEndpoint& getEndpoint() const noexcept { return *endpoint; }
    bool usesInput() const noexcept { return use != SimulatedEndpoint::Direction::output; }
    bool usesOutput() const noexcept { return use != SimulatedEndpoint::Direction::input; }

    juce::StringArray getOutputChannelNames() override;
    juce::StringArray getInputChannelNames() override;
    juce::Array<double> getAvailableSampleRates() override;
    juce::Array<int> getAvailableBufferSizes() override;
    int getDefaultBufferSize() override;

    juce::String open (const juce::BigInteger& inputChannels, const juce::BigInteger& outputChannels,
                       double sampleRate, int bufferSizeSamples) override;
    void close() override;
    bool isOpen() override { return opened; }

    void start (juce::AudioIODeviceCallback* callback) override;
    void stop() override;
    bool isPlaying() override { return playing; }

    juce::String getLastError() override { return lastError; }
    int getCurrentBufferSizeSamples() override { return opened ? bufferFrames : 0; }
    double getCurrentSampleRate() override { return opened ? sampleRateHz : 0.0; }
    int getCurrentBitDepth() override { return 32; }
    juce::BigInteger getActiveOutputChannels() const override { return activeOutputMask; }
    juce::BigInteger getActiveInputChannels() const override { return activeInputMask; }
    int getOutputLatencyInSamples() override { return 0; }
    int getInputLatencyInSamples() override { return 0; }

private:
    std::int64_t nextDueNs() const noexcept override;
    void runBlock() noexcept override;

    double settledRate (double askedRate) const noexcept;
    int settledBufferSize (int askedSize) const noexcept;
    void allocateBuffers (const juce::BigInteger& inputsAsked, const juce::BigInteger& outputsAsked);
    void fillInputs (std::int64_t firstFrame) noexcept;
    void keepOutputs (std::int64_t firstFrame) noexcept;

    static juce::StringArray channelNames (int count);

    const std::shared_ptr<SimulatedEndpoint> endpoint;
    const SimulatedEndpoint::Direction use;
    const std::shared_ptr<SimulatedClock> clock;
    const std::shared_ptr<SimulatedDeviceCount> count;
    const juce::String streamError;     // made here so that reporting it allocates nothing

    // Message thread, fixed while the stream runs.
    bool opened = false;
    bool playing = false;
    juce::String lastError;
    double sampleRateHz = 0.0;
    int bufferFrames = 0;
    juce::BigInteger activeInputMask, activeOutputMask;
    std::vector<float> inputSamples, outputSamples;         // every channel the device has
    std::vector<float*> inputChannels, outputChannels;      // one per channel, into the above
    std::vector<const float*> activeInputs;                 // what the callback is given
    std::vector<float*> activeOutputs;
    juce::AudioIODeviceCallback* callback = nullptr;

    // Stream thread while running; reset by start().
    BlockSchedule schedule;
    std::int64_t blockIndex = 0;
    std::int64_t framesStreamed = 0;
    bool halted = false;
    std::uint64_t blockTimeNs = 0;
    juce::AudioIODeviceCallbackContext context;
};

} // namespace brindle
