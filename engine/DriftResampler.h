#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace brindle
{

class AudioFifo;

/** Pulls frames out of the queue between two devices and plays them at a variable step: a
    polyphase windowed-sinc interpolator (32 taps, 1024 phases, coefficients interpolated
    linearly between adjacent phases) reading the input at `step` input frames per output frame.
    The step is the nominal ratio of the two rates, nudged by the drift control.

    The interpolator is centred between taps 15 and 16, so it keeps 15 frames of history before
    the read position and needs 16 after it. After reset() the history holds 31 frames of
    silence with the read position on the sixteenth, which makes the resampler add exactly 16
    frames of delay at a step of 1; the latency estimate counts them.

    The passband follows the nominal ratio given to prepare(): for an input faster than the
    output it shrinks to the output's band, otherwise the sinc is not narrowed. The table is not
    rebuilt when the step moves.

    Threading: prepare() and reset() run on the message thread while no device runs; after
    that process() belongs to the output device's thread, where it allocates nothing, takes no
    lock and computes no trigonometric function. */
class DriftResampler
{
public:
    static constexpr int tapCount = 32;
    static constexpr int phaseCount = 1024;
    static constexpr int rowCount = phaseCount + 1;     // one extra row so that row + 1 always exists
    static constexpr int tapsBeforeCentre = 15;         // history kept before the read position
    static constexpr int delayFrames = 16;              // delay added at a step of 1
    static constexpr double smallestRatio = 1.0 / 64.0;
    static constexpr double largestRatio = 64.0;

    /** No storage; ratio and largest step 1; process() does nothing until prepared. */
    DriftResampler() = default;

    /** [message thread, devices stopped] Sizes the history for output blocks of up to
        `maxBlockFrames` at steps of up to `nominalRatio` x max(`largestRatio`, 1) (the nominal
        ratio clamped to 1/64..64), builds the coefficient table and resets. */
    void prepare (int maxBlockFrames, double nominalRatio, double largestRatio);

    /** [message thread, devices stopped] Clears the history to 31 frames of silence with the
        read position on the sixteenth. */
    void reset() noexcept;

    /** [output device thread] Fills `frames` frames of each of the two `outputs` with the input
        read at `step` (clamped to 1/64..largest step; a step that is not finite plays at the
        nominal ratio), pulling from `queue` what it needs. Returns how many of the frames it
        needed were missing from the queue and were played as silence. Blocks longer than the
        prepared `maxBlock` are processed in pieces; a null output skips its channel. Does
        nothing and returns 0 for fewer than 1 frame or before prepare(). */
    int process (AudioFifo& queue, float* const* outputs, int frames, double step) noexcept;

    double getRatio() const noexcept { return ratio; }
    double getMaxStep() const noexcept { return maxStep; }
    double getPosition() const noexcept { return position; }
    int getCapacity() const noexcept { return capacity; }
    int getCount() const noexcept { return count; }
    int getMaxBlock() const noexcept { return maxBlock; }

    /** Coefficient `tap` of phase row `row` (0..1024), for tests. */
    double getCoefficient (int row, int tap) const noexcept { return table[(std::size_t) (row * tapCount + tap)]; }

private:
    void buildTable();
    int processPiece (AudioFifo& queue, float* const* outputs, int frames, double step) noexcept;
    int pullInto (AudioFifo& queue, int deficit) noexcept;
    void interpolate (float* const* outputs, int frames, double step) noexcept;
    void discardConsumed() noexcept;

    std::vector<double> table;                                // rowCount x tapCount, phase-major
    std::array<std::vector<float>, 2> history;                // `capacity` frames per channel
    std::array<float*, 2> pullPointers {};                    // where pulled frames go
    double position = 0.0;                                    // read position in history, frames
    double ratio = 1.0;
    double maxStep = 1.0;
    std::int32_t channels = 2;
    std::int32_t capacity = 0;
    std::int32_t count = 0;                                   // frames 0..count - 1 are valid
    std::int32_t maxBlock = 0;
};

} // namespace brindle
