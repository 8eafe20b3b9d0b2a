// The drift-correcting resampler: its cost per output frame, and its SINAD for a 1 kHz sine
// at a small drift (ratio 1.0001) and across rates (44.1 kHz in, 48 kHz out: 0.91875).
#include "SineFit.h"

#include "engine/AudioFifo.h"
#include "engine/DriftResampler.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace
{
    using brindle::AudioFifo;
    using brindle::DriftResampler;

    constexpr double pi = 3.141592653589793;
    constexpr double ratios[] = { 1.0001, 0.91875 };

    // Output blocks of state.range(0) frames at ratio index state.range(1), the queue kept at a
    // steady fill by a producer that writes what was consumed (a copy, a small part of the cost).
    void resamplerProcess (benchmark::State& state)
    {
        const int block = (int) state.range (0);
        const double ratio = ratios[state.range (1)];

        AudioFifo queue;
        queue.prepare (16384);
        DriftResampler resampler;
        resampler.prepare (2048, ratio, 1.01);

        std::vector<float> input (4096);
        for (size_t n = 0; n < input.size(); ++n)
            input[n] = (float) (0.5 * std::sin (0.13 * (double) n));

        std::vector<float> left ((size_t) block), right ((size_t) block);
        float* outputs[] = { left.data(), right.data() };
        constexpr int steadyFill = 4096;
        queue.write (input.data(), input.data(), steadyFill);
        double step = ratio;

        for (auto _ : state)
        {
            queue.write (input.data(), input.data(), steadyFill - queue.getFill());
            benchmark::DoNotOptimize (resampler.process (queue, outputs, block, step));
            benchmark::ClobberMemory();
            step = step == ratio ? ratio * 1.0002 : ratio;     // the drift loop moves the step
        }

        state.SetItemsProcessed ((int64_t) state.iterations() * block);
        state.counters["time_per_frame"] = benchmark::Counter ((double) state.iterations() * block,
                                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }

    // Not a timing: one measurement, reported as the counter sinad_dB.
    void resamplerSinad (benchmark::State& state)
    {
        const double ratio = ratios[state.range (0)];
        constexpr double outputRateHz = 48000.0;
        constexpr double frequencyHz = 1000.0;
        constexpr int outputFrames = 60000;
        const int inputFrames = (int) (outputFrames * ratio) + 100;
        brindle::bench::SineFit fit;

        for (auto _ : state)
        {
            std::vector<float> sine ((size_t) inputFrames);
            for (int n = 0; n < inputFrames; ++n)
                sine[(size_t) n] = (float) (0.5 * std::sin (2.0 * pi * frequencyHz * n / (outputRateHz * ratio)));

            AudioFifo queue;
            queue.prepare (inputFrames + 1);
            queue.write (sine.data(), sine.data(), inputFrames);
            DriftResampler resampler;
            resampler.prepare (2048, ratio, 1.01);

            std::vector<float> left ((size_t) outputFrames), right ((size_t) outputFrames);
            for (int done = 0; done < outputFrames; done += 480)
            {
                float* outputs[] = { left.data() + done, right.data() + done };
                resampler.process (queue, outputs, 480, ratio);
            }

            fit = brindle::bench::fitSine (left, 2000, 48000, frequencyHz / outputRateHz);
        }

        state.counters["ratio"] = ratio;
        state.counters["sinad_dB"] = fit.sinadDb;
        state.counters["gain_dB"] = 20.0 * std::log10 (fit.amplitude / 0.5);
    }
}

BENCHMARK (resamplerProcess)->ArgNames ({ "block", "ratio" })->ArgsProduct ({ { 64, 480, 2048 }, { 0, 1 } });
BENCHMARK (resamplerSinad)->ArgName ("ratio")->Arg (0)->Arg (1)->Iterations (1)->Unit (benchmark::kMillisecond);

BENCHMARK_MAIN();
