#pragma once

#include "ChannelProcessor.h"
#include "CorrectionState.h"
#include "StateTripleBuffer.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace brindle
{

/** The two-channel correction processor.

    A CorrectionState becomes per-channel targets (the bands in force, the speaker delays and
    the output gain, lowered by the safe headroom), and the parameters the filters use glide
    towards those targets one step per process() call. Each channel runs through its
    fractional speaker delay, then the 24-section biquad cascade in double precision, with the
    output gain last. Within a block the output gain ramps from where the last block left it
    to the block's glided value, and a delay that moved crossfades from the old read to the
    new one, so neither steps at a block boundary.

    Threading:
    - prepare() and snapToTargets() run on the message thread while no device callback and no
      designer thread can run; prepare() is the only place that allocates.
    - process(), applyState(), smoothParameters() and updateCoefficients() run on the one device
      thread that drives the output. They allocate nothing, take no lock and never wait.
      process() flushes denormals to zero for its own duration, whatever its caller set.
    - `audioStates` carries new states from the message thread (its only writer) to process();
      `designerStates` carries them to the kernel designer. Each has one reader.
    - The three latency figures are atomics written by applyState() and read by the status
      snapshot on the message thread; each is read whole, the three are not one consistent set. */
class CorrectionEngine
{
public:
    static constexpr int channelCount = 2;
    static constexpr int slotCount = ChannelProcessor::slotCount;

    CorrectionEngine() = default;

    /** [message thread, devices stopped] Sizes and clears everything for a rate (48000 when not
        a positive number) and a largest block (at least 1). Keeps the targets, so the correction
        in force carries over, designed at the new rate. */
    void prepare (double sampleRate, int maxBlockSize);

    /** [device thread] Corrects one block of both channels in place. Takes the newest published
        state, glides every parameter one step, redesigns the cascade, then filters. A call with
        no samples still applies a state and glides. */
    void process (float* left, float* right, int numSamples) noexcept;

    /** [device thread, from process] Turns a state into the targets of both channels, the output
        target and the latency figures. */
    void applyState (const CorrectionState& state) noexcept;

    /** [device thread, from process] Moves every current value one step towards its target. */
    void smoothParameters() noexcept;

    /** [device thread; message thread from prepare/snapToTargets] Redesigns all 48 sections
        from the current values. */
    void updateCoefficients() noexcept;

    /** [message thread, devices stopped] Every current value takes its target; then the
        sections are redesigned. */
    void snapToTargets() noexcept;

    /** One pass of the kernel designer: takes the newest state published to `designerStates`
        (sanitised) into `designerState` and marks it pending. Returns true when it designed and
        loaded new kernels; kernels come with the linear-phase path, so for now it designs
        nothing and returns false.
        [kernel designer thread; message thread while that thread is stopped] */
    bool designPendingKernel() noexcept;

    /** Linear magnitude of one channel's (0 left, 1 right) bands in force in the designer's
        state at a frequency, at the engine's rate: what the linear-phase kernel of that channel
        is designed to. 1 when no band is in force.
        [kernel designer thread; message thread while that thread is stopped] */
    double magnitudeAt (int channel, double frequencyHz) const noexcept;

    /** [kernel designer thread; message thread while it is stopped] */
    const CorrectionState& getDesignerState() const noexcept { return designerState; }
    bool isDesignPending() const noexcept { return designPending; }

    /** [message thread] Latency figures of the last applied state, for the stream status. */
    double getLatencyMaxDelayMs() const noexcept { return latencyMaxDelayMs.load(); }
    PhaseMode getLatencyPhaseMode() const noexcept { return latencyPhaseMode.load(); }
    std::int32_t getLatencyFirTaps() const noexcept { return latencyFirTaps.load(); }

    /** Read-outs of the engine's own thread's values, for that thread and for tests. */
    double getSampleRate() const noexcept { return sampleRate; }
    int getMaxBlockSize() const noexcept { return maxBlockSize; }
    double getSmoothingCoeff() const noexcept { return smoothingCoeff; }
    double getTargetOutputDb() const noexcept { return targetOutputDb; }
    double getCurrentOutputDb() const noexcept { return currentOutputDb; }
    const ChannelProcessor& getChannel (int index) const noexcept { return channels[(size_t) index]; }

    StateTripleBuffer audioStates;       // message thread -> device thread
    StateTripleBuffer designerStates;    // message thread -> kernel designer

private:
    void setChannelTargets (ChannelProcessor& channel, const CorrectionState& state, int channelIndex) noexcept;
    void runCascade (ChannelProcessor& channel, float* samples, int numSamples, double startGain, double endGain) noexcept;
    void runFadingSection (ChannelProcessor& channel, int slot, double* samples, int numSamples) noexcept;

    std::array<ChannelProcessor, channelCount> channels {};
    double sampleRate = 48000.0;
    int maxBlockSize = 512;
    double smoothingCoeff = 0.1;
    double targetOutputDb = 0.0;
    double currentOutputDb = 0.0;
    double appliedOutputGain = 1.0;   // the linear gain of the last sample written
    double maxDelayMs = 0.0;
    PhaseMode phaseMode = PhaseMode::minimum;
    double mixStepPerSample = 1.0 / 480.0;
    int shortestDelayFade = 240;

    // One block of the cascade in double precision, filtered in place section by section.
    std::vector<double> stageInput;

    // The kernel designer's own copy of the newest state, and whether its kernels are still due.
    CorrectionState designerState;
    bool designPending = false;

    std::atomic<double> latencyMaxDelayMs { 0.0 };
    std::atomic<PhaseMode> latencyPhaseMode { PhaseMode::minimum };
    std::atomic<std::int32_t> latencyFirTaps { 16384 };
};

} // namespace brindle
