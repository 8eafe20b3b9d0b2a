#pragma once

#include <cstddef>
#include <vector>

namespace brindle
{

/** The spectra of one FIR kernel, cut into partitions, as the PartitionedConvolver multiplies
    them: partition p's 2048-point spectrum occupies values p x fftSize to p x fftSize +
    fftSize - 1 of `re` and `im`.

    Constructed empty. The engine sizes every slot once, for the most partitions a kernel may
    use whatever the quality tier, so that loading a kernel never resizes it. Rows at and
    above `partitions` hold whatever an earlier, longer kernel left there and are never read.

    Threading: sized on the message thread while no device runs; written by the convolver's
    kernel loading on the thread that owns the slot at that time, read by the device thread
    only while no one writes it (the engine's kernel hand-over decides who holds which slot). */
struct KernelSlot
{
    std::vector<float> re, im;
    int partitions = 0;
    int fftSize = 0;

    /** [message thread] Room for maxPartitions spectra of fftSize points, all zero; no
        partition loaded. */
    void allocate (int newFftSize, int maxPartitions)
    {
        fftSize = newFftSize;
        partitions = 0;
        re.assign ((std::size_t) newFftSize * (std::size_t) maxPartitions, 0.0f);
        im.assign ((std::size_t) newFftSize * (std::size_t) maxPartitions, 0.0f);
    }
};

} // namespace brindle
