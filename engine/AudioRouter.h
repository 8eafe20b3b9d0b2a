#pragma once

#include "AudioFifo.h"
#include "AudioRoute.h"
#include "CorrectionEngine.h"
#include "DriftController.h"
#include "DriftResampler.h"
#include "StreamStatus.h"
#include "TimedQueueFill.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace brindle
{

/** The audio path: opens one duplex device, or an output and a separate input device of one
    device type, prepares the engine, the queue, the drift control and the resampler for what
    the devices actually run at, then starts the kernel designer and the devices. Closes all of
    it again, applies new correction states and keeps what the stream status reports.

    Threading:
    - Every public operation runs on the message thread. Before rewriting anything the device
      callbacks or the designer read, setRoute() clears `running`, stops and closes the devices
      and stops the designer thread; starting them afterwards hands everything over.
    - The devices call their Tap on their own threads: the input callback is the queue's only
      producer, the output callback its only consumer and the engine's only user. The input
      callback also stamps its blocks in `timedFill`, which the output's drift control reads.
      Callbacks allocate nothing and take no lock; they report through the atomic counters.
    - The designer thread shares only the engine's designer hand-over with the message thread.
    - The router takes no lock of its own. */
class AudioRouter : public juce::ChangeListener
{
public:
    /** The callback object given to a device: the input side of a two-device route, or the
        output side (which is also the whole of a duplex route). */
    struct Tap final : juce::AudioIODeviceCallback
    {
        enum class Side { input, output };

        Tap (AudioRouter& owner, Side sideToServe) noexcept : router (&owner), side (sideToServe) {}

        void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs,
                                               float* const* outputs, int numOutputs,
                                               int numSamples,
                                               const juce::AudioIODeviceCallbackContext& context) override;
        void audioDeviceAboutToStart (juce::AudioIODevice*) override {}
        void audioDeviceStopped() override {}
        void audioDeviceError (const juce::String& errorMessage) override;

        AudioRouter* router;
        Side side;
    };

    /** How long the kernel designer sleeps when it has nothing to do, unless woken. */
    static constexpr int defaultDesignerIdleWaitMs = 25;

    /** The kernel designer: a low-priority thread that designs linear-phase kernels for the
        states the message thread publishes, and sleeps until woken (notify(), which
        applyState() sends with each state, or a stop) or for its idle wait at a time. */
    class KernelDesigner final : public juce::Thread
    {
    public:
        explicit KernelDesigner (CorrectionEngine& engineToDesignFor, int idleWaitMs = defaultDesignerIdleWaitMs);
        void run() override;

        /** [any thread] Idle waits begun since construction: once it has grown, the designer has
            found nothing to do and sleeps until woken. */
        int getIdleWaitsBegun() const noexcept { return idleWaitsBegun.load (std::memory_order_acquire); }

    private:
        CorrectionEngine* engine;
        const int idleWaitMs;
        std::atomic<int> idleWaitsBegun { 0 };
    };

    /** Uses the given manager for its list of device types and its device-list changes only; it
        never opens a device through it. The designer's idle wait is for tests, which lengthen it
        to show that a published state wakes the designer. */
    explicit AudioRouter (std::unique_ptr<juce::AudioDeviceManager> manager = std::make_unique<juce::AudioDeviceManager>(),
                          int designerIdleWaitMs = defaultDesignerIdleWaitMs);
    ~AudioRouter() override;

    /** [message thread] Stores the route as the route in force and opens it. True when audio runs
        afterwards; false with getLastError() saying why. */
    bool setRoute (const AudioRoute& route);

    /** [message thread] Stops, closes and destroys the input device, then the output device. */
    void closeDevices();

    /** [message thread] Hands a new correction state to the audio callback and the designer. */
    void applyState (const CorrectionState& state);

    /** [message thread] A snapshot of the audio path; changes nothing. */
    StreamStatus getStatus() const;

    /** [message thread] Stops the kernel designer thread and waits until it has ended, never
        ending it by force; true once it has. A design in progress is abandoned, leaving no
        kernel raised. */
    bool stopDesigner();

    /** [message thread] Delivers the device manager's device-list changes to onDevicesChanged. */
    void changeListenerCallback (juce::ChangeBroadcaster*) override;

    juce::AudioDeviceManager& getDeviceManager() noexcept { return *deviceManager; }
    const AudioRoute& getCurrentRoute() const noexcept { return currentRoute; }
    const juce::String& getLastError() const noexcept { return lastError; }
    bool isRunning() const noexcept { return running.load(); }
    bool isDuplex() const noexcept { return duplex; }
    double getRateRatio() const noexcept { return rateRatio; }
    int getTargetFrames() const noexcept { return targetFrames; }
    int getMaxBlock() const noexcept { return maxBlock; }
    const AudioFifo& getFifo() const noexcept { return fifo; }
    const DriftController& getDrift() const noexcept { return drift; }
    const CorrectionEngine& getEngine() const noexcept { return engine; }
    bool isDesignerRunning() const { return designer.isThreadRunning(); }
    const KernelDesigner& getDesigner() const noexcept { return designer; }

    /** Called on the message thread when the system's device list changed. */
    std::function<void()> onDevicesChanged;

    /** Called on the message thread when an open device reports an error (without its text),
        whatever thread the device reported it on. */
    std::function<void()> onDeviceError;

    /** Audio is corrected only while set; written on the message thread only. */
    std::atomic<bool> running { false };

private:
    // Device errors can arrive on a device thread; this carries them to the message thread.
    struct DeviceErrorRelay final : juce::AsyncUpdater
    {
        explicit DeviceErrorRelay (AudioRouter& owner) : router (owner) {}
        void handleAsyncUpdate() override;
        AudioRouter& router;
    };

    bool openDuplex (juce::AudioIODeviceType& type, const AudioRoute& route);
    bool openTwoDevices (juce::AudioIODeviceType& type, const AudioRoute& route);
    void prepareProcessing();
    void prepareQueue (const AudioRoute& route);
    void reportDeviceError();

    // [device threads] One block of each kind of callback; `timeNs` is the block's time stamp.
    void pushInput (const float* const* inputs, int numInputs, int numSamples, std::int64_t timeNs) noexcept;
    void pullOutput (float* const* outputs, int numOutputs, int numSamples, std::int64_t timeNs) noexcept;
    void processDuplex (const float* const* inputs, int numInputs, float* const* outputs, int numOutputs, int numSamples) noexcept;
    void writeWorkBuffersTo (float* const* outputs, int numOutputs, int numSamples) noexcept;

    std::unique_ptr<juce::AudioDeviceManager> deviceManager;
    std::unique_ptr<juce::AudioIODevice> inputAudioDevice;
    std::unique_ptr<juce::AudioIODevice> outputAudioDevice;
    Tap inputTap { *this, Tap::Side::input };
    Tap outputTap { *this, Tap::Side::output };
    CorrectionEngine engine;
    KernelDesigner designer;
    AudioFifo fifo;
    DriftController drift;
    TimedQueueFill timedFill;
    DriftResampler resampler;
    std::array<std::vector<float>, 2> workBuffers;
    std::array<float*, 2> workPointers {};
    AudioRoute currentRoute;
    double rateRatio = 1.0;
    int targetFrames = 0;
    int maxBlock = 0;
    juce::String lastError;
    bool duplex = false;
    DeviceErrorRelay errorRelay { *this };

    std::atomic<int> fillFrames { 0 };
    std::atomic<double> lastRatio { 1.0 };
    std::atomic<std::int64_t> dropouts { 0 };
    std::atomic<std::int64_t> overruns { 0 };
    std::atomic<std::int64_t> inputFrames { 0 };
    std::atomic<int> inputChannels { 0 };
};

} // namespace brindle
