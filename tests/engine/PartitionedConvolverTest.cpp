#include "LiteralFft.h"
#include "TestSeed.h"

#include "engine/PartitionedConvolver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace brindle::test
{

namespace
{
    constexpr int block = PartitionedConvolver::blockSize;

    // Loads kernels the way the engine does: each partition transformed in double precision.
    struct Loader
    {
        LiteralFft<double> transform { PartitionedConvolver::blockOrder + 1 };
    };

    class Convolution
    {
    public:
        Convolution()
        {
            convolver->prepare();
            slot.allocate (PartitionedConvolver::fftSize, PartitionedConvolver::maxPartitions);
        }

        void load (const std::vector<double>& kernel) { load (kernel, slot); }

        void load (const std::vector<double>& kernel, KernelSlot& into)
        {
            ASSERT_TRUE (convolver->loadKernel (kernel.data(), (int) kernel.size(), into, loader.transform));
        }

        // Runs whole blocks of the input through the slot and returns the output.
        std::vector<float> run (const std::vector<float>& input)
        {
            std::vector<float> output (input.size());
            for (size_t at = 0; at + block <= input.size(); at += block)
                convolver->processBlock (input.data() + at, slot, nullptr, output.data() + at, nullptr);
            return output;
        }

        std::unique_ptr<PartitionedConvolver> convolver = std::make_unique<PartitionedConvolver>();
        KernelSlot slot;
        Loader loader;
    };

    std::vector<float> randomInput (int blocks, std::mt19937& random)
    {
        std::uniform_real_distribution<float> value (-1.0f, 1.0f);
        std::vector<float> input ((size_t) blocks * block);
        for (auto& x : input)
            x = value (random);
        return input;
    }

    std::vector<double> unitTap (int length, int at)
    {
        std::vector<double> kernel ((size_t) length, 0.0);
        kernel[(size_t) at] = 1.0;
        return kernel;
    }

    // Output sample n of the linear convolution, in double precision.
    double direct (const std::vector<double>& kernel, const std::vector<float>& input, size_t n)
    {
        double sum = 0.0;
        for (size_t k = 0; k < kernel.size() && k <= n; ++k)
            sum += kernel[k] * input[n - k];
        return sum;
    }

    void expectDelayed (const std::vector<float>& output, const std::vector<float>& input, int delay, double tolerance)
    {
        for (size_t n = 0; n < output.size(); ++n)
        {
            const float expected = n >= (size_t) delay ? input[n - (size_t) delay] : 0.0f;
            ASSERT_NEAR (output[n], expected, tolerance) << "delay " << delay << ", sample " << n;
        }
    }
}

TEST (PartitionedConvolver, AUnitTapDelaysTheInputByItsPosition)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);

    for (int delay : { 0, 1, 1023, 1024, 4097, 65535 })
    {
        Convolution convolution;
        convolution.load (unitTap (delay + 1, delay));
        const auto input = randomInput (delay / block + 3, random);
        expectDelayed (convolution.run (input), input, delay, 1e-6);
    }
}

// 70 blocks: the delay line's row index wraps from 63 to 0 after 64 of them, and every
// partition must still meet the window it belongs to.
TEST (PartitionedConvolver, ALongRandomKernelMatchesDirectConvolutionAcrossTheWrap)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    std::uniform_real_distribution<double> tap (-1.0, 1.0);

    std::vector<double> kernel (65536);
    for (auto& k : kernel)
        k = tap (random) / 256.0;

    Convolution convolution;
    convolution.load (kernel);
    ASSERT_EQ (convolution.slot.partitions, 64);

    const auto input = randomInput (70, random);
    const auto output = convolution.run (input);

    // Direct convolution costs 65536 products a sample: check a spread of samples in every
    // block, and the last block whole.
    std::uniform_int_distribution<size_t> anywhere (0, block - 1);
    for (size_t b = 0; b < 70; ++b)
    {
        std::vector<size_t> within { 0, 1, block - 1, anywhere (random), anywhere (random) };
        if (b == 69)
            for (size_t j = 0; j < block; ++j)
                within.push_back (j);

        for (size_t j : within)
        {
            const size_t n = b * block + j;
            ASSERT_NEAR (output[n], direct (kernel, input, n), 2e-5) << "block " << b << ", sample " << j;
        }
    }
}

TEST (PartitionedConvolver, KernelsAreCutIntoWholePartitionsOfAtMostSixtyFourBlocks)
{
    struct Case { int length; int partitions; };
    const Case cases[] = { { 0, 0 }, { 1, 1 }, { 1024, 1 }, { 1025, 2 }, { 4096, 4 }, { 4097, 5 },
                           { 65536, 64 }, { 65537, 64 }, { 200000, 64 } };

    Convolution convolution;
    for (const auto& c : cases)
    {
        convolution.load (std::vector<double> ((size_t) c.length, 0.5));
        EXPECT_EQ (convolution.slot.partitions, c.partitions) << c.length << " taps";
        EXPECT_EQ (PartitionedConvolver::partitionsFor (c.length), c.partitions) << c.length << " taps";
    }
}

TEST (PartitionedConvolver, PartitionEdgesKeepTheirTapsAndDropWhatLiesBeyondTheLast)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    const auto input = randomInput (70, random);

    // The fifth partition of a 4097-tap kernel holds its single last tap.
    Convolution fifth;
    fifth.load (unitTap (4097, 4096));
    expectDelayed (fifth.run (input), input, 4096, 1e-6);

    // Taps from 65536 on are cut off.
    auto longKernel = unitTap (70000, 10);
    longKernel[65536] = 1.0;
    longKernel[69999] = 1.0;
    Convolution cut;
    cut.load (longKernel);
    expectDelayed (cut.run (input), input, 10, 1e-6);

    Convolution empty;
    empty.load ({});
    for (float y : empty.run (input))
        ASSERT_EQ (y, 0.0f);
}

TEST (PartitionedConvolver, AShorterKernelNeverReadsTheRowsALongerOneLeft)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    const auto input = randomInput (70, random);

    Convolution convolution;
    convolution.load (std::vector<double> (65536, 0.25));
    std::fill (convolution.slot.re.begin() + 16 * 2048, convolution.slot.re.end(), std::numeric_limits<float>::quiet_NaN());
    std::fill (convolution.slot.im.begin() + 16 * 2048, convolution.slot.im.end(), std::numeric_limits<float>::quiet_NaN());

    convolution.load (unitTap (16 * 1024, 16 * 1024 - 3));
    ASSERT_EQ (convolution.slot.partitions, 16);
    expectDelayed (convolution.run (input), input, 16 * 1024 - 3, 1e-6);
}

TEST (PartitionedConvolver, AfterResetTheFirstBlockDependsOnItAlone)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    std::vector<double> kernel (8000);
    for (auto& k : kernel)
        k = std::uniform_real_distribution<double> (-0.1, 0.1) (random);

    Convolution used, fresh;
    used.load (kernel);
    fresh.load (kernel);

    used.run (randomInput (5, random));
    used.convolver->reset();
    EXPECT_EQ (used.convolver->getSpectrumIndex(), 0);

    const auto input = randomInput (3, random);
    EXPECT_EQ (used.run (input), fresh.run (input));
}

// During a crossfade the block goes through both slots in one pass over the delay line: each
// output must be what that slot alone gives, to the bit, whichever kernel is the longer.
TEST (PartitionedConvolver, AnIncomingSlotGivesItsOwnOutputBesideTheActiveOne)
{
    const TestSeed seed;
    std::mt19937 random (seed.value);
    std::uniform_real_distribution<double> tap (-0.5, 0.5);
    const auto input = randomInput (6, random);

    auto randomKernel = [&] (int length)
    {
        std::vector<double> kernel ((size_t) length);
        for (auto& k : kernel)
            k = tap (random);
        return kernel;
    };

    struct Lengths { int active, incoming; };
    for (const auto lengths : { Lengths { 3000, 5 }, Lengths { 5, 3000 }, Lengths { 4096, 4096 } })
    {
        const auto activeKernel = randomKernel (lengths.active);
        const auto incomingKernel = randomKernel (lengths.incoming);

        Convolution both, activeAlone, incomingAlone;
        KernelSlot incoming;
        incoming.allocate (PartitionedConvolver::fftSize, PartitionedConvolver::maxPartitions);

        both.load (activeKernel);
        both.load (incomingKernel, incoming);
        activeAlone.load (activeKernel);
        incomingAlone.load (incomingKernel);

        std::vector<float> activeOut (input.size()), incomingOut (input.size());
        for (size_t at = 0; at < input.size(); at += block)
            both.convolver->processBlock (input.data() + at, both.slot, &incoming, activeOut.data() + at, incomingOut.data() + at);

        EXPECT_EQ (activeOut, activeAlone.run (input)) << lengths.active << " taps fading out";
        EXPECT_EQ (incomingOut, incomingAlone.run (input)) << lengths.incoming << " taps fading in";
    }
}

TEST (PartitionedConvolver, LoadingIntoASlotNeverSizedIsRefused)
{
    Convolution convolution;
    KernelSlot unsized;
    const std::vector<double> kernel (100, 1.0);
    EXPECT_FALSE (convolution.convolver->loadKernel (kernel.data(), 100, unsized, convolution.loader.transform));
    EXPECT_EQ (unsized.partitions, 0);
    EXPECT_TRUE (unsized.re.empty());
}

} // namespace brindle::test
