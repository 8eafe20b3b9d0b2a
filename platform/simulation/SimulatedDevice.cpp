#include "SimulatedDevice.h"

#include "OutputRecorder.h"
#include "SimulatedClock.h"
#include "SimulatedDeviceCount.h"

#include <algorithm>

namespace brindle
{

namespace
{
    constexpr double fallbackRateHz = 48000.0;
    constexpr int fallbackBufferFrames = 512;

    // The channels of `asked` below `available`, as a mask.
    juce::BigInteger activeChannels (const juce::BigInteger& asked, int available)
    {
        juce::BigInteger active;

        for (int channel = 0; channel < available; ++channel)
            if (asked[channel])
                active.setBit (channel);

        return active;
    }
}

SimulatedDevice::SimulatedDevice (std::shared_ptr<SimulatedEndpoint> endpointToUse, SimulatedEndpoint::Direction directionsToUse,
                                  std::shared_ptr<SimulatedClock> clockToUse, std::shared_ptr<SimulatedDeviceCount> countToJoin,
                                  const juce::String& typeName)
    : juce::AudioIODevice (endpointToUse->getName(), typeName),
      endpoint (std::move (endpointToUse)),
      use (directionsToUse),
      clock (std::move (clockToUse)),
      count (std::move (countToJoin)),
      streamError (endpoint->getConfig().streamError)
{
    context.hostTimeNs = &blockTimeNs;
    count->deviceCreated();
}

SimulatedDevice::~SimulatedDevice()
{
    close();
    count->deviceDestroyed();
}

juce::StringArray SimulatedDevice::channelNames (int count)
{
    juce::StringArray names;

    for (int channel = 0; channel < count; ++channel)
        names.add ("Channel " + juce::String (channel + 1));

    return names;
}

juce::StringArray SimulatedDevice::getOutputChannelNames()
{
    return channelNames (usesOutput() ? endpoint->getNumOutputChannels() : 0);
}

juce::StringArray SimulatedDevice::getInputChannelNames()
{
    return channelNames (usesInput() ? endpoint->getNumInputChannels() : 0);
}

juce::Array<double> SimulatedDevice::getAvailableSampleRates()
{
    return endpoint->getConfig().sampleRates;
}

juce::Array<int> SimulatedDevice::getAvailableBufferSizes()
{
    return endpoint->getConfig().bufferSizes;
}

int SimulatedDevice::getDefaultBufferSize()
{
    return endpoint->getConfig().defaultBufferSize;
}

double SimulatedDevice::settledRate (double askedRate) const noexcept
{
    if (const auto* cable = endpoint->getCable())
        return cable->getSampleRate();

    const auto& config = endpoint->getConfig();

    if (config.settledRateHz > 0.0)
        return config.settledRateHz;

    return askedRate > 0.0 ? askedRate : fallbackRateHz;
}

int SimulatedDevice::settledBufferSize (int askedSize) const noexcept
{
    const auto& config = endpoint->getConfig();

    if (config.settledBufferSize > 0)
        return config.settledBufferSize;

    if (askedSize > 0)
        return askedSize;

    return config.defaultBufferSize > 0 ? config.defaultBufferSize : fallbackBufferFrames;
}

juce::String SimulatedDevice::open (const juce::BigInteger& inputChannels, const juce::BigInteger& outputChannels,
                                    double sampleRate, int bufferSizeSamples)
{
    close();

    lastError = endpoint->getConfig().openError;

    if (lastError.isNotEmpty())
        return lastError;

    sampleRateHz = settledRate (sampleRate);
    bufferFrames = settledBufferSize (bufferSizeSamples);
    allocateBuffers (inputChannels, outputChannels);
    opened = true;
    count->deviceOpened();
    return {};
}

void SimulatedDevice::allocateBuffers (const juce::BigInteger& inputsAsked, const juce::BigInteger& outputsAsked)
{
    const int inputCount = usesInput() ? endpoint->getNumInputChannels() : 0;
    const int outputCount = usesOutput() ? endpoint->getNumOutputChannels() : 0;
    const auto frames = (std::size_t) bufferFrames;

    activeInputMask = activeChannels (inputsAsked, inputCount);
    activeOutputMask = activeChannels (outputsAsked, outputCount);
    inputSamples.assign ((std::size_t) inputCount * frames, 0.0f);
    outputSamples.assign ((std::size_t) outputCount * frames, 0.0f);

    inputChannels.clear();
    outputChannels.clear();
    activeInputs.clear();
    activeOutputs.clear();

    for (int channel = 0; channel < inputCount; ++channel)
    {
        inputChannels.push_back (inputSamples.data() + (std::size_t) channel * frames);

        if (activeInputMask[channel])
            activeInputs.push_back (inputChannels.back());
    }

    for (int channel = 0; channel < outputCount; ++channel)
    {
        outputChannels.push_back (outputSamples.data() + (std::size_t) channel * frames);

        if (activeOutputMask[channel])
            activeOutputs.push_back (outputChannels.back());
    }
}

void SimulatedDevice::close()
{
    stop();

    if (std::exchange (opened, false))
        count->deviceClosed();
}

void SimulatedDevice::start (juce::AudioIODeviceCallback* newCallback)
{
    if (! opened || newCallback == nullptr)
        return;

    stop();

    newCallback->audioDeviceAboutToStart (this);

    const auto& config = endpoint->getConfig();
    const auto* recorder = usesOutput() ? config.recorder.get() : nullptr;

    // Before the start time is taken: the recorder may write to its file first, and a stream
    // whose start lies that far back would begin with a burst of overdue blocks.
    if (recorder != nullptr)
        config.recorder->prepareToStart (sampleRateHz);

    const auto timing = usesInput() ? BlockSchedule::Timing::afterCapture : BlockSchedule::Timing::renderAhead;
    schedule = BlockSchedule (sampleRateHz, config.clockOffsetPpm, bufferFrames, timing);
    schedule.start (clock->nowNs());
    blockIndex = 0;

    if (recorder != nullptr)
        config.recorder->streamStarts (schedule.blockStartFrame (0));

    framesStreamed = 0;
    halted = false;

    endpoint->streamStarted();
    callback = newCallback;
    playing = true;
    clock->attach (*this);
}

void SimulatedDevice::stop()
{
    if (! playing)
        return;

    clock->detach (*this);
    playing = false;
    endpoint->streamStopped();

    auto* stoppedCallback = std::exchange (callback, nullptr);
    stoppedCallback->audioDeviceStopped();
}

std::int64_t SimulatedDevice::nextDueNs() const noexcept
{
    return halted ? SimulatedStream::never : schedule.dueNs (blockIndex);
}

void SimulatedDevice::runBlock() noexcept
{
    if (halted)
        return;

    const auto errorAfterFrames = endpoint->getConfig().streamErrorAfterFrames;

    if (errorAfterFrames >= 0 && framesStreamed >= errorAfterFrames)
    {
        halted = true;
        callback->audioDeviceError (streamError);
        return;
    }

    const auto firstFrame = schedule.blockStartFrame (blockIndex);
    blockTimeNs = (std::uint64_t) schedule.dueNs (blockIndex);

    fillInputs (firstFrame);
    std::fill (outputSamples.begin(), outputSamples.end(), 0.0f);

    callback->audioDeviceIOCallbackWithContext (activeInputs.data(), (int) activeInputs.size(),
                                                activeOutputs.data(), (int) activeOutputs.size(),
                                                bufferFrames, context);

    keepOutputs (firstFrame);

    ++blockIndex;
    framesStreamed += bufferFrames;
    endpoint->countBlock (bufferFrames);
}

void SimulatedDevice::fillInputs (std::int64_t firstFrame) noexcept
{
    const int channels = (int) inputChannels.size();

    if (channels == 0)
        return;

    if (auto* cable = endpoint->getCable())
        cable->read (firstFrame, inputChannels.data(), channels, bufferFrames);
    else if (const auto& signal = endpoint->getConfig().signal)
        signal (inputChannels.data(), channels, bufferFrames, framesStreamed, sampleRateHz);
    else
        std::fill (inputSamples.begin(), inputSamples.end(), 0.0f);
}

void SimulatedDevice::keepOutputs (std::int64_t firstFrame) noexcept
{
    const int channels = (int) outputChannels.size();

    if (channels == 0)
        return;

    endpoint->getCapture().append (outputChannels.data(), channels, bufferFrames);

    if (const auto& recorder = endpoint->getConfig().recorder)
        recorder->append (firstFrame, outputChannels.data(), channels, bufferFrames);

    if (auto* cable = endpoint->getCable())
        cable->write (firstFrame, outputChannels.data(), channels, bufferFrames);
}

} // namespace brindle
