#include "PartitionedConvolver.h"

#include "SpectrumProducts.h"

#include <algorithm>

namespace brindle
{

namespace
{
    int rowOfPartition (int newestRow, int partition) noexcept
    {
        // Partition p meets the window p blocks older than the newest, wrapping round the line.
        const int row = newestRow - partition;
        return row < 0 ? row + PartitionedConvolver::maxPartitions : row;
    }
}

void PartitionedConvolver::prepare()
{
    fft.prepare (blockOrder + 1);

    const size_t lineSize = (size_t) fftSize * maxPartitions;
    spectraRe.assign (lineSize, 0.0f);
    spectraIm.assign (lineSize, 0.0f);

    for (auto* buffer : { &inputWindow, &workRe, &workIm, &sumRe, &sumIm, &fadeSumRe, &fadeSumIm })
        buffer->assign ((size_t) fftSize, 0.0f);

    reset();
}

void PartitionedConvolver::reset() noexcept
{
    std::fill (spectraRe.begin(), spectraRe.end(), 0.0f);
    std::fill (spectraIm.begin(), spectraIm.end(), 0.0f);
    std::fill (inputWindow.begin(), inputWindow.end(), 0.0f);
    spectrumIndex = 0;
}

void PartitionedConvolver::multiplyAccumulate (const KernelSlot& slot, float* outRe, float* outIm) const noexcept
{
    multiplyAccumulate (slot, spectraRe.data(), spectraIm.data(), spectrumIndex, outRe, outIm);
}

void PartitionedConvolver::multiplyAccumulate (const KernelSlot& slot, const float* historyRe, const float* historyIm,
                                               int newestRow, float* outRe, float* outIm) noexcept
{
    std::fill_n (outRe, fftSize, 0.0f);
    std::fill_n (outIm, fftSize, 0.0f);

    for (int p = 0; p < slot.partitions; ++p)
    {
        const size_t kernelAt = (size_t) p * fftSize;
        const size_t historyAt = (size_t) rowOfPartition (newestRow, p) * fftSize;
        accumulateProducts (slot.re.data() + kernelAt, slot.im.data() + kernelAt,
                            historyRe + historyAt, historyIm + historyAt,
                            outRe, outIm, fftSize);
    }
}

void PartitionedConvolver::multiplyAccumulateBoth (const KernelSlot& slot, const KernelSlot& other,
                                                   const float* historyRe, const float* historyIm, int newestRow,
                                                   float* outRe, float* outIm, float* otherRe, float* otherIm) noexcept
{
    std::fill_n (outRe, fftSize, 0.0f);
    std::fill_n (outIm, fftSize, 0.0f);
    std::fill_n (otherRe, fftSize, 0.0f);
    std::fill_n (otherIm, fftSize, 0.0f);

    const int both = std::min (slot.partitions, other.partitions);

    for (int p = 0; p < std::max (slot.partitions, other.partitions); ++p)
    {
        const size_t kernelAt = (size_t) p * fftSize;
        const float* xRe = historyRe + (size_t) rowOfPartition (newestRow, p) * fftSize;
        const float* xIm = historyIm + (size_t) rowOfPartition (newestRow, p) * fftSize;

        // Kernels of two lengths: past the shorter one's partitions only the longer one adds.
        if (p < both)
            accumulateProductsOfBoth (slot.re.data() + kernelAt, slot.im.data() + kernelAt,
                                      other.re.data() + kernelAt, other.im.data() + kernelAt,
                                      xRe, xIm, outRe, outIm, otherRe, otherIm, fftSize);
        else if (p < slot.partitions)
            accumulateProducts (slot.re.data() + kernelAt, slot.im.data() + kernelAt, xRe, xIm, outRe, outIm, fftSize);
        else
            accumulateProducts (other.re.data() + kernelAt, other.im.data() + kernelAt, xRe, xIm, otherRe, otherIm, fftSize);
    }
}

void PartitionedConvolver::transformBack (float* re, float* im, float* out) noexcept
{
    fft.inverse (re, im);

    // The first half of the window wraps round the circular convolution and is discarded.
    std::copy (re + blockSize, re + fftSize, out);
}

void PartitionedConvolver::processBlock (const float* block, const KernelSlot& active, const KernelSlot* incoming,
                                         float* activeOut, float* incomingOut) noexcept
{
    std::copy (inputWindow.begin() + blockSize, inputWindow.end(), inputWindow.begin());
    std::copy (block, block + blockSize, inputWindow.begin() + blockSize);

    std::copy (inputWindow.begin(), inputWindow.end(), workRe.begin());
    std::fill (workIm.begin(), workIm.end(), 0.0f);
    fft.forward (workRe.data(), workIm.data());

    const size_t row = (size_t) spectrumIndex * fftSize;
    std::copy (workRe.begin(), workRe.end(), spectraRe.begin() + (std::ptrdiff_t) row);
    std::copy (workIm.begin(), workIm.end(), spectraIm.begin() + (std::ptrdiff_t) row);

    if (incoming == nullptr)
    {
        multiplyAccumulate (active, sumRe.data(), sumIm.data());
    }
    else
    {
        multiplyAccumulateBoth (active, *incoming, spectraRe.data(), spectraIm.data(), spectrumIndex,
                                sumRe.data(), sumIm.data(), fadeSumRe.data(), fadeSumIm.data());
        transformBack (fadeSumRe.data(), fadeSumIm.data(), incomingOut);
    }

    transformBack (sumRe.data(), sumIm.data(), activeOut);

    spectrumIndex = spectrumIndex + 1 == maxPartitions ? 0 : spectrumIndex + 1;
}

} // namespace brindle
