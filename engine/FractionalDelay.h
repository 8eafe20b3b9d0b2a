#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindle
{

/** A delay line with sub-sample precision: a ring of past samples read through a 32-tap
    Blackman-windowed sinc interpolator centred 15 samples into the past. The line therefore
    always adds 15 samples to the delay asked for; the engine's latency figures count them.

    The taps are rebuilt only when the fractional part of the delay moves (by more than 1e-12),
    so a steady delay costs one comparison per call and a gliding one at most one rebuild.
    A delay that moves can crossfade from the old read to the new one over a number of samples
    instead of jumping, which would click.

    Threading: prepare() runs on the message thread while no device runs; after that only the
    device thread that runs the engine calls setDelay() and processSample(), which allocate
    nothing. Until it is first prepared the line is the identity. */
class FractionalDelay
{
public:
    static constexpr int tapCount = 32;
    static constexpr int centreSamples = 15;

    /** Size of the ring for a sample rate: enough for 21 ms plus the interpolator and margin. */
    static std::size_t ringSizeFor (double sampleRate) noexcept;

    /** [message thread, devices closed] Sizes the ring for the rate (which must be above 0),
        clears all history and sets a delay of 0. */
    void prepare (double sampleRate);

    /** [device thread] The delay in samples, excluding the fixed 15. Clamped to 0..largest
        delay; a value that is not a number is taken as 0. When the read moves and fadeSamples
        is above 0, the next fadeSamples outputs fade linearly from the old read to the new
        one, the last of them wholly the new; with 0 the read jumps. A move during a fade
        starts the new fade from the read the unfinished one was heading to. */
    void setDelay (double samples, int fadeSamples = 0) noexcept;

    /** [device thread] Writes one sample and returns the delayed, interpolated one. */
    float processSample (float input) noexcept;

    /** Outputs still to come before a crossfade reaches the new read; 0 when none runs. */
    int getFadeRemaining() const noexcept { return fadeRemaining; }

    /** The largest delay setDelay accepts, in samples: 0 until prepared. */
    int getLargestDelay() const noexcept;

    int getIntegerDelay() const noexcept { return integerDelay; }
    double getLastFraction() const noexcept { return lastFraction; }
    const std::array<double, tapCount>& getTaps() const noexcept { return taps; }
    std::size_t getRingSize() const noexcept { return ring.size(); }

private:
    using Taps = std::array<double, tapCount>;

    void rebuildTaps (double fraction) noexcept;
    double readAt (std::size_t newest, std::int32_t delay, const Taps& weights) const noexcept;

    std::vector<float> ring;
    Taps taps {};
    double lastFraction = -1.0;
    std::int32_t integerDelay = 0;
    std::size_t writeIndex = 0;

    // The read a crossfade comes from, and how far the fade has gone.
    Taps fadeTaps {};
    std::int32_t fadeIntegerDelay = 0;
    int fadeLength = 0;
    int fadeRemaining = 0;
};

} // namespace brindle
