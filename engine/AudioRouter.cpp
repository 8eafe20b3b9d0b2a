#include "AudioRouter.h"

#include "DeviceLists.h"
#include "PathLatency.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace brindle
{

namespace
{
    constexpr int smallestMaxBlock = 2048;
    constexpr int smallestTargetFrames = 64;
    constexpr double largestDriftRatio = 1.01;

    juce::BigInteger makeStereoChannelMask()
    {
        juce::BigInteger mask;
        mask.setRange (0, 2, true);
        return mask;
    }

    void clearChannels (float* const* channels, int count, int numSamples) noexcept
    {
        for (int c = 0; c < count; ++c)
            if (channels[c] != nullptr)
                std::memset (channels[c], 0, sizeof (float) * (size_t) numSamples);
    }

    // The device's own time stamp when it gives one, else the time the callback runs: the two
    // devices of a route are of one type, so both stamps come from the same clock.
    std::int64_t blockTimeNs (const juce::AudioIODeviceCallbackContext& context) noexcept
    {
        if (context.hostTimeNs != nullptr)
            return (std::int64_t) *context.hostTimeNs;

        return std::chrono::duration_cast<std::chrono::nanoseconds> (std::chrono::steady_clock::now().time_since_epoch()).count();
    }
}

//==============================================================================
AudioRouter::KernelDesigner::KernelDesigner (CorrectionEngine& engineToDesignFor, int idleWait)
    : juce::Thread ("Duzezavure kernel"), engine (&engineToDesignFor), idleWaitMs (std::max (1, idleWait))
{
}

void AudioRouter::KernelDesigner::run()
{
    // A stop abandons a design in progress, so that it never outlasts the stop's time-out
    // and the thread is never ended by force in the middle of one.
    const LinearPhaseDesign::ExitTest shouldExit = [this] { return threadShouldExit(); };

    while (! threadShouldExit())
    {
        // After a design, look again at once: a newer state may be waiting. A state published
        // while this waits wakes it (notify), and so does a stop.
        if (! engine->designPendingKernel (shouldExit))
        {
            idleWaitsBegun.fetch_add (1, std::memory_order_acq_rel);
            wait (idleWaitMs);
        }
    }
}

//==============================================================================
AudioRouter::AudioRouter (std::unique_ptr<juce::AudioDeviceManager> manager, int designerIdleWaitMs)
    : deviceManager (std::move (manager)), designer (engine, designerIdleWaitMs)
{
    deviceManager->addChangeListener (this);
}

AudioRouter::~AudioRouter()
{
    deviceManager->removeChangeListener (this);
    errorRelay.cancelPendingUpdate();
    running = false;
    closeDevices();
    stopDesigner();
}

bool AudioRouter::stopDesigner()
{
    // The design tests for the stop often, so this is quick; on a machine too busy to run the
    // designer for a while it waits longer, but never ends the thread by force, which would
    // leave a design racing with the next prepare() or end the process.
    return designer.stopThread (-1);
}

bool AudioRouter::setRoute (const AudioRoute& route)
{
    running = false;
    closeDevices();
    stopDesigner();

    currentRoute = route;
    lastError.clear();
    dropouts = 0;
    overruns = 0;
    inputFrames = 0;
    inputChannels = 0;

    auto* type = findDeviceType (*deviceManager, route.deviceType);

    if (type == nullptr)
    {
        lastError = "No audio device type available.";
        return false;
    }

    type->scanForDevices();

    duplex = route.inputDevice.isNotEmpty() && route.inputDevice == route.outputDevice;

    if (! (duplex ? openDuplex (*type, route) : openTwoDevices (*type, route)))
        return false;

    prepareProcessing();

    if (duplex)
    {
        rateRatio = 1.0;
        targetFrames = 0;
    }
    else
    {
        prepareQueue (route);
    }

    running = true;
    designer.startThread (juce::Thread::Priority::low);
    outputAudioDevice->start (&outputTap);

    if (inputAudioDevice != nullptr)
        inputAudioDevice->start (&inputTap);

    return true;
}

bool AudioRouter::openDuplex (juce::AudioIODeviceType& type, const AudioRoute& route)
{
    outputAudioDevice.reset (type.createDevice (route.outputDevice, route.inputDevice));

    if (outputAudioDevice == nullptr)
    {
        lastError = "Could not open " + route.outputDevice + ".";
        return false;
    }

    lastError = outputAudioDevice->open (makeStereoChannelMask(), makeStereoChannelMask(), route.sampleRate, route.bufferSize);

    if (lastError.isNotEmpty())
    {
        outputAudioDevice.reset();
        return false;
    }

    return true;
}

bool AudioRouter::openTwoDevices (juce::AudioIODeviceType& type, const AudioRoute& route)
{
    outputAudioDevice.reset (type.createDevice (route.outputDevice, {}));

    if (outputAudioDevice == nullptr)
    {
        lastError = "Could not open the output device.";
        return false;
    }

    lastError = outputAudioDevice->open ({}, makeStereoChannelMask(), route.sampleRate, route.bufferSize);

    if (lastError.isNotEmpty())
    {
        outputAudioDevice.reset();
        return false;
    }

    inputAudioDevice.reset (type.createDevice ({}, route.inputDevice));

    if (inputAudioDevice == nullptr)
    {
        lastError = "Could not open the input device.";
        closeDevices();
        return false;
    }

    const int defaultInputBuffer = inputAudioDevice->getDefaultBufferSize();
    const int inputBuffer = defaultInputBuffer >= 1 ? defaultInputBuffer : route.bufferSize;

    lastError = inputAudioDevice->open (makeStereoChannelMask(), {}, route.sampleRate, inputBuffer);

    if (lastError.isNotEmpty())
    {
        closeDevices();
        return false;
    }

    return true;
}

void AudioRouter::prepareProcessing()
{
    const double outputRate = outputAudioDevice->getCurrentSampleRate();
    const int outputBuffer = outputAudioDevice->getCurrentBufferSizeSamples();

    maxBlock = std::max (2 * outputBuffer, smallestMaxBlock);

    for (size_t c = 0; c < workBuffers.size(); ++c)
    {
        workBuffers[c].assign ((size_t) maxBlock, 0.0f);
        workPointers[c] = workBuffers[c].data();
    }

    engine.prepare (outputRate, maxBlock);
    engine.designPendingKernel();
    engine.snapToTargets();
}

void AudioRouter::prepareQueue (const AudioRoute& route)
{
    const double outputRate = outputAudioDevice->getCurrentSampleRate();
    const double inputRate = inputAudioDevice->getCurrentSampleRate();

    rateRatio = inputRate > 0.0 ? inputRate / outputRate : 1.0;

    // A stored route reaches us as it was saved: keep the arithmetic defined for any queue length.
    const double wantedFrames = (double) route.queueMs * inputRate * 0.001;
    targetFrames = std::max (smallestTargetFrames, (int) std::clamp (wantedFrames, 0.0, (double) (1 << 24)));

    const int inputBuffer = inputAudioDevice->getCurrentBufferSizeSamples();
    fifo.prepare (std::max (maxBlock + 2 * targetFrames + 4 * inputBuffer, 2) + 1);

    drift.configure (outputRate, targetFrames);
    resampler.prepare (maxBlock, rateRatio, largestDriftRatio);

    fifo.reset();
    resampler.reset();
    drift.reset();
    timedFill.reset (inputRate, inputBuffer);

    // The output starts by playing this silence while the input fills in behind it.
    fifo.writeSilence (targetFrames + inputAudioDevice->getCurrentBufferSizeSamples() / 2);
}

void AudioRouter::closeDevices()
{
    for (auto* device : { &inputAudioDevice, &outputAudioDevice })
    {
        if (*device != nullptr)
        {
            (*device)->stop();
            (*device)->close();
            device->reset();
        }
    }
}

void AudioRouter::applyState (const CorrectionState& state)
{
    const auto clean = CorrectionState::sanitized (state);
    engine.audioStates.publish (clean);
    engine.designerStates.publish (clean);
    designer.notify();
}

void AudioRouter::changeListenerCallback (juce::ChangeBroadcaster*)
{
    if (onDevicesChanged)
        onDevicesChanged();
}

void AudioRouter::reportDeviceError()
{
    // Always by message, even from the message thread: a device may report while setRoute or
    // closeDevices is half done, and the handler must not run in the middle of that.
    errorRelay.triggerAsyncUpdate();
}

void AudioRouter::DeviceErrorRelay::handleAsyncUpdate()
{
    if (router.onDeviceError)
        router.onDeviceError();
}

//==============================================================================
StreamStatus AudioRouter::getStatus() const
{
    StreamStatus status;
    status.running = running.load();
    status.error = lastError;
    status.duplex = duplex;

    status.outputRate = outputAudioDevice != nullptr ? outputAudioDevice->getCurrentSampleRate() : 0.0;
    status.inputRate = duplex ? status.outputRate
                              : (inputAudioDevice != nullptr ? inputAudioDevice->getCurrentSampleRate() : 0.0);
    status.bufferSize = outputAudioDevice != nullptr ? outputAudioDevice->getCurrentBufferSizeSamples() : 0;

    status.fillFrames = fillFrames.load();
    status.targetFrames = targetFrames;
    status.correctionPpm = (lastRatio.load() - 1.0) * 1000000.0;
    status.dropouts = dropouts.load();
    status.overruns = overruns.load();
    status.inputFrames = inputFrames.load();
    status.inputChannels = inputChannels.load();
    status.inputBufferSize = duplex ? status.bufferSize
                                    : (inputAudioDevice != nullptr ? inputAudioDevice->getCurrentBufferSizeSamples() : 0);

    if (status.running && status.outputRate > 0.0)
    {
        PathLatencyInputs path;
        path.maxDelayMs = engine.getLatencyMaxDelayMs();
        path.engineRate = engine.getSampleRate();
        path.phaseMode = engine.getLatencyPhaseMode();
        path.firTaps = engine.getLatencyFirTaps();
        path.duplex = duplex;
        path.outputRate = status.outputRate;
        path.outputBufferFrames = status.bufferSize;
        path.inputRate = status.inputRate;
        // The input device is asked again: the estimate reads what it reports now.
        path.inputBufferFrames = ! duplex && inputAudioDevice != nullptr ? inputAudioDevice->getCurrentBufferSizeSamples() : 0;
        path.targetFrames = targetFrames;
        status.latencyMs = pathLatencyMs (path);
    }

    return status;
}

//==============================================================================
void AudioRouter::Tap::audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs,
                                                        float* const* outputs, int numOutputs,
                                                        int numSamples,
                                                        const juce::AudioIODeviceCallbackContext& context)
{
    const juce::ScopedNoDenormals noDenormals;

    if (router->duplex)
    {
        router->processDuplex (inputs, numInputs, outputs, numOutputs, numSamples);
    }
    else if (side == Side::input)
    {
        if (numSamples > 0)
            clearChannels (outputs, numOutputs, numSamples);

        router->pushInput (inputs, numInputs, numSamples, blockTimeNs (context));
    }
    else
    {
        router->pullOutput (outputs, numOutputs, numSamples, blockTimeNs (context));
    }
}

void AudioRouter::Tap::audioDeviceError (const juce::String&)
{
    router->reportDeviceError();
}

void AudioRouter::pushInput (const float* const* inputs, int numInputs, int numSamples, std::int64_t timeNs) noexcept
{
    if (! running.load() || numSamples <= 0)
        return;

    inputChannels.store (numInputs);

    if (numInputs <= 0)
        return;

    const float* left = inputs[0];

    // A mono input feeds both channels; so does a missing right channel next to a left one.
    const float* right = numInputs >= 2 && inputs[1] != nullptr ? inputs[1] : left;

    if (left == nullptr)
        return;

    inputFrames.fetch_add (numSamples);

    timedFill.beginInputBlock();
    const int written = fifo.write (left, right, numSamples);
    timedFill.endInputBlock (timeNs, numSamples);

    if (written < numSamples)
        overruns.fetch_add (numSamples - written);
}

void AudioRouter::pullOutput (float* const* outputs, int numOutputs, int numSamples, std::int64_t timeNs) noexcept
{
    if (numSamples <= 0)
        return;

    if (! running.load() || numSamples > maxBlock)
    {
        clearChannels (outputs, numOutputs, numSamples);
        return;
    }

    // The loop steers on the fill counted to this block's time; the status shows the queue's.
    const auto fill = timedFill.measure (fifo, timeNs);
    fillFrames.store (fill.queuedFrames);

    const double u = drift.update (fill.timedFrames, numSamples);
    lastRatio.store (1.0 + u);

    const int silent = resampler.process (fifo, workPointers.data(), numSamples, (1.0 + u) * rateRatio);

    if (silent > 0)
        dropouts.fetch_add (silent);

    engine.process (workPointers[0], workPointers[1], numSamples);
    writeWorkBuffersTo (outputs, numOutputs, numSamples);
}

void AudioRouter::processDuplex (const float* const* inputs, int numInputs, float* const* outputs, int numOutputs, int numSamples) noexcept
{
    if (numSamples <= 0)
        return;

    if (! running.load() || numSamples > maxBlock)
    {
        clearChannels (outputs, numOutputs, numSamples);
        return;
    }

    const float* left = numInputs >= 1 ? inputs[0] : nullptr;
    const float* right = numInputs >= 2 ? inputs[1] : left;

    // A missing channel reads as silence.
    for (size_t c = 0; c < 2; ++c)
    {
        const float* source = c == 0 ? left : right;

        if (source != nullptr)
            std::memcpy (workPointers[c], source, sizeof (float) * (size_t) numSamples);
        else
            std::memset (workPointers[c], 0, sizeof (float) * (size_t) numSamples);
    }

    engine.process (workPointers[0], workPointers[1], numSamples);
    writeWorkBuffersTo (outputs, numOutputs, numSamples);
}

void AudioRouter::writeWorkBuffersTo (float* const* outputs, int numOutputs, int numSamples) noexcept
{
    for (int c = 0; c < numOutputs; ++c)
        if (outputs[c] != nullptr)
            std::memcpy (outputs[c], workPointers[c == 0 ? 0 : 1], sizeof (float) * (size_t) numSamples);
}

} // namespace brindle
