// The linear-phase block step against FFTW: the same uniformly partitioned overlap-save
// (1024-sample partitions, complex 2048-point transforms of real data, all bins multiplied),
// with the engine's own multiply-accumulate in both (for a crossfade the one that reads the
// spectra once for both kernels), so that the ratio compares the transforms and the way the
// engine works, not two inner loops. Prints each transform alone, the block step of both
// channels without and with a crossfade, the ratios to FFTW and the share of a core at 48 kHz.
#include "engine/PartitionedConvolver.h"

#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace
{
    using brindle::KernelSlot;
    using brindle::PartitionedConvolver;

    constexpr int block = PartitionedConvolver::blockSize;
    constexpr int points = PartitionedConvolver::fftSize;
    constexpr int rows = PartitionedConvolver::maxPartitions;
    constexpr double sampleRate = 48000.0;

    struct Pair
    {
        double engine, fftw;
    };

    // Fastest of several runs of each, in microseconds per call, each run timing `calls` calls.
    // The two alternate run by run, so that a load that comes and goes on the machine meets
    // both alike.
    Pair microsecondsPerCall (const std::function<void()>& engineWork, const std::function<void()>& fftwWork, int calls)
    {
        for (int i = 0; i < calls / 4 + 1; ++i)
        {
            engineWork();
            fftwWork();
        }

        auto timeOf = [calls] (const std::function<void()>& work)
        {
            const auto started = std::chrono::steady_clock::now();
            for (int i = 0; i < calls; ++i)
                work();
            const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - started;
            return took.count() / calls;
        };

        Pair best { 1e300, 1e300 };
        for (int run = 0; run < 15; ++run)
        {
            best.engine = std::min (best.engine, timeOf (engineWork));
            best.fftw = std::min (best.fftw, timeOf (fftwWork));
        }
        return best;
    }

    // A kernel's spectra for both implementations. Its values do not matter for timing; they
    // are loaded the engine's way through a plain double transform so that they are sensible.
    void fillSlot (KernelSlot& slot, int partitions, std::mt19937& random)
    {
        slot.allocate (points, rows);
        std::uniform_real_distribution<float> value (-1.0f, 1.0f);
        for (size_t i = 0; i < (size_t) partitions * points; ++i)
        {
            slot.re[i] = value (random);
            slot.im[i] = value (random);
        }
        slot.partitions = partitions;
    }

    /** The reference: FFTW's split-array transforms in the engine's convolution. Every array
        pair gets its own plan, executed on the arrays it was planned for. */
    class FftwConvolver
    {
    public:
        FftwConvolver()
            : spectraRe ((size_t) points * rows), spectraIm ((size_t) points * rows), window ((size_t) points),
              workRe ((size_t) points), workIm ((size_t) points), sumRe ((size_t) points), sumIm ((size_t) points),
              fadeRe ((size_t) points), fadeIm ((size_t) points)
        {
            forwardPlan = plan (workRe.data(), workIm.data());
            // The inverse transform is the forward one with the real and imaginary parts swapped.
            inversePlan = plan (sumIm.data(), sumRe.data());
            fadeInversePlan = plan (fadeIm.data(), fadeRe.data());
        }

        ~FftwConvolver()
        {
            for (auto p : { forwardPlan, inversePlan, fadeInversePlan })
                fftwf_destroy_plan (p);
        }

        void forward() { fftwf_execute (forwardPlan); }
        void inverse() { fftwf_execute (inversePlan); }

        void processBlock (const float* input, const KernelSlot& active, const KernelSlot* incoming, float* activeOut, float* fadeOut)
        {
            std::copy (window.begin() + block, window.end(), window.begin());
            std::copy (input, input + block, window.begin() + block);
            std::copy (window.begin(), window.end(), workRe.begin());
            std::fill (workIm.begin(), workIm.end(), 0.0f);
            fftwf_execute (forwardPlan);

            std::copy (workRe.begin(), workRe.end(), spectraRe.begin() + (std::ptrdiff_t) newest * points);
            std::copy (workIm.begin(), workIm.end(), spectraIm.begin() + (std::ptrdiff_t) newest * points);

            if (incoming == nullptr)
            {
                PartitionedConvolver::multiplyAccumulate (active, spectraRe.data(), spectraIm.data(), newest, sumRe.data(), sumIm.data());
            }
            else
            {
                PartitionedConvolver::multiplyAccumulateBoth (active, *incoming, spectraRe.data(), spectraIm.data(), newest,
                                                              sumRe.data(), sumIm.data(), fadeRe.data(), fadeIm.data());
                transformBack (fadeRe.data(), fadeInversePlan, fadeOut);
            }

            transformBack (sumRe.data(), inversePlan, activeOut);

            newest = (newest + 1) % rows;
        }

    private:
        static fftwf_plan plan (float* re, float* im)
        {
            fftw_iodim dimension { points, 1, 1 };
            auto made = fftwf_plan_guru_split_dft (1, &dimension, 0, nullptr, re, im, re, im, FFTW_MEASURE);
            std::fill (re, re + points, 0.0f);
            std::fill (im, im + points, 0.0f);
            return made;
        }

        void transformBack (const float* re, fftwf_plan inversion, float* out)
        {
            fftwf_execute (inversion);
            const float scale = 1.0f / (float) points;
            for (int j = 0; j < block; ++j)
                out[j] = re[block + j] * scale;
        }

        std::vector<float> spectraRe, spectraIm, window, workRe, workIm, sumRe, sumIm, fadeRe, fadeIm;
        int newest = 0;
        fftwf_plan forwardPlan {}, inversePlan {}, fadeInversePlan {};
    };

    // Both channels' block step, each channel with its own convolver and slots.
    Pair blockStep (int partitions, bool crossfade, std::mt19937& random)
    {
        KernelSlot active[2], incoming[2];
        for (int c = 0; c < 2; ++c)
        {
            fillSlot (active[c], partitions, random);
            fillSlot (incoming[c], partitions, random);
        }

        std::vector<float> input ((size_t) block), out ((size_t) block), fadeOut ((size_t) block);
        std::uniform_real_distribution<float> value (-1.0f, 1.0f);
        for (auto& x : input)
            x = value (random);

        auto engines = std::make_unique<PartitionedConvolver[]> (2);
        auto references = std::make_unique<FftwConvolver[]> (2);
        for (int c = 0; c < 2; ++c)
            engines[c].prepare();

        return microsecondsPerCall ([&] {
            for (int c = 0; c < 2; ++c)
                engines[c].processBlock (input.data(), active[c], crossfade ? &incoming[c] : nullptr, out.data(), fadeOut.data());
        }, [&] {
            for (int c = 0; c < 2; ++c)
                references[c].processBlock (input.data(), active[c], crossfade ? &incoming[c] : nullptr, out.data(), fadeOut.data());
        }, 200);
    }

    void transformsAlone (std::mt19937& random)
    {
        PartitionedConvolver convolver;
        convolver.prepare();
        const auto& fft = convolver.getFft();
        FftwConvolver reference;

        std::vector<float> re ((size_t) points), im ((size_t) points);
        std::uniform_real_distribution<float> value (-1.0f, 1.0f);
        for (int i = 0; i < points; ++i)
        {
            re[(size_t) i] = value (random);
            im[(size_t) i] = value (random);
        }

        const auto forward = microsecondsPerCall ([&] { fft.forward (re.data(), im.data()); }, [&] { reference.forward(); }, 2000);
        const auto inverse = microsecondsPerCall ([&] { fft.inverse (re.data(), im.data()); }, [&] { reference.inverse(); }, 2000);

        std::printf ("2048-point transform      engine us   FFTW us   ratio\n");
        std::printf ("  forward                 %9.2f %9.2f %7.2f\n", forward.engine, forward.fftw, forward.engine / forward.fftw);
        std::printf ("  inverse (with 1/N)      %9.2f %9.2f %7.2f\n\n", inverse.engine, inverse.fftw, inverse.engine / inverse.fftw);
    }
}

int main()
{
    std::mt19937 random (20240615);
    transformsAlone (random);

    const double blockPeriodUs = block / sampleRate * 1e6;
    std::printf ("block step, both channels       engine us   FFTW us   ratio   limit 1.6   from the aim 1.3   share of a core at 48 kHz\n");

    struct Tier { const char* name; int partitions; };
    const Tier tiers[] = { { "low    (4096 taps)", 4 }, { "medium (16384 taps)", 16 }, { "high   (65536 taps)", 64 } };

    bool withinLimit = true;
    for (const auto& tier : tiers)
    {
        for (bool crossfade : { false, true })
        {
            const auto step = blockStep (tier.partitions, crossfade, random);
            const double ratio = step.engine / step.fftw;
            withinLimit = withinLimit && ratio <= 1.6;
            std::printf ("  %s%s %9.2f %9.2f %7.2f   %-9s   %+5.2f (%s)   %6.3f %%\n", tier.name, crossfade ? ", crossfade" : "           ",
                         step.engine, step.fftw, ratio, ratio <= 1.6 ? "within" : "OVER",
                         ratio - 1.3, ratio <= 1.3 ? "met" : "above", 100.0 * step.engine / blockPeriodUs);
        }
    }

    std::printf ("\n(one block is %.1f us of audio; the share is the block step's time over that)\n", blockPeriodUs);
    std::printf ("every block step within 1.6x FFTW: %s\n", withinLimit ? "yes" : "NO");
    return 0;
}
