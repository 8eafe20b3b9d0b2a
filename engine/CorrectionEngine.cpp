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

    // The shortest crossfade of a moving speaker delay. Between two reads of a tone the fade
    // itself adds a slope of up to twice the tone's amplitude over its length, so it must be
    // long against the tone's period; device blocks of a few dozen samples are not.
    constexpr double shortestDelayFadeSeconds = 0.005;

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
}

void CorrectionEngine::prepare (double newSampleRate, int newMaxBlockSize)
{
    sampleRate = std::isfinite (newSampleRate) && newSampleRate > 0.0 ? newSampleRate : 48000.0;
    maxBlockSize = std::max (1, newMaxBlockSize);

    for (auto& channel : channels)
    {
        channel.delay.prepare (sampleRate);

        for (auto& section : channel.sections)
            section.clearHistory();
    }

    stageInput.assign ((size_t) maxBlockSize, 0.0);
    designPending = false;

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
    // Until the linear-phase path exists a linear state is realised by the cascade, so the
    // latency it adds is the cascade's.
    latencyPhaseMode.store (PhaseMode::minimum);
    latencyFirTaps.store (firLengthFor (s.firQuality, sampleRate));

    phaseMode = s.phaseMode;

    for (int c = 0; c < channelCount; ++c)
        setChannelTargets (channels[(size_t) c], s, c);

    const double headroomDb = s.safeHeadroom ? headroomDbFor (sampleRate, s) : 0.0;
    targetOutputDb = s.bypass ? 0.0 : s.outputDb + headroomDb;
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
    }

    currentOutputDb = targetOutputDb;
    appliedOutputGain = std::pow (10.0, currentOutputDb / 20.0);
    updateCoefficients();
}

void CorrectionEngine::updateCoefficients() noexcept
{
    for (auto& channel : channels)
        for (size_t j = 0; j < (size_t) slotCount; ++j)
            channel.sections[j].setCoefficients (designBiquad (channel.types[j],
                                                               clampDesignFrequency (channel.currentFreqHz[j], sampleRate),
                                                               sampleRate,
                                                               clampDesignQ (channel.currentQ[j]),
                                                               channel.currentGainDb[j]));
}

bool CorrectionEngine::designPendingKernel() noexcept
{
    CorrectionState incoming;

    if (designerStates.takeLatest (incoming))
    {
        designerState = CorrectionState::sanitized (incoming);
        designPending = true;
    }

    return false;
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

    smoothParameters();
    updateCoefficients();

    if (numSamples < 1)
        return;

    // The gain glides once per block; inside the block it ramps from the last block's value
    // to the new one.
    const double startGain = appliedOutputGain;
    const double endGain = std::pow (10.0, currentOutputDb / 20.0);
    float* buffers[channelCount] = { left, right };

    for (int c = 0; c < channelCount; ++c)
    {
        auto& channel = channels[(size_t) c];

        // A delay that moved fades from the old read to the new one over the block, or over
        // several short blocks; the line takes the glide's next value once a fade is done.
        if (channel.delay.getFadeRemaining() == 0)
            channel.delay.setDelay (channel.currentDelayMs * 0.001 * sampleRate, std::max (numSamples, shortestDelayFade));

        runCascade (channel, buffers[c], numSamples, startGain, endGain);
    }

    appliedOutputGain = endGain;
}

void CorrectionEngine::runCascade (ChannelProcessor& channel, float* samples, int numSamples,
                                   double startGain, double endGain) noexcept
{
    const double gainStep = (endGain - startGain) / numSamples;

    // Callers keep to maxBlockSize; a longer block is still handled, in pieces, rather than
    // overrunning the scratch buffer. Within a piece each section filters the whole piece in
    // turn, which gives the same samples as running every sample through all sections.
    for (int start = 0; start < numSamples; start += maxBlockSize)
    {
        const int count = std::min (maxBlockSize, numSamples - start);
        float* block = samples + start;
        double* stage = stageInput.data();

        for (int i = 0; i < count; ++i)
            stage[i] = channel.delay.processSample (block[i]);

        for (int j = 0; j < slotCount; ++j)
        {
            if (channel.currentMix[(size_t) j] == 1.0 && channel.targetMix[(size_t) j] == 1.0)
            {
                auto& s = channel.sections[(size_t) j];
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
            else
            {
                runFadingSection (channel, j, stage, count);
            }
        }

        for (int i = 0; i < count; ++i)
            block[i] = static_cast<float> (stage[i] * (startGain + gainStep * (start + i + 1)));
    }
}

void CorrectionEngine::runFadingSection (ChannelProcessor& channel, int slot, double* samples, int numSamples) noexcept
{
    // The section keeps running, so its history is current when it fades back in.
    auto& s = channel.sections[(size_t) slot];
    double mix = channel.currentMix[(size_t) slot];
    const double target = channel.targetMix[(size_t) slot];

    for (int i = 0; i < numSamples; ++i)
    {
        const double x = samples[i];
        const double y = s.b0 * x + s.b1 * s.x1 + s.b2 * s.x2 - s.a1 * s.y1 - s.a2 * s.y2;
        s.x2 = s.x1; s.x1 = x; s.y2 = s.y1; s.y1 = y;

        mix = moveTowards (mix, target, mixStepPerSample);
        samples[i] = mix * y + (1.0 - mix) * x;
    }

    channel.currentMix[(size_t) slot] = mix;
}

} // namespace brindle
