#pragma once

namespace brindle
{

/** The drift control loop between two device clocks: a PI controller on the smoothed queue
    fill that nudges the resampler's step so that the fill holds its target. A fuller queue
    than the target gives a positive correction (input drawn faster), an emptier one a negative
    one; the correction is limited to +-limit, with the integrator held back so it does not
    wind up while the limit holds.

    Threading: set by the router on the message thread while no device runs; then used only by
    the output device's callback. */
struct DriftController
{
    double sampleRate = 48000.0;   // the output device's rate: the loop's clock
    double targetFill = 0.0;       // frames
    double kp = 0.0;               // per frame of error
    double ki = 0.0;               // per frame x second of integrated error
    double integrator = 0.0;       // frame x second
    double ratio = 1.0;            // 1 + the last correction
    double limit = 0.002;
    double tau = 2.0;              // seconds, fill smoothing
    double smoothedFill = -1.0;    // negative: not yet measured

    /** [message thread] Gains for a loop at ω = 0.1π rad/s on the output clock, fresh state. */
    void configure (double outputRate, double targetFillFrames) noexcept;

    /** [message thread] Forgets the measured fill and the integrated error. */
    void reset() noexcept;

    /** [output callback] One block of `frames` frames with the queue at `fill`: returns the
        correction u (the step is (1 + u) times the nominal ratio). */
    double update (double fill, int frames) noexcept;
};

} // namespace brindle
