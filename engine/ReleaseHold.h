#pragma once

#include <cstdint>
#include <vector>

namespace brindle
{

/** Holds a gain down while what it makes up for catches up.

    The gain given for each sample is the lowest of the gains asked for over the last `hold`
    samples: a fall passes at once, a rise arrives `hold` samples late. The engine holds the
    output gain this way while the cascade's boost decays, since a resonant section's output
    follows its new coefficients only as fast as its poles let it; a gain that rose in step
    with the coefficients would lift the tone before the boost has gone.

    The hold moves by at most one sample per sample towards what setHold() asked, so the gain
    given never steps, whatever the hold does. A running minimum over the window: the entries
    kept are the samples not outdone by a lower gain since, oldest first.

    Threading: prepare() on the message thread while no device runs; everything else on the
    device thread, without allocating. */
class ReleaseHold
{
public:
    /** [message thread] Room for holds of up to `longestHold` samples; forgets everything. */
    void prepare (int longestHold);

    /** [device thread] Forgets the gains asked for so far: the next one passes as it is. */
    void reset() noexcept;

    /** [device thread] The hold to move towards, in samples, clamped to 0..longest; taken at
        once while nothing is held yet. */
    void setHold (int samples) noexcept;

    /** [device thread] Takes the gain asked for one sample, gives the gain to use. */
    double process (double gain) noexcept;

    /** [device thread] `samples` samples that all ask for `gain`, taken at once when `gain`
        is already the lowest held, so that each of them is given `gain`: true when they were
        taken, false (nothing taken) when each must go through process(). */
    bool skipSteady (double gain, int samples) noexcept;

    int getHold() const noexcept { return hold; }
    int getTargetHold() const noexcept { return targetHold; }
    int getLongestHold() const noexcept { return longest; }

private:
    struct Entry
    {
        std::int64_t at;
        double gain;
    };

    Entry& entry (std::size_t index) noexcept { return ring[(head + index) % ring.size()]; }
    void moveHold (int samples) noexcept;

    std::vector<Entry> ring;
    std::size_t head = 0, count = 0;
    std::int64_t now = 0;
    int hold = 0, targetHold = 0, longest = 0;
};

} // namespace brindle
