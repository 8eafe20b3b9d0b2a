#include "PathLatency.h"

#include "DriftResampler.h"
#include "FirLength.h"
#include "FractionalDelay.h"

#include <algorithm>

namespace brindle
{

double engineDelaySamples (double maxDelayMs, double engineRate, PhaseMode phaseMode, int firTaps) noexcept
{
    double samples = maxDelayMs * 0.001 * engineRate + FractionalDelay::centreSamples;

    if (phaseMode == PhaseMode::linear)
        samples += firTaps * 0.5 + firBlockSize;

    return samples;
}

double pathLatencyMs (const PathLatencyInputs& in) noexcept
{
    const double engineSamples = engineDelaySamples (in.maxDelayMs, in.engineRate, in.phaseMode, in.firTaps);

    double inputBufferMs = 0.0, queueMs = 0.0;

    if (! in.duplex)
    {
        inputBufferMs = in.inputBufferFrames * 1000.0 / (in.inputRate > 1.0 ? in.inputRate : 1.0);

        queueMs = (in.targetFrames + DriftResampler::delayFrames) * 1000.0 / std::max (in.inputRate, 1.0);
    }

    // Summed in this order, so the figure is the same to the last bit wherever it is computed.
    return engineSamples * 1000.0 / in.outputRate + (queueMs + inputBufferMs)
         + in.outputBufferFrames * 1000.0 / in.outputRate;
}

} // namespace brindle
