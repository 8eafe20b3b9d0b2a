#pragma once

#include "FirLength.h"
#include "FloatFft.h"
#include "KernelSlot.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace brindle
{

/** Real-time convolution with an FIR kernel of up to 65536 taps by uniformly partitioned
    overlap-save: the kernel is cut into partitions of 1024 taps, each transformed once when
    it is loaded into a KernelSlot; every 1024-sample input block's 2048-sample window is
    transformed once and kept in a frequency-domain delay line of 64 rows, and every output
    block is one inverse transform of the sum of partition spectra times the matching past
    input spectra. All 2048 bins of these complex transforms of real data are kept and
    multiplied. The delay line keeps 64 rows whatever the kernel's length, so a longer kernel
    never needs new storage.

    Output sample j of block b is the sum over taps k of kernel[k] x input[1024 b + j - k],
    with input before the last reset() taken as silence.

    Threading: prepare() runs on the message thread while no device and no designer runs.
    processBlock(), multiplyAccumulate() and reset() run on the device thread and allocate
    nothing and take no lock. loadKernel() reads only the convolver's constants and writes only
    the slot it is given, so it may run on another thread while the device thread processes
    blocks, as long as the device thread does not read that slot meanwhile. */
class PartitionedConvolver
{
public:
    static constexpr int blockOrder = 10;
    static constexpr int blockSize = 1 << blockOrder;
    static constexpr int fftSize = 2 * blockSize;
    static constexpr int maxPartitions = 64;
    static_assert (blockSize == firBlockSize, "the engine's kernels are whole blocks");

    /** [message thread] Builds the transform, sizes every buffer, then reset(). */
    void prepare();

    /** [device thread] Clears the history (the delay line and the input window): the next
        block is convolved as if all earlier input had been silence. Slots are not touched. */
    void reset() noexcept;

    /** [designer or message thread] Cuts the kernel's first 65536 taps into partitions and
        stores their spectra, computed in double precision and rounded, in the slot. The
        transform is a prepared 2048-point (order blockOrder + 1) double-precision forward
        transform: anything with forward (double* re, double* im). Returns false, leaving the
        slot as it was, when the slot was never sized for this convolver. A negative length
        counts as 0; a kernel of 0 taps leaves 0 partitions, and its output is silence.
        The exit test, when given, is asked before each partition; when it says stop the load
        is abandoned, false is returned and the slot is left half written. */
    template <typename DoubleTransform>
    bool loadKernel (const double* kernel, int length, KernelSlot& slot, DoubleTransform& transform,
                     const std::function<bool()>& shouldExit = {}) const;

    /** Partitions that a kernel of `length` taps uses: rounded up, at most maxPartitions. */
    static int partitionsFor (int length) noexcept;

    /** [device thread] The spectral sum of one output block through the slot, into two arrays
        of fftSize values: partition p times the spectrum of the window p blocks older than the
        newest. */
    void multiplyAccumulate (const KernelSlot& slot, float* outRe, float* outIm) const noexcept;

    /** [any thread] The same sum against any delay line laid out like this convolver's
        (maxPartitions rows of fftSize values), whose newest row is newestRow. */
    static void multiplyAccumulate (const KernelSlot& slot, const float* historyRe, const float* historyIm,
                                    int newestRow, float* outRe, float* outIm) noexcept;

    /** [any thread] Both sums at once, each exactly as multiplyAccumulate gives it, reading the
        delay line once for the two: what a crossfading block needs. The slots may hold
        kernels of different lengths. */
    static void multiplyAccumulateBoth (const KernelSlot& slot, const KernelSlot& other,
                                        const float* historyRe, const float* historyIm, int newestRow,
                                        float* outRe, float* outIm, float* otherRe, float* otherIm) noexcept;

    /** [device thread] One full input block of blockSize samples in; blockSize samples out
        through the active slot into activeOut and, when incoming is given, blockSize through
        it into incomingOut (which may then not be null). */
    void processBlock (const float* block, const KernelSlot& active, const KernelSlot* incoming,
                       float* activeOut, float* incomingOut) noexcept;

    /** The row that the next block's spectrum goes to, 0 to maxPartitions - 1. */
    int getSpectrumIndex() const noexcept { return spectrumIndex; }
    const FloatFft& getFft() const noexcept { return fft; }

private:
    void transformBack (float* re, float* im, float* out) noexcept;

    FloatFft fft;
    std::vector<float> spectraRe, spectraIm;   // maxPartitions rows of fftSize: the delay line
    int spectrumIndex = 0;
    std::vector<float> inputWindow;            // the previous block, then the newest
    std::vector<float> workRe, workIm;
    std::vector<float> sumRe, sumIm;           // through the active slot
    std::vector<float> fadeSumRe, fadeSumIm;   // through the incoming slot
};

inline int PartitionedConvolver::partitionsFor (int length) noexcept
{
    if (length <= 0)
        return 0;
    return std::min ((length - 1) / blockSize + 1, maxPartitions);
}

template <typename DoubleTransform>
bool PartitionedConvolver::loadKernel (const double* kernel, int length, KernelSlot& slot,
                                       DoubleTransform& transform, const std::function<bool()>& shouldExit) const
{
    if (slot.re.size() < (size_t) fftSize * maxPartitions || slot.im.size() < (size_t) fftSize * maxPartitions)
        return false;

    const int count = partitionsFor (length);
    std::vector<double> bufferRe ((size_t) fftSize), bufferIm ((size_t) fftSize);

    for (int p = 0; p < count; ++p)
    {
        if (shouldExit && shouldExit())
            return false;

        std::fill (bufferRe.begin(), bufferRe.end(), 0.0);
        std::fill (bufferIm.begin(), bufferIm.end(), 0.0);

        // Each partition is zero-padded to twice its length, so that the overlap-save window
        // of two blocks yields one block of linear convolution.
        const int first = p * blockSize;
        const int taps = std::min (blockSize, length - first);
        std::copy (kernel + first, kernel + first + taps, bufferRe.begin());

        transform.forward (bufferRe.data(), bufferIm.data());

        const size_t row = (size_t) p * fftSize;
        for (int j = 0; j < fftSize; ++j)
        {
            slot.re[row + (size_t) j] = (float) bufferRe[(size_t) j];
            slot.im[row + (size_t) j] = (float) bufferIm[(size_t) j];
        }
    }

    slot.partitions = count;
    slot.fftSize = fftSize;
    return true;
}

} // namespace brindle
