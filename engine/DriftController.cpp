#include "DriftController.h"

#include <cmath>

namespace brindle
{

void DriftController::configure (double outputRate, double targetFillFrames) noexcept
{
    sampleRate = outputRate > 0.0 ? outputRate : 48000.0;
    targetFill = targetFillFrames;
    kp = 0.6283185307179586 / sampleRate;    // 2ω / fs
    ki = 0.09869604401089357 / sampleRate;   // ω² / fs
    limit = 0.002;
    tau = 2.0;
    reset();
}

void DriftController::reset() noexcept
{
    integrator = 0.0;
    ratio = 1.0;
    smoothedFill = -1.0;
}

double DriftController::update (double fill, int frames) noexcept
{
    const double dt = frames / sampleRate;

    if (smoothedFill < 0.0)
        smoothedFill = fill;

    smoothedFill += (1.0 - std::exp (-dt / tau)) * (fill - smoothedFill);

    const double error = smoothedFill - targetFill;
    integrator += error * dt;

    double u = ki * integrator + kp * error;

    if (u > limit || u < -limit)
    {
        u = u > limit ? limit : -limit;

        // Anti-windup: keep the integrator where it yields exactly the clamped correction.
        if (ki > 0.0)
            integrator = (u - kp * error) / ki;
    }

    ratio = 1.0 + u;
    return u;
}

} // namespace brindle
