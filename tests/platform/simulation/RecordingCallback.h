#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace brindle::test
{

/** A device callback that keeps what a test needs to check: every block's size and host time,
    what the inputs delivered, the errors and the start and stop calls, and which thread ran
    the last block. `play` (optional) fills the outputs; it is given the number of frames the
    stream played before this block.

    What it keeps is read by the test after the device stopped (or, in manual time, between
    advances); the counters may be read while a real-time device runs. */
struct RecordingCallback final : juce::AudioIODeviceCallback
{
    using Player = std::function<void (float* const* outputs, int numOutputs, int numFrames, std::int64_t framesBefore)>;

    explicit RecordingCallback (Player playerToUse = {}, std::size_t framesToKeep = 1 << 20)
        : play (std::move (playerToUse)), keepFrames (framesToKeep)
    {
        blockTimesNs.reserve (1 << 16);
    }

    void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs, float* const* outputs, int numOutputs,
                                           int numFrames, const juce::AudioIODeviceCallbackContext& context) override
    {
        lastThread = std::this_thread::get_id();
        inputChannels = numInputs;
        outputChannels = numOutputs;
        lastBlockFrames = numFrames;

        if (context.hostTimeNs != nullptr && blockTimesNs.size() < blockTimesNs.capacity())
            blockTimesNs.push_back (*context.hostTimeNs);

        captured.resize ((std::size_t) numInputs);
        for (int c = 0; c < numInputs; ++c)
            for (int k = 0; k < numFrames && captured[(std::size_t) c].size() < keepFrames; ++k)
                captured[(std::size_t) c].push_back (inputs[c][k]);

        if (play)
            play (outputs, numOutputs, numFrames, frames.load());

        frames += numFrames;
        ++blocks;
    }

    void audioDeviceAboutToStart (juce::AudioIODevice* device) override
    {
        ++starts;
        startedDevice = device;
    }

    void audioDeviceStopped() override { ++stops; }

    void audioDeviceError (const juce::String& message) override
    {
        errorThread = std::this_thread::get_id();
        errors.add (message);
    }

    Player play;
    std::size_t keepFrames;
    std::atomic<int> blocks { 0 };
    std::atomic<std::int64_t> frames { 0 };
    std::atomic<int> starts { 0 }, stops { 0 };
    int inputChannels = -1, outputChannels = -1, lastBlockFrames = 0;
    juce::AudioIODevice* startedDevice = nullptr;
    std::vector<std::uint64_t> blockTimesNs;
    std::vector<std::vector<float>> captured;
    juce::StringArray errors;
    std::thread::id lastThread, errorThread;
};

/** Fills every output with the number of frames the stream played before each sample, plus
    one, on the left and its negative on the right: a ramp that shows lost, repeated or
    swapped frames. */
inline RecordingCallback::Player rampPlayer()
{
    return [] (float* const* outputs, int numOutputs, int numFrames, std::int64_t framesBefore)
    {
        for (int c = 0; c < numOutputs; ++c)
            for (int k = 0; k < numFrames; ++k)
                outputs[c][k] = (float) (framesBefore + k + 1) * (c == 1 ? -1.0f : 1.0f);
    };
}

} // namespace brindle::test
