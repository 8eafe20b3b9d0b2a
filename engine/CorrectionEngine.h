#pragma once

#include "BlockGlide.h"
#include "ChannelProcessor.h"
#include "ReleaseHold.h"
#include "CorrectionState.h"
#include "DoubleFft.h"
#include "LinearPhaseDesign.h"
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
    output gain last. Within a block the bands and the output gain move together from where
    the last block left them to the block's glided values (BlockGlide), so that neither steps
    at a block boundary and a boost never runs ahead of the headroom that takes it back. A
    resonant section follows its coefficients only as fast as its poles let it, so a rise of
    the gain is held back for as long as the sounding sections take (ReleaseHold): a boost
    that glides out has gone before the headroom gives its level back. A delay that moved
    crossfades from the old read to the new one. Sections whose values did not move are not
    designed again, so a settled correction costs no design at all.

    In linear phase each channel's delayed signal goes through a long FIR kernel instead: the
    samples gather in blocks of 1024, each full block is convolved and read out a block later,
    so the path adds 1024 samples plus half the kernel. A new kernel waiting in the idle slot
    is crossfaded in over the first block completed after it arrived; then the slots swap.
    Each kernel carries its own state's safe headroom as a flat gain, and the path's output
    gain is the trim alone: the headroom moves exactly when and as the kernel does, however
    late the designer hands it over, and a crossfade mixes two signals within full scale.

    A change of phase mode restarts the new path from silence (the convolution's history, or
    the cascade's) and crossfades over a few milliseconds: the old path runs on and fades
    out while the new one fades in; the linear path's input also rises from 0, so its first
    audible sample comes in without a step. A change back during that fade reverses it.
    Each path is mixed in after its own output gain, so each brings its own headroom.

    Threading:
    - prepare() and snapToTargets() run on the message thread while no device callback and no
      designer thread can run; prepare() is the only place that allocates on behalf of the
      device thread.
    - process(), applyState(), smoothParameters() and updateCoefficients() run on the one device
      thread that drives the output. They allocate nothing, take no lock and never wait.
      process() flushes denormals to zero for its own duration, whatever its caller set.
    - `audioStates` carries new states from the message thread (its only writer) to process();
      `designerStates` carries them to the kernel designer. Each has one reader.
    - The kernel hand-over: the designer (designPendingKernel) writes the idle slot
      1 - activeKernelSlot of both channels only while kernelReady is false, then raises it;
      process() reads that slot only while kernelReady is true, and after the crossfade flips
      activeKernelSlot and then clears kernelReady. Release stores, acquire loads.
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
        state, glides every parameter one step and filters, the sections and the gain moving
        along that step sample by sample. A call with no samples still applies a state and
        glides; the sections and the gain then catch up in the next call with samples. */
    void process (float* left, float* right, int numSamples) noexcept;

    /** [device thread, from process] Turns a state into the targets of both channels, the output
        target and the latency figures. */
    void applyState (const CorrectionState& state) noexcept;

    /** [device thread, from process] Moves every current value one step towards its target. */
    void smoothParameters() noexcept;

    /** [device thread; message thread from prepare/snapToTargets] Redesigns all 48 sections
        from the current values. */
    void updateCoefficients() noexcept;

    /** [message thread, devices stopped] Every current value takes its target, the delay
        lines included; then the sections are redesigned. */
    void snapToTargets() noexcept;

    /** One pass of the kernel designer: takes the newest state published to `designerStates`
        (sanitised) into `designerState` and marks it pending; when a design is pending and no
        kernel waits, designs both channels' kernels for it, lowered by its safe headroom, loads
        them into the idle slots and raises kernelReady. Returns true when it did. The exit
        test, asked between the channels, every few thousand frequencies and butterflies of the
        design and before each partition loaded, abandons the pass: nothing is raised and the
        design stays pending. The synchronous pass passes none.
        [kernel designer thread; message thread while that thread is stopped] */
    bool designPendingKernel (const LinearPhaseDesign::ExitTest& shouldExit = {});

    /** Loads given kernels (`length` taps each) into the idle slot of each channel and raises
        kernelReady, as a finished design does. False, loading nothing, while a kernel waits.
        [kernel designer thread; message thread while that thread is stopped] */
    bool offerKernels (const double* left, const double* right, int length);

    /** Linear magnitude of one channel's (0 left, 1 right) bands in force in the designer's
        state at a frequency, at the engine's rate: what the linear-phase kernel of that channel
        is designed to. 1 when no band is in force.
        [kernel designer thread; message thread while that thread is stopped] */
    double magnitudeAt (int channel, double frequencyHz) const noexcept;

    /** [kernel designer thread; message thread while it is stopped] */
    const CorrectionState& getDesignerState() const noexcept { return designerState; }
    bool isDesignPending() const noexcept { return designPending; }

    /** [any thread] Kernel designs begun and designs loaded and handed over, since construction. */
    int getDesignsStarted() const noexcept { return designsStarted.load (std::memory_order_acquire); }
    int getDesignsFinished() const noexcept { return designsFinished.load (std::memory_order_acquire); }

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
    PhaseMode getPhaseMode() const noexcept { return phaseMode; }
    int getActiveKernelSlot() const noexcept { return activeKernelSlot.load (std::memory_order_acquire); }
    bool isKernelReady() const noexcept { return kernelReady.load (std::memory_order_acquire); }
    /** Samples by which a rise of the output gain follows the lockstep glide. */
    int getReleaseHold() const noexcept { return releaseHold.getHold(); }
    /** Samples left of a change of phase mode's crossfade; 0 when none runs. */
    int getModeFadeRemaining() const noexcept { return modeFadeRemaining; }
    int getModeFadeLength() const noexcept { return modeFadeLength; }

    StateTripleBuffer audioStates;       // message thread -> device thread
    StateTripleBuffer designerStates;    // message thread -> kernel designer

private:
    void setChannelTargets (ChannelProcessor& channel, const CorrectionState& state, int channelIndex) noexcept;
    /** The output gain of each sample for each path: the cascade's carries the trim and the
        safe headroom, the linear path's the trim alone (null where that path does not run). */
    struct PathGains
    {
        const double* cascade;
        const double* linear;
        const double* of (PhaseMode mode) const noexcept { return mode == PhaseMode::linear ? linear : cascade; }
    };

    bool processPiece (ChannelProcessor& channel, float* block, int count, int first,
                       const PathGains& gains, bool crossfade, int activeSlot) noexcept;
    const double* outputGains (int first, int count) noexcept;
    const double* linearPathGains (int first, int count) noexcept;
    bool runPath (PhaseMode mode, ChannelProcessor& channel, double* samples, int count, int first,
                  bool crossfade, int activeSlot) noexcept;
    void runSections (ChannelProcessor& channel, double* samples, int count, int first) noexcept;
    void beginGlideStep() noexcept;
    void planGlideStep (int numSamples) noexcept;
    void updateReleaseHold (bool sectionsMove) noexcept;
    BiquadCoefficients designAtShare (const ChannelProcessor& channel, int slot, double share) const noexcept;
    void finishSections (ChannelProcessor& channel) noexcept;
    bool processLinearPhase (ChannelProcessor& channel, double* samples, int count, bool crossfade, int activeSlot) noexcept;
    void completeBlock (ChannelProcessor& channel, bool fade, int activeSlot) noexcept;
    void resetConvolution() noexcept;
    void changePhaseMode (PhaseMode newMode) noexcept;
    bool loadIdleSlot (int channelIndex, const double* taps, int length, const LinearPhaseDesign::ExitTest& shouldExit = {});

    std::array<ChannelProcessor, channelCount> channels {};
    double sampleRate = 48000.0;
    int maxBlockSize = 512;
    double smoothingCoeff = 0.1;
    double targetOutputDb = 0.0;
    double currentOutputDb = 0.0;
    double startOutputDb = 0.0;       // where this call's step started
    double appliedOutputGain = 1.0;   // the linear gain of the last sample written

    // The linear path's output gain: the trim without the safe headroom, which its kernels
    // carry themselves. It glides as the cascade's does, in a straight line over each call.
    double targetTrimDb = 0.0;
    double currentTrimDb = 0.0;
    double startTrimDb = 0.0;
    double appliedTrimGain = 1.0;
    double maxDelayMs = 0.0;
    PhaseMode phaseMode = PhaseMode::minimum;
    double mixStepPerSample = 1.0 / 480.0;
    int shortestDelayFade = 240;

    // One block of the cascade in double precision, filtered in place section by section,
    // and the same block through the old path while a change of phase mode fades.
    std::vector<double> stageInput;
    std::vector<double> fadingStage;

    // This call's step spread over its samples, and the output gain of each sample.
    BlockGlide blockGlide;
    BlockGlide trimGlide;
    ReleaseHold releaseHold;
    bool holdFitsSections = false;   // the hold was last set for sections that have not moved since
    std::vector<double> gainRamp, trimRamp;

    int modeFadeLength = 240;
    int modeFadeRemaining = 0;

    std::atomic<int> activeKernelSlot { 0 };
    std::atomic<bool> kernelReady { false };

    // The designer's side: the design, the kernels between design and load, and the transform
    // that turns them into partition spectra.
    LinearPhaseDesign kernelDesign;
    std::vector<double> kernelLeft, kernelRight;
    DoubleFft loadTransform;
    std::atomic<int> designsStarted { 0 };
    std::atomic<int> designsFinished { 0 };

    // The kernel designer's own copy of the newest state, and whether its kernels are still due.
    CorrectionState designerState;
    bool designPending = false;

    std::atomic<double> latencyMaxDelayMs { 0.0 };
    std::atomic<PhaseMode> latencyPhaseMode { PhaseMode::minimum };
    std::atomic<std::int32_t> latencyFirTaps { 16384 };
};

} // namespace brindle
