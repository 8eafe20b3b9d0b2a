#include "LiteralFft.h"
#include "RealtimeGuard.h"

#include "engine/PartitionedConvolver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace brindle::test
{

// The block step with the longest kernel, alone and during a crossfade, across the delay
// line's wrap, and a reset: all of it runs on the device thread.
TEST (ConvolverRealtime, BlockStepsAndResetsNeitherAllocateNorLock)
{
    auto convolver = std::make_unique<PartitionedConvolver>();
    convolver->prepare();

    KernelSlot active, incoming;
    active.allocate (PartitionedConvolver::fftSize, PartitionedConvolver::maxPartitions);
    incoming.allocate (PartitionedConvolver::fftSize, PartitionedConvolver::maxPartitions);

    LiteralFft<double> transform (PartitionedConvolver::blockOrder + 1);
    std::vector<double> kernel (65536);
    for (size_t k = 0; k < kernel.size(); ++k)
        kernel[k] = std::sin (0.001 * (double) k) / 256.0;
    ASSERT_TRUE (convolver->loadKernel (kernel.data(), (int) kernel.size(), active, transform));
    ASSERT_TRUE (convolver->loadKernel (kernel.data(), 5000, incoming, transform));

    std::vector<float> block (PartitionedConvolver::blockSize), out (block.size()), fadeOut (block.size());

    RealtimeGuard guard;
    for (int b = 0; b < 70; ++b)
    {
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = (float) std::sin (0.01 * (double) (b * 1024 + (int) i));

        convolver->processBlock (block.data(), active, b % 3 == 0 ? &incoming : nullptr, out.data(), fadeOut.data());
        if (b == 50)
            convolver->reset();
    }

    EXPECT_EQ (guard.allocations(), 0u);
    EXPECT_EQ (guard.locks(), 0u);
}

} // namespace brindle::test
