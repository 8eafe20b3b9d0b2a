#include "CorrectionEngine.h"

#include "BandsInForce.h"
#include "ChannelSections.h"
#include "FirLength.h"
#include "SafeHeadroom.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <cmath>

namespace brindle
{

namespace
{
    constexpr double glideTimeConstantSeconds = 0.03;
    constexpr double passFadeSeconds = 0.01;

    // A change of phase mode crossfades the two paths over this long; short enough to be
    // quick, long against a bass tone's slope so that neither the fade nor the new path's
    // start steps.
    constexpr double modeFadeSeconds = 0.005;
    constexpr int ringSize = 2 * PartitionedConvolver::blockSize;
    constexpr int loadTransformOrder = PartitionedConvolver::blockOrder + 1;

    // The shortest crossfade of a moving speaker delay. Between two reads of a tone the fade
    // itself adds a slope of up to twice the tone's amplitude over its length, so it must be
    // long against the tone's period; device blocks of a few dozen samples are not.
    constexpr double shortestDelayFadeSeconds = 0.005;

    // How far a band may move between two knots of a call's glide. Coefficients interpolated
    // between two designs of a bell that differ by d dB stray from the designed response by
    // about 0.0009 d^2 dB at the bell's centre, always on the loud side, and stacked bells add
    // their errors; frequency and Q moves only shift the bell.
    constexpr double gainDbPerKnot = 1.0;
    constexpr double octavesPerKnot = 1.0 / 6.0;

    // The output gain's rise waits for a decaying boost at most this long.
    constexpr double longestReleaseHoldSeconds = 0.1;

    bool isPassShape (BandType type) noexcept
    {
        return type == BandType::lowPass || type == BandType::highPass || type == BandType::bandPass;
    }

    void glide (double& current, double target, double k) noexcept
    {
        current += (target - current) * k;
    }

    double moveTowards (double value, double target, double step) noexcept
    {
        return value < target ? std::min (target, value + step) : std::max (target, value - step);
    }

    /** The knots a section's move from one set of values to another needs. */
    double knotsForMove (double fromFreq, double toFreq, double fromGain, double toGain,
                         double fromQ, double toQ, double sampleRate) noexcept
    {
        const double octaves = std::abs (std::log2 (clampDesignFrequency (toFreq, sampleRate)
                                                    / clampDesignFrequency (fromFreq, sampleRate)));
        const double qOctaves = std::abs (std::log2 (clampDesignQ (toQ) / clampDesignQ (fromQ)));
        return std::max ({ std::abs (toGain - fromGain) / gainDbPerKnot, octaves / octavesPerKnot, qOctaves / octavesPerKnot });
    }

    void runSteadySection (BiquadSection& s, double* stage, int count) noexcept
    {
        double x1 = s.x1, x2 = s.x2, y1 = s.y1, y2 = s.y2;

        for (int i = 0; i < count; ++i)
        {
            const double x = stage[i];
            const double y = s.b0 * x + s.b1 * x1 + s.b2 * x2 - s.a1 * y1 - s.a2 * y2;
            x2 = x1; x1 = x; y2 = y1; y1 = y;
            stage[i] = y;
        }

        s.x1 = x1; s.x2 = x2; s.y1 = y1; s.y2 = y2;
    }

    /** Runs `count` samples through a section whose coefficients move in equal steps towards
        `to`, reached at the `stepsToKnot`-th sample; with `mixing`, the section's output is also
        blended with its input by a mix that moves towards its target. A run cut short of the
        knot leaves the coefficients where it stopped. */
    template <bool mixing>
    void runMovingSection (BiquadSection& s, double* stage, int count, const BiquadCoefficients& to, int stepsToKnot,
                           double& mix, double mixTarget, double mixStep) noexcept
    {
        const double share = 1.0 / stepsToKnot;
        const double db0 = (to.b0 - s.b0) * share, db1 = (to.b1 - s.b1) * share, db2 = (to.b2 - s.b2) * share;
        const double da1 = (to.a1 - s.a1) * share, da2 = (to.a2 - s.a2) * share;
        double b0 = s.b0, b1 = s.b1, b2 = s.b2, a1 = s.a1, a2 = s.a2;
        double x1 = s.x1, x2 = s.x2, y1 = s.y1, y2 = s.y2;

        for (int i = 0; i < count; ++i)
        {
            if (i + 1 == stepsToKnot)
            {
                b0 = to.b0; b1 = to.b1; b2 = to.b2; a1 = to.a1; a2 = to.a2;
            }
            else
            {
                b0 += db0; b1 += db1; b2 += db2; a1 += da1; a2 += da2;
            }

            const double x = stage[i];
            const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1; x1 = x; y2 = y1; y1 = y;

            if constexpr (mixing)
            {
                mix = moveTowards (mix, mixTarget, mixStep);
                stage[i] = mix * y + (1.0 - mix) * x;
            }
            else
            {
                stage[i] = y;
            }
        }

        s.b0 = b0; s.b1 = b1; s.b2 = b2; s.a1 = a1; s.a2 = a2;
        s.x1 = x1; s.x2 = x2; s.y1 = y1; s.y2 = y2;
    }

    /** Samples by which a section's output may lag its coefficients: the time constant
        1 / (1 - r) of each of its two poles, added, since a signal passes through both. Two
        poles close together (a shelf's) decay as n r^n, far slower than one pole alone. */
    double sectionLag (const BiquadSection& s) noexcept
    {
        const double discriminant = s.a1 * s.a1 - 4.0 * s.a2;
        double outer = 0.0, inner = 0.0;

        if (discriminant < 0.0)
        {
            outer = inner = std::sqrt (s.a2);
        }
        else
        {
            outer = 0.5 * (std::abs (s.a1) + std::sqrt (discriminant));
            inner = outer > 0.0 ? std::abs (s.a2) / outer : 0.0;   // the poles' product is a2
        }

        auto timeConstant = [] (double radius) { return radius < 1.0 ? 1.0 / (1.0 - radius) : 1e9; };
        return timeConstant (outer) + timeConstant (inner);
    }

    bool isDesignedFor (const ChannelProcessor& channel, size_t j) noexcept
    {
        return channel.designedFreqHz[j] == channel.currentFreqHz[j] && channel.designedGainDb[j] == channel.currentGainDb[j]
            && channel.designedQ[j] == channel.currentQ[j] && channel.designedTypes[j] == channel.types[j];
    }

    bool glidesThisCall (const ChannelProcessor& channel, size_t j) noexcept
    {
        return channel.startFreqHz[j] != channel.currentFreqHz[j] || channel.startGainDb[j] != channel.currentGainDb[j]
            || channel.startQ[j] != channel.currentQ[j];
    }

    void markDesigned (ChannelProcessor& channel, size_t j) noexcept
    {
        channel.designedFreqHz[j] = channel.currentFreqHz[j];
        channel.designedGainDb[j] = channel.currentGainDb[j];
        channel.designedQ[j] = channel.currentQ[j];
        channel.designedTypes[j] = channel.types[j];
    }
}

void CorrectionEngine::prepare (double newSampleRate, int newMaxBlockSize)
{
    sampleRate = std::isfinite (newSampleRate) && newSampleRate > 0.0 ? newSampleRate : 48000.0;
    maxBlockSize = std::max (1, newMaxBlockSize);

    modeFadeLength = std::max (1, (int) (modeFadeSeconds * sampleRate));
    modeFadeRemaining = 0;

    for (auto& channel : channels)
    {
        channel.delay.prepare (sampleRate);

        for (auto& section : channel.sections)
            section.clearHistory();

        channel.convolver.prepare();
        for (auto& slot : channel.kernelSlots)
            slot.allocate (PartitionedConvolver::fftSize, PartitionedConvolver::maxPartitions);

        channel.inputBlock.assign ((size_t) PartitionedConvolver::blockSize, 0.0f);
        channel.activeBlock.assign ((size_t) PartitionedConvolver::blockSize, 0.0f);
        channel.fadeBlock.assign ((size_t) PartitionedConvolver::blockSize, 0.0f);
        channel.outputRing.assign ((size_t) ringSize, 0.0f);
    }

    resetConvolution();

    // A route opens from silence, so the path starts at once at full level.
    for (auto& channel : channels)
        channel.inputRampDone = modeFadeLength;

    releaseHold.prepare ((int) (longestReleaseHoldSeconds * sampleRate));
    stageInput.assign ((size_t) maxBlockSize, 0.0);
    fadingStage.assign ((size_t) maxBlockSize, 0.0);
    gainRamp.assign ((size_t) maxBlockSize, 0.0);
    trimRamp.assign ((size_t) maxBlockSize, 0.0);
    activeKernelSlot.store (0, std::memory_order_release);
    kernelReady.store (false, std::memory_order_release);
    designPending = false;

    kernelDesign.prepare();
    kernelLeft.assign ((size_t) LinearPhaseDesign::longestKernel, 0.0);
    kernelRight.assign ((size_t) LinearPhaseDesign::longestKernel, 0.0);
    loadTransform.prepare (loadTransformOrder);

    // Until the first design fades in, linear phase is a pure delay of half the medium length.
    const int identityTaps = firLengthFor (FirQuality::medium, sampleRate);
    fillIdentityKernel (kernelLeft.data(), identityTaps);

    for (int c = 0; c < channelCount; ++c)
    {
        loadIdleSlot (c, kernelLeft.data(), identityTaps);   // slot 1
        auto& channel = channels[(size_t) c];
        channel.convolver.loadKernel (kernelLeft.data(), identityTaps, channel.kernelSlots[0], loadTransform);
    }

    smoothingCoeff = std::clamp (1.0 - std::exp (-(maxBlockSize / sampleRate) / glideTimeConstantSeconds), 0.005, 1.0);
    mixStepPerSample = 1.0 / (passFadeSeconds * sampleRate);
    shortestDelayFade = std::max (1, (int) (shortestDelayFadeSeconds * sampleRate));

    snapToTargets();
}

void CorrectionEngine::applyState (const CorrectionState& state) noexcept
{
    const auto s = CorrectionState::sanitized (state);

    maxDelayMs = std::max (s.delayLeftMs, s.delayRightMs);
    latencyMaxDelayMs.store (maxDelayMs);
    latencyPhaseMode.store (s.phaseMode);
    latencyFirTaps.store (firLengthFor (s.firQuality, sampleRate));

    if (s.phaseMode != phaseMode)
        changePhaseMode (s.phaseMode);

    for (int c = 0; c < channelCount; ++c)
        setChannelTargets (channels[(size_t) c], s, c);

    // The linear path's kernels carry their own state's headroom, so its gain is the trim alone.
    const double headroomDb = s.safeHeadroom ? headroomDbFor (sampleRate, s) : 0.0;
    targetTrimDb = s.bypass ? 0.0 : s.outputDb;
    targetOutputDb = targetTrimDb + headroomDb;
}

void CorrectionEngine::setChannelTargets (ChannelProcessor& channel, const CorrectionState& s, int channelIndex) noexcept
{
    const auto which = channelIndex == 0 ? Channel::left : Channel::right;

    // Bypass keeps the overall delay and removes only the difference between the speakers.
    channel.targetDelayMs = s.bypass ? maxDelayMs : (which == Channel::left ? s.delayLeftMs : s.delayRightMs);

    for (int j = 0; j < slotCount; ++j)
    {
        const auto slot = (size_t) j;
        const bool inForce = isBandInForce (s, j, which);

        // A band that leaves force keeps its frequency, Q and shape and glides its gain to 0 dB.
        double gainDb = 0.0;
        double freqHz = channel.targetFreqHz[slot];
        double q = channel.targetQ[slot];
        auto type = channel.types[slot];

        if (inForce)
        {
            const auto& band = s.bands[slot];
            gainDb = appliedGainDb (s.correctionPct, band.gainDb);
            freqHz = band.freqHz > 0.0 ? band.freqHz : 1000.0;
            q = band.q > 0.0 ? band.q : 1.0;
            type = band.type;
        }

        channel.targetGainDb[slot] = gainDb;
        channel.types[slot] = type;
        channel.targetMix[slot] = inForce || ! isPassShape (type) ? 1.0 : 0.0;

        // A section that is silent now starts at its new frequency and Q instead of gliding there.
        if (std::abs (channel.currentGainDb[slot]) < 0.01)
        {
            channel.currentFreqHz[slot] = freqHz;
            channel.currentQ[slot] = q;
        }

        channel.targetFreqHz[slot] = freqHz > 0.0 ? freqHz : 1000.0;
        channel.targetQ[slot] = q > 0.0 ? q : 1.0;
    }
}

void CorrectionEngine::smoothParameters() noexcept
{
    const double k = smoothingCoeff;

    for (auto& channel : channels)
    {
        glide (channel.currentDelayMs, channel.targetDelayMs, k);

        for (size_t j = 0; j < (size_t) slotCount; ++j)
        {
            glide (channel.currentFreqHz[j], channel.targetFreqHz[j], k);
            glide (channel.currentGainDb[j], channel.targetGainDb[j], k);
            glide (channel.currentQ[j], channel.targetQ[j], k);
        }
    }

    glide (currentOutputDb, targetOutputDb, k);
    glide (currentTrimDb, targetTrimDb, k);
}

void CorrectionEngine::snapToTargets() noexcept
{
    for (auto& channel : channels)
    {
        channel.currentDelayMs = channel.targetDelayMs;
        channel.currentFreqHz = channel.targetFreqHz;
        channel.currentGainDb = channel.targetGainDb;
        channel.currentQ = channel.targetQ;
        channel.currentMix = channel.targetMix;

        // The line reads at its delay from the first sample, instead of fading from no delay.
        channel.delay.setDelay (channel.currentDelayMs * 0.001 * sampleRate);
    }

    currentOutputDb = targetOutputDb;
    appliedOutputGain = std::pow (10.0, currentOutputDb / 20.0);
    currentTrimDb = targetTrimDb;
    appliedTrimGain = std::pow (10.0, currentTrimDb / 20.0);
    releaseHold.reset();
    holdFitsSections = false;
    updateCoefficients();
}

void CorrectionEngine::updateCoefficients() noexcept
{
    for (auto& channel : channels)
    {
        for (size_t j = 0; j < (size_t) slotCount; ++j)
        {
            channel.sections[j].setCoefficients (designAtShare (channel, (int) j, 1.0));
            markDesigned (channel, j);
        }
    }
}

BiquadCoefficients CorrectionEngine::designAtShare (const ChannelProcessor& channel, int slot, double share) const noexcept
{
    const auto j = (size_t) slot;
    auto along = [share] (double from, double to) { return share == 1.0 ? to : from + (to - from) * share; };

    return designBiquad (channel.types[j],
                         clampDesignFrequency (along (channel.startFreqHz[j], channel.currentFreqHz[j]), sampleRate),
                         sampleRate,
                         clampDesignQ (along (channel.startQ[j], channel.currentQ[j])),
                         along (channel.startGainDb[j], channel.currentGainDb[j]));
}

void CorrectionEngine::beginGlideStep() noexcept
{
    for (auto& channel : channels)
    {
        channel.startFreqHz = channel.currentFreqHz;
        channel.startGainDb = channel.currentGainDb;
        channel.startQ = channel.currentQ;
    }

    startOutputDb = currentOutputDb;
    startTrimDb = currentTrimDb;
}

void CorrectionEngine::planGlideStep (int numSamples) noexcept
{
    double knots = 1.0;
    bool sectionsMove = false;

    for (const auto& channel : channels)
    {
        for (size_t j = 0; j < (size_t) slotCount; ++j)
        {
            if (glidesThisCall (channel, j))
            {
                sectionsMove = true;
                knots = std::max (knots, knotsForMove (channel.startFreqHz[j], channel.currentFreqHz[j],
                                                       channel.startGainDb[j], channel.currentGainDb[j],
                                                       channel.startQ[j], channel.currentQ[j], sampleRate));
            }
        }
    }

    blockGlide.plan (numSamples, (int) std::min ((double) BlockGlide::maxKnots, std::ceil (knots)),
                     appliedOutputGain, startOutputDb, currentOutputDb);
    trimGlide.plan (numSamples, 1, appliedTrimGain, startTrimDb, currentTrimDb);
    updateReleaseHold (sectionsMove);
}

void CorrectionEngine::finishSections (ChannelProcessor& channel) noexcept
{
    for (size_t j = 0; j < (size_t) slotCount; ++j)
    {
        if (! isDesignedFor (channel, j))
        {
            channel.sections[j].setCoefficients (designAtShare (channel, (int) j, 1.0));
            markDesigned (channel, j);
        }
    }
}

bool CorrectionEngine::designPendingKernel (const LinearPhaseDesign::ExitTest& shouldExit)
{
    CorrectionState incoming;

    if (designerStates.takeLatest (incoming))
    {
        designerState = CorrectionState::sanitized (incoming);
        designPending = true;
    }

    // The idle slots still hold a kernel the device thread has not faded in.
    if (! designPending || kernelReady.load (std::memory_order_acquire))
        return false;

    const int taps = firLengthFor (designerState.firQuality, sampleRate);

    if ((int) kernelLeft.size() < taps)
        return false;   // not prepared: there are no slots to load

    designsStarted.fetch_add (1, std::memory_order_acq_rel);
    const auto outcome = kernelDesign.design (designerState, sampleRate, taps, kernelLeft.data(), kernelRight.data(), shouldExit);

    if (outcome == LinearPhaseDesign::Outcome::refused)
    {
        designPending = false;   // it would be refused again; wait for the next state
        return false;
    }

    if (outcome != LinearPhaseDesign::Outcome::designed)
        return false;

    // Each kernel carries its own state's safe headroom as a flat gain: a crossfade between two
    // kernels then mixes two signals that each stay within full scale, whenever it comes.
    const double headroomDb = designerState.safeHeadroom ? headroomDbFor (sampleRate, designerState) : 0.0;
    const double headroomGain = std::pow (10.0, headroomDb / 20.0);

    for (auto* kernel : { kernelLeft.data(), kernelRight.data() })
        std::transform (kernel, kernel + taps, kernel, [headroomGain] (double tap) { return tap * headroomGain; });

    for (int c = 0; c < channelCount; ++c)
    {
        // An abandoned load leaves a half-written idle slot, which nothing reads before the
        // next full pass or prepare() rewrites it.
        if (! loadIdleSlot (c, c == 0 ? kernelLeft.data() : kernelRight.data(), taps, shouldExit))
            return false;
    }

    designPending = false;
    kernelReady.store (true, std::memory_order_release);
    designsFinished.fetch_add (1, std::memory_order_acq_rel);
    return true;
}

bool CorrectionEngine::offerKernels (const double* left, const double* right, int length)
{
    if (kernelReady.load (std::memory_order_acquire))
        return false;

    loadIdleSlot (0, left, length);
    loadIdleSlot (1, right, length);
    kernelReady.store (true, std::memory_order_release);
    return true;
}

bool CorrectionEngine::loadIdleSlot (int channelIndex, const double* taps, int length,
                                     const LinearPhaseDesign::ExitTest& shouldExit)
{
    auto& channel = channels[(size_t) channelIndex];
    const int idle = 1 - activeKernelSlot.load (std::memory_order_acquire);
    return channel.convolver.loadKernel (taps, length, channel.kernelSlots[(size_t) idle], loadTransform, shouldExit);
}

double CorrectionEngine::magnitudeAt (int channel, double frequencyHz) const noexcept
{
    const auto side = channel == 0 ? Channel::left : Channel::right;
    return ChannelSections::of (designerState, side, sampleRate).magnitudeAt (frequencyHz, sampleRate);
}

void CorrectionEngine::process (float* left, float* right, int numSamples) noexcept
{
    // Decaying filter tails reach denormal numbers, which are many times slower; the device
    // callbacks flush them already, but the engine must not depend on its caller for that.
    const juce::ScopedNoDenormals noDenormals;

    CorrectionState incoming;

    if (audioStates.takeLatest (incoming))
        applyState (incoming);

    beginGlideStep();
    smoothParameters();

    // Without samples the sections and the gain stay where the last sample left them; the
    // next call moves them on from there.
    if (numSamples < 1)
        return;

    planGlideStep (numSamples);
    float* buffers[channelCount] = { left, right };

    // Read once for both channels, so that both fade the same block and flip together.
    const bool crossfade = phaseMode == PhaseMode::linear && kernelReady.load (std::memory_order_acquire);
    const int activeSlot = activeKernelSlot.load (std::memory_order_acquire);
    bool faded[channelCount] = { false, false };

    for (auto& channel : channels)
    {
        // A delay that moved fades from the old read to the new one over the block, or over
        // several short blocks; the line takes the glide's next value once a fade is done.
        if (channel.delay.getFadeRemaining() == 0)
            channel.delay.setDelay (channel.currentDelayMs * 0.001 * sampleRate, std::max (numSamples, shortestDelayFade));
    }

    // Callers keep to maxBlockSize; a longer block is still handled, in pieces, rather than
    // overrunning the scratch buffers.
    for (int start = 0; start < numSamples; start += maxBlockSize)
    {
        const int count = std::min (maxBlockSize, numSamples - start);
        const PathGains gains { outputGains (start, count), linearPathGains (start, count) };

        for (int c = 0; c < channelCount; ++c)
        {
            // Only the first block completed in this call fades; later ones use the new kernel.
            const bool fadeHere = crossfade && ! faded[c];
            const int slot = faded[c] ? 1 - activeSlot : activeSlot;
            faded[c] = processPiece (channels[(size_t) c], buffers[c] + start, count, start, gains, fadeHere, slot) || faded[c];
        }
    }

    // The linear path does not run the sections; they still end the call designed for it.
    for (auto& channel : channels)
        finishSections (channel);

    appliedOutputGain = blockGlide.getEndGain();
    appliedTrimGain = trimGlide.getEndGain();

    if (modeFadeRemaining > 0)
    {
        modeFadeRemaining = std::max (0, modeFadeRemaining - numSamples);

        // The linear path has faded out: its history goes, and it starts from silence next time.
        if (modeFadeRemaining == 0 && phaseMode == PhaseMode::minimum)
            resetConvolution();
    }

    // Flip first: the designer may write the old slot as soon as it sees the flag cleared.
    if (crossfade && (faded[0] || faded[1]))
    {
        activeKernelSlot.store (1 - activeSlot, std::memory_order_release);
        kernelReady.store (false, std::memory_order_release);
    }
}

const double* CorrectionEngine::outputGains (int first, int count) noexcept
{
    double* gains = gainRamp.data();
    blockGlide.fillGains (gains, first, count);

    if (blockGlide.isSteady() && releaseHold.skipSteady (gains[0], count))
        return gains;

    for (int i = 0; i < count; ++i)
        gains[i] = releaseHold.process (gains[i]);

    return gains;
}

const double* CorrectionEngine::linearPathGains (int first, int count) noexcept
{
    if (phaseMode != PhaseMode::linear && modeFadeRemaining <= first)
        return nullptr;   // the linear path does not run in this piece

    trimGlide.fillGains (trimRamp.data(), first, count);
    return trimRamp.data();
}

void CorrectionEngine::updateReleaseHold (bool sectionsMove) noexcept
{
    // Only the cascade lags its coefficients.
    if (phaseMode != PhaseMode::minimum && modeFadeRemaining == 0)
    {
        releaseHold.setHold (0);
        holdFitsSections = false;
        return;
    }

    // A settled cascade keeps its hold, so that it is in place when a boost starts to decay.
    if (! sectionsMove && holdFitsSections)
        return;

    // Each sounding section delays what passes through it by up to about its poles' time
    // constants, and a boost's decay passes through every section after it.
    double longest = 0.0;

    for (const auto& channel : channels)
    {
        double sum = 0.0;

        for (size_t j = 0; j < (size_t) slotCount; ++j)
        {
            const bool gainShape = ! isPassShape (channel.types[j]);
            const bool sounding = gainShape ? channel.startGainDb[j] != 0.0 || channel.currentGainDb[j] != 0.0
                                            : channel.currentMix[j] > 0.0;
            if (sounding)
                sum += sectionLag (channel.sections[j]);
        }

        longest = std::max (longest, sum);
    }

    // While the sections move the hold only grows: the decay still under way came from
    // sections that lagged more than they do now.
    const int hold = (int) std::min ((double) releaseHold.getLongestHold(), std::ceil (longest));
    releaseHold.setHold (sectionsMove ? std::max (hold, releaseHold.getTargetHold()) : hold);
    holdFitsSections = ! sectionsMove;
}

bool CorrectionEngine::processPiece (ChannelProcessor& channel, float* block, int count, int first,
                                     const PathGains& gains, bool crossfade, int activeSlot) noexcept
{
    const auto otherMode = phaseMode == PhaseMode::linear ? PhaseMode::minimum : PhaseMode::linear;
    double* stage = stageInput.data();

    for (int i = 0; i < count; ++i)
        stage[i] = channel.delay.processSample (block[i]);

    const int fadeLeft = std::max (0, modeFadeRemaining - first);
    double* old = fadingStage.data();

    if (fadeLeft > 0)
    {
        std::copy (stage, stage + count, old);
        runPath (otherMode, channel, old, count, first, false, activeSlot);
    }

    const bool faded = runPath (phaseMode, channel, stage, count, first, crossfade, activeSlot);
    const double* own = gains.of (phaseMode);
    const int fading = std::min (count, fadeLeft);

    // Each path brings its own headroom, so the two are mixed after their own gains: a mix of
    // two signals within full scale stays within it.
    if (fading > 0)
    {
        const double* others = gains.of (otherMode);

        for (int i = 0; i < fading; ++i)
        {
            const double incoming = 1.0 - (double) (fadeLeft - (i + 1)) / modeFadeLength;
            block[i] = static_cast<float> (incoming * stage[i] * own[i] + (1.0 - incoming) * old[i] * others[i]);
        }
    }

    for (int i = fading; i < count; ++i)
        block[i] = static_cast<float> (stage[i] * own[i]);

    return faded;
}

bool CorrectionEngine::runPath (PhaseMode mode, ChannelProcessor& channel, double* samples, int count, int first,
                                bool crossfade, int activeSlot) noexcept
{
    if (mode == PhaseMode::linear)
        return processLinearPhase (channel, samples, count, crossfade, activeSlot);

    runSections (channel, samples, count, first);
    return false;
}

void CorrectionEngine::runSections (ChannelProcessor& channel, double* stage, int count, int first) noexcept
{
    // Each section filters the whole piece in turn, which gives the same samples as running
    // every sample through all sections. `first` is the piece's place in the call.
    for (size_t j = 0; j < (size_t) slotCount; ++j)
    {
        auto& s = channel.sections[j];
        double& mix = channel.currentMix[j];
        const double mixTarget = channel.targetMix[j];
        const bool mixing = mix != 1.0 || mixTarget != 1.0;

        if (isDesignedFor (channel, j))
        {
            if (mixing)
                runMovingSection<true> (s, stage, count, { s.b0, s.b1, s.b2, s.a1, s.a2 }, count, mix, mixTarget, mixStepPerSample);
            else
                runSteadySection (s, stage, count);
            continue;
        }

        // Designed at each knot, interpolated in between. A section whose values did not move
        // in this call (a new shape, or a step taken by a call without samples) reaches its
        // design in one stretch over the call.
        int knot = glidesThisCall (channel, j) ? blockGlide.intervalOf (first) + 1 : blockGlide.getKnots();

        for (int done = 0; done < count; ++knot)
        {
            const int stepsToKnot = blockGlide.positionOf (knot) - (first + done);
            const int span = std::min (stepsToKnot, count - done);
            const auto to = designAtShare (channel, (int) j, blockGlide.shareAt (knot));

            if (mixing)
                runMovingSection<true> (s, stage + done, span, to, stepsToKnot, mix, mixTarget, mixStepPerSample);
            else
                runMovingSection<false> (s, stage + done, span, to, stepsToKnot, mix, mixTarget, mixStepPerSample);

            done += span;
        }

        if (first + count == blockGlide.getSamples())
            markDesigned (channel, j);
    }
}

bool CorrectionEngine::processLinearPhase (ChannelProcessor& channel, double* samples, int count,
                                           bool crossfade, int activeSlot) noexcept
{
    bool faded = false;
    const int blockSize = PartitionedConvolver::blockSize;

    for (int i = 0; i < count; ++i)
    {
        auto x = (float) samples[i];

        if (channel.inputRampDone < modeFadeLength)
            x = (float) (x * (double) ++channel.inputRampDone / modeFadeLength);

        channel.inputBlock[(size_t) channel.blockFill] = x;

        if (++channel.blockFill == blockSize)
        {
            channel.blockFill = 0;
            const bool fadeThis = crossfade && ! faded;
            completeBlock (channel, fadeThis, faded ? 1 - activeSlot : activeSlot);
            faded = faded || fadeThis;
        }

        samples[i] = channel.outputRing[(size_t) channel.ringRead];
        --channel.ringPending;
        channel.ringRead = (channel.ringRead + 1) % ringSize;
    }

    return faded;
}

void CorrectionEngine::completeBlock (ChannelProcessor& channel, bool fade, int activeSlot) noexcept
{
    const auto& active = channel.kernelSlots[(size_t) activeSlot];
    const auto* incoming = fade ? &channel.kernelSlots[(size_t) (1 - activeSlot)] : nullptr;
    channel.convolver.processBlock (channel.inputBlock.data(), active, incoming,
                                    channel.activeBlock.data(), channel.fadeBlock.data());

    constexpr float step = 1.0f / (float) PartitionedConvolver::blockSize;

    for (int j = 0; j < PartitionedConvolver::blockSize; ++j)
    {
        int p = channel.ringRead + channel.ringPending;
        if (p >= ringSize)
            p -= ringSize;

        const float a = channel.activeBlock[(size_t) j];

        if (fade)
        {
            const float w = (float) (j + 1) * step;
            channel.outputRing[(size_t) p] = (1.0f - w) * a + w * channel.fadeBlock[(size_t) j];
        }
        else
        {
            channel.outputRing[(size_t) p] = a;
        }

        ++channel.ringPending;
    }
}

void CorrectionEngine::resetConvolution() noexcept
{
    for (auto& channel : channels)
    {
        channel.convolver.reset();
        std::fill (channel.inputBlock.begin(), channel.inputBlock.end(), 0.0f);
        std::fill (channel.outputRing.begin(), channel.outputRing.end(), 0.0f);
        channel.blockFill = 0;
        channel.ringRead = 0;
        channel.ringPending = PartitionedConvolver::blockSize;
        channel.inputRampDone = 0;
    }
}

void CorrectionEngine::changePhaseMode (PhaseMode newMode) noexcept
{
    phaseMode = newMode;

    // A change back while the last one still fades reverses that fade: both paths are still
    // running, so neither starts again.
    if (modeFadeRemaining > 0)
    {
        modeFadeRemaining = modeFadeLength - modeFadeRemaining;
        return;
    }

    modeFadeRemaining = modeFadeLength;

    if (newMode == PhaseMode::linear)
        resetConvolution();
    else
        for (auto& channel : channels)
            for (auto& section : channel.sections)
                section.clearHistory();
}

} // namespace brindle
