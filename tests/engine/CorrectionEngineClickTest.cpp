// The settings a user changes most (bypass, the output trim, a speaker delay) must not click:
// with a sine playing, the largest step from one output sample to the next while a setting
// changes stays close to the steady sine's own largest step, whatever the device block size.
#include "EngineFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace brindle::test
{

namespace
{
    constexpr double fs = 48000;
    constexpr double sineHz = 200;
    constexpr double holdSeconds = 0.25;   // long enough for every glide to settle
    constexpr double steadySeconds = 0.05; // the settled end of each hold, the reference

    struct ClickCase
    {
        const char* name;
        CorrectionState settled, changed;
        double toneHz = sineHz;
    };

    std::vector<ClickCase> clickCases()
    {
        // The bell lies well above the tone, so bypass moves the tone by the safe headroom.
        auto bell = makeState ({ makeBand (BandType::bell, 1000, 12, 1) });
        bell.safeHeadroom = true;
        auto bypassed = bell;
        bypassed.bypass = true;

        auto flat = makeState ({});
        flat.safeHeadroom = false;
        auto trimmed = flat;
        trimmed.outputDb = -12;

        auto delayed = flat;
        delayed.delayRightMs = 20;

        // The linear path starts from silence, so a change of mode fades out, then in.
        auto bellLinear = bell;
        bellLinear.phaseMode = PhaseMode::linear;

        // In linear phase the bands and their safe headroom change together, as one kernel
        // crossfades to the next; the trim glides on its own.
        auto bypassedLinear = bellLinear;
        bypassedLinear.bypass = true;
        auto flatLinear = bellLinear;
        flatLinear.bandCount = 0;
        auto trimmedLinear = flatLinear;
        trimmedLinear.outputDb = -12;
        auto coarserLinear = bellLinear;
        coarserLinear.firQuality = FirQuality::low;

        // On the bell's own tone the boost and the safe headroom cancel: they must move as one.
        return { { "bypass with safe headroom", bell, bypassed },
                 { "bypass on the bell's own tone", bell, bypassed, 1000 },
                 { "12 dB trim", flat, trimmed },
                 { "right delay 0 to 20 ms", flat, delayed },
                 { "minimum to linear phase", bell, bellLinear },
                 { "linear to minimum phase", bellLinear, bell },
                 { "bypass in linear phase", bellLinear, bypassedLinear },
                 { "bypass in linear phase on the bell's own tone", bellLinear, bypassedLinear, 1000 },
                 { "a room loaded in linear phase", flatLinear, bellLinear },
                 { "a room loaded in linear phase, on its bell's tone", flatLinear, bellLinear, 1000 },
                 { "12 dB trim in linear phase", flatLinear, trimmedLinear },
                 { "FIR tier in linear phase", bellLinear, coarserLinear } };
    }

    float largestStep (const std::vector<float>& samples, size_t from, size_t to)
    {
        float largest = 0;
        for (size_t n = std::max<size_t> (from, 1); n < to; ++n)
            largest = std::max (largest, std::abs (samples[n] - samples[n - 1]));
        return largest;
    }

    /** Plays the sine through the settled state, the changed one and the settled one again,
        each held for a while, and returns the largest step after the first hold divided by
        the largest step in the settled end of any hold. The test plays the kernel designer
        too: each state's kernels are designed as soon as the last ones have faded in. */
    double clickRatio (CorrectionEngine& engine, const ClickCase& c, int blockSize)
    {
        openRouteWith (engine, c.settled, fs);

        const int blocksPerHold = (int) std::ceil (holdSeconds * fs / blockSize);
        const size_t holdLength = (size_t) blocksPerHold * (size_t) blockSize;
        const auto sine = sineAt (c.toneHz, fs);

        std::vector<float> left, right;
        std::vector<float> l ((size_t) blockSize), r ((size_t) blockSize);
        int played = 0;

        for (const auto* state : { &c.settled, &c.changed, &c.settled })
        {
            engine.audioStates.publish (*state);
            engine.designerStates.publish (*state);

            for (int b = 0; b < blocksPerHold; ++b, played += blockSize)
            {
                engine.designPendingKernel();

                for (int i = 0; i < blockSize; ++i)
                    l[(size_t) i] = r[(size_t) i] = 0.5f * sine (played + i);

                engine.process (l.data(), r.data(), blockSize);
                left.insert (left.end(), l.begin(), l.end());
                right.insert (right.end(), r.begin(), r.end());
            }
        }

        const auto steadyLength = (size_t) (steadySeconds * fs);
        float steady = 0;
        for (size_t hold = 1; hold <= 3; ++hold)
            for (const auto* channel : { &left, &right })
                steady = std::max (steady, largestStep (*channel, hold * holdLength - steadyLength, hold * holdLength));

        const float changing = std::max (largestStep (left, holdLength - steadyLength, left.size()),
                                         largestStep (right, holdLength - steadyLength, right.size()));
        return changing / steady;
    }
}

// One test per setting, so that they run side by side.
class CorrectionEngineClickCase : public testing::TestWithParam<int> {};

TEST_P (CorrectionEngineClickCase, ChangingASettingStepsNoMoreThanTheSteadySine)
{
    const auto c = clickCases()[(size_t) GetParam()];
    auto engine = std::make_unique<CorrectionEngine>();

    for (int blockSize : { 64, 256, 1024, 37 })
        EXPECT_LT (clickRatio (*engine, c, blockSize), 2.0) << c.name << ", blocks of " << blockSize;
}

INSTANTIATE_TEST_SUITE_P (CorrectionEngineClicks, CorrectionEngineClickCase,
                          testing::Range (0, (int) clickCases().size()),
                          [] (const testing::TestParamInfo<int>& info) { return inOneWord (clickCases()[(size_t) info.param].name); });

// A change of phase mode taken back while its fade still runs reverses the fade: neither path
// starts again, so nothing steps.
TEST (CorrectionEngineClicks, AChangeOfModeTakenBackDuringItsFadeStepsNoMoreThanTheSine)
{
    auto minimum = makeState ({ makeBand (BandType::bell, 1000, 12, 1) });
    auto linear = minimum;
    linear.phaseMode = PhaseMode::linear;

    for (const auto* settled : { &minimum, &linear })
    {
        const auto* other = settled == &minimum ? &linear : &minimum;

        for (int blockSize : { 37, 64 })
        {
            auto engine = std::make_unique<CorrectionEngine>();
            engine->applyState (*settled);
            engine->prepare (fs, 2048);

            const auto sine = sineAt (sineHz, fs);
            std::vector<float> out, l ((size_t) blockSize), r ((size_t) blockSize);
            int played = 0;
            auto playFor = [&] (int samples)
            {
                for (int end = played + samples; played < end; played += blockSize)
                {
                    for (int i = 0; i < blockSize; ++i)
                        l[(size_t) i] = r[(size_t) i] = 0.5f * sine (played + i);
                    engine->process (l.data(), r.data(), blockSize);
                    out.insert (out.end(), l.begin(), l.end());
                }
            };

            playFor ((int) (holdSeconds * fs));
            const size_t changeAt = out.size();
            engine->audioStates.publish (*other);
            playFor (2 * blockSize);
            EXPECT_GT (engine->getModeFadeRemaining(), 0) << "still fading";
            engine->audioStates.publish (*settled);
            playFor ((int) (holdSeconds * fs));

            const float steady = largestStep (out, changeAt - (size_t) (steadySeconds * fs), changeAt);
            const float changing = largestStep (out, changeAt, out.size());
            EXPECT_LT (changing / steady, 2.0) << (settled == &minimum ? "from minimum" : "from linear")
                                              << " phase, blocks of " << blockSize;
        }
    }
}

} // namespace brindle::test
