#include "EngineFixtures.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace brindle::test
{

namespace
{
    std::unique_ptr<CorrectionEngine> preparedEngine (double sampleRate = 48000, int maxBlock = 2048)
    {
        auto engine = std::make_unique<CorrectionEngine>();
        engine->prepare (sampleRate, maxBlock);
        return engine;
    }
}

TEST (CorrectionEngineTargets, TheGlideFactorFollowsTheLargestBlock)
{
    struct Case { double sampleRate; int maxBlock; double coeff; };
    const Case cases[] = { { 48000, 2048, 0.7588 }, { 44100, 2048, 0.7873 }, { 48000, 512, 0.2992 }, { 48000, 1, 0.005 } };

    for (const auto& c : cases)
        EXPECT_NEAR (preparedEngine (c.sampleRate, c.maxBlock)->getSmoothingCoeff(), c.coeff, 5e-5) << c.sampleRate << "/" << c.maxBlock;

    auto fallback = preparedEngine (0, 0);
    EXPECT_EQ (fallback->getSampleRate(), 48000.0);
    EXPECT_EQ (fallback->getMaxBlockSize(), 1);
    EXPECT_EQ (preparedEngine (std::numeric_limits<double>::infinity(), 64)->getSampleRate(), 48000.0);
}

TEST (CorrectionEngineTargets, BypassKeepsTheLargerDelayAndFlattensEverythingElse)
{
    auto engine = preparedEngine();
    auto state = makeState ({ makeBand (BandType::bell, 1000, 6, 1), makeBand (BandType::lowShelf, 80, 4, 0.7) });
    state.delayLeftMs = 3;
    state.delayRightMs = 5;
    state.outputDb = -6;
    state.safeHeadroom = true;
    state.bypass = true;

    engine->applyState (state);

    for (int c = 0; c < 2; ++c)
    {
        const auto& channel = engine->getChannel (c);
        EXPECT_EQ (channel.targetDelayMs, 5.0) << "channel " << c;
        for (double gain : channel.targetGainDb)
            EXPECT_EQ (gain, 0.0);
    }

    EXPECT_EQ (engine->getTargetOutputDb(), 0.0);
    EXPECT_EQ (engine->getLatencyMaxDelayMs(), 5.0) << "bypass does not change the latency figures";

    state.bypass = false;
    engine->applyState (state);
    EXPECT_EQ (engine->getChannel (0).targetDelayMs, 3.0);
    EXPECT_EQ (engine->getChannel (1).targetDelayMs, 5.0);
    EXPECT_DOUBLE_EQ (engine->getTargetOutputDb(), -12.0) << "the trim, lowered by the 6 dB boost";

    state.safeHeadroom = false;
    engine->applyState (state);
    EXPECT_EQ (engine->getTargetOutputDb(), -6.0);
}

TEST (CorrectionEngineTargets, TargetsFollowTheRuleForBandsInForce)
{
    auto engine = preparedEngine();
    engine->applyState (makeState ({ makeBand (BandType::bell, 1000, 1.625, 2),
                                    makeBand (BandType::bell, 2000, -1.625, 2),
                                    makeBand (BandType::highShelf, 6000, 0.0449, 0.7),
                                    makeBand (BandType::bell, 300, 5, 4, false, true) }));

    const auto& left = engine->getChannel (0);
    const auto& right = engine->getChannel (1);

    EXPECT_DOUBLE_EQ (left.targetGainDb[0], 1.63);
    EXPECT_DOUBLE_EQ (left.targetGainDb[1], -1.62);
    EXPECT_EQ (left.targetGainDb[2], 0.0) << "0.04 dB after rounding is not in force";
    EXPECT_EQ (left.types[2], BandType::bell) << "a slot out of force keeps its previous shape";
    EXPECT_EQ (left.targetGainDb[3], 0.0) << "placed on the right channel only";
    EXPECT_EQ (right.targetGainDb[3], 5.0);
    EXPECT_EQ (right.targetFreqHz[3], 300.0);
    EXPECT_EQ (right.targetQ[3], 4.0);

    for (int j = 4; j < CorrectionEngine::slotCount; ++j)
        EXPECT_EQ (right.targetGainDb[(size_t) j], 0.0);

    engine->applyState (makeState ({}));
    for (int c = 0; c < 2; ++c)
        for (double gain : engine->getChannel (c).targetGainDb)
            EXPECT_EQ (gain, 0.0) << "no bands takes every slot out of force";
}

TEST (CorrectionEngineTargets, ABandLeavingForceGlidesOutWhereItWas)
{
    auto engine = preparedEngine();
    engine->applyState (makeState ({ makeBand (BandType::lowShelf, 500, 6, 2) }));
    engine->snapToTargets();

    engine->applyState (makeState ({ makeBand (BandType::highShelf, 2000, 0.04, 8) }));
    const auto& left = engine->getChannel (0);

    EXPECT_EQ (left.targetGainDb[0], 0.0);
    EXPECT_EQ (left.targetFreqHz[0], 500.0);
    EXPECT_EQ (left.targetQ[0], 2.0);
    EXPECT_EQ (left.types[0], BandType::lowShelf);
    EXPECT_EQ (left.currentGainDb[0], 6.0) << "the gain glides, it does not jump";
}

TEST (CorrectionEngineTargets, ASilentSlotStartsAtItsNewFrequencyAndQ)
{
    auto engine = preparedEngine();
    engine->applyState (makeState ({ makeBand (BandType::bell, 2000, 6, 3) }));

    const auto& left = engine->getChannel (0);
    EXPECT_EQ (left.currentFreqHz[0], 2000.0);
    EXPECT_EQ (left.currentQ[0], 3.0);
    EXPECT_EQ (left.currentGainDb[0], 0.0);

    // Once sounding, a move of frequency glides instead.
    engine->snapToTargets();
    engine->applyState (makeState ({ makeBand (BandType::bell, 4000, 6, 3) }));
    EXPECT_EQ (left.currentFreqHz[0], 2000.0);
    EXPECT_EQ (left.targetFreqHz[0], 4000.0);
}

TEST (CorrectionEngineTargets, EachGlideStepCoversTheSameShareOfTheDistance)
{
    auto engine = preparedEngine (48000, 512);
    const double k = engine->getSmoothingCoeff();
    auto state = makeState ({ makeBand (BandType::bell, 1000, 10, 1) });
    state.delayLeftMs = 8;
    state.outputDb = -10;
    state.safeHeadroom = false;
    engine->applyState (state);

    engine->smoothParameters();
    EXPECT_DOUBLE_EQ (engine->getChannel (0).currentGainDb[0], 10 * k);
    EXPECT_DOUBLE_EQ (engine->getChannel (0).currentDelayMs, 8 * k);
    EXPECT_DOUBLE_EQ (engine->getCurrentOutputDb(), -10 * k);

    engine->smoothParameters();
    EXPECT_DOUBLE_EQ (engine->getChannel (0).currentGainDb[0], 10 * k + (10 - 10 * k) * k);
}

TEST (CorrectionEngineTargets, PreparingAgainKeepsTheCorrectionInForce)
{
    auto engine = preparedEngine (48000, 512);
    auto state = makeState ({ makeBand (BandType::bell, 1000, 4, 1) });
    state.outputDb = -3;
    state.safeHeadroom = false;
    engine->applyState (state);

    engine->prepare (96000, 1024);
    EXPECT_EQ (engine->getChannel (0).currentGainDb[0], 4.0) << "snapped to the targets";
    EXPECT_EQ (engine->getCurrentOutputDb(), -3.0);
}

TEST (CorrectionEngineTargets, LatencyFiguresComeFromTheLastAppliedState)
{
    struct Case { double sampleRate; FirQuality quality; int taps; };
    const Case cases[] = { { 96000, FirQuality::low, 8192 }, { 96000, FirQuality::medium, 32768 }, { 96000, FirQuality::high, 65536 },
                           { 44100, FirQuality::low, 4096 }, { 44100, FirQuality::medium, 16384 }, { 44100, FirQuality::high, 65536 } };

    for (const auto& c : cases)
    {
        auto engine = preparedEngine (c.sampleRate, 512);
        auto state = makeState ({});
        state.firQuality = c.quality;
        state.delayRightMs = 2.5;
        engine->applyState (state);
        EXPECT_EQ (engine->getLatencyFirTaps(), c.taps) << c.sampleRate;
        EXPECT_EQ (engine->getLatencyMaxDelayMs(), 2.5);
    }

    const CorrectionEngine fresh;
    EXPECT_EQ (fresh.getLatencyFirTaps(), 16384);
    EXPECT_EQ (fresh.getLatencyMaxDelayMs(), 0.0);
}

} // namespace brindle::test

namespace brindle::test
{

TEST (CorrectionEngineDesigner, APassTakesTheNewestPublishedStateAndMarksItPending)
{
    CorrectionEngine engine;
    engine.prepare (48000, 512);
    EXPECT_FALSE (engine.designPendingKernel()) << "nothing published";
    EXPECT_FALSE (engine.isDesignPending());

    auto first = makeState ({ makeBand (BandType::bell, 100, 3, 1) });
    auto second = makeState ({ makeBand (BandType::bell, 200, 40, 1) });
    engine.designerStates.publish (first);
    engine.designerStates.publish (second);

    EXPECT_TRUE (engine.designPendingKernel()) << "designed and loaded";
    EXPECT_FALSE (engine.isDesignPending());
    EXPECT_TRUE (engine.isKernelReady());
    EXPECT_EQ (engine.getDesignerState().bands[0].freqHz, 200.0) << "only the newest";
    EXPECT_EQ (engine.getDesignerState().bands[0].gainDb, 12.0) << "sanitised";

    engine.prepare (48000, 512);
    EXPECT_FALSE (engine.isDesignPending()) << "a new route starts with nothing pending";
}

} // namespace brindle::test
