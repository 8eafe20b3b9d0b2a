// The page and the engine each work out which bands are in force, the safe headroom and the
// FIR length from the same state text. The page writes what it computed into a fixture
// (tools/make-parity-fixture.js); here the engine reads the same texts and must agree, and
// where the two rules are known to differ the test shows that difference is the only one.
#include "engine/BandsInForce.h"
#include "engine/CorrectionEngine.h"
#include "engine/FirLength.h"
#include "engine/PathLatency.h"
#include "engine/SafeHeadroom.h"
#include "engine/StateParseResult.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <cmath>

namespace brindle::test
{

namespace
{
    juce::var loadFixture()
    {
        const juce::File file (juce::String (BRINDLE_SOURCE_DIR) + "/tests/fixtures/state-parity.json");
        juce::var parsed;
        const auto outcome = juce::JSON::parse (file.loadFileAsString(), parsed);
        EXPECT_TRUE (outcome.wasOk()) << outcome.getErrorMessage();
        return parsed;
    }

    const juce::var& fixture()
    {
        static const juce::var loaded = loadFixture();
        return loaded;
    }

    juce::String typeName (BandType type)
    {
        switch (type)
        {
            case BandType::lowShelf:  return "lowshelf";
            case BandType::highShelf: return "highshelf";
            case BandType::lowPass:   return "lowpass";
            case BandType::highPass:  return "highpass";
            case BandType::bandPass:  return "bandpass";
            case BandType::bell:      break;
        }
        return "bell";
    }

    bool isShelf (BandType type) { return type == BandType::lowShelf || type == BandType::highShelf; }

    /** The page's read-out of the headroom: bells only, each at its own frequency (no design
        clamp), on the full 128-point grid. Written here from that description alone. */
    double pageRuleHeadroomDb (const CorrectionState& state, double sampleRate)
    {
        const double ratio = std::pow (1000.0, 1.0 / 127.0);
        double peak = 0;

        for (auto channel : { Channel::left, Channel::right })
        {
            double f = 20;
            for (int point = 0; point < 128; ++point, f *= ratio)
            {
                double sum = 0;
                for (int slot = 0; slot < state.bandCount; ++slot)
                {
                    const auto& band = state.bands[(size_t) slot];
                    if (band.type != BandType::bell || ! isBandInForce (state, slot, channel))
                        continue;
                    const auto section = designBiquad (BandType::bell, band.freqHz, sampleRate, band.q,
                                                       appliedGainDb (state.correctionPct, band.gainDb));
                    sum += magnitudeDbAt (section, 2 * 3.141592653589793 * f / sampleRate);
                }
                peak = std::max (peak, sum);
            }
        }

        return peak > 0 ? -(std::floor (peak * 100 + 0.5) / 100) : 0.0;
    }

    CorrectionState withoutShelves (CorrectionState state)
    {
        CorrectionState kept = state;
        kept.bandCount = 0;
        for (int slot = 0; slot < state.bandCount; ++slot)
            if (! isShelf (state.bands[(size_t) slot].type))
                kept.bands[(size_t) kept.bandCount++] = state.bands[(size_t) slot];
        return kept;
    }

    CorrectionState withBellsAtTheClamp (CorrectionState state, double sampleRate)
    {
        for (int slot = 0; slot < state.bandCount; ++slot)
            state.bands[(size_t) slot].freqHz = std::min (state.bands[(size_t) slot].freqHz, 0.49 * sampleRate);
        return state;
    }

    CorrectionState parsedCase (const juce::var& testCase)
    {
        const auto result = CorrectionState::fromJson (testCase["stateJson"].toString());
        EXPECT_TRUE (result.ok) << testCase["name"].toString() << ": " << result.error;
        return result.state;
    }
}

TEST (StateParity, TheFixtureHoldsCases)
{
    ASSERT_TRUE (fixture()["cases"].isArray());
    EXPECT_GT (fixture()["cases"].size(), 100);
}

TEST (StateParity, BandsInForceAgreeOnEveryChannel)
{
    for (const auto& testCase : *fixture()["cases"].getArray())
    {
        const auto state = parsedCase (testCase);
        const auto name = testCase["name"].toString();

        for (auto channel : { Channel::left, Channel::right })
        {
            const auto& expected = *testCase["bandsInForce"][channel == Channel::left ? "left" : "right"].getArray();
            std::vector<const CorrectionBand*> inForce;
            for (int slot = 0; slot < state.bandCount; ++slot)
                if (isBandInForce (state, slot, channel))
                    inForce.push_back (&state.bands[(size_t) slot]);

            ASSERT_EQ (inForce.size(), (size_t) expected.size()) << name;

            for (size_t i = 0; i < inForce.size(); ++i)
            {
                const auto& band = *inForce[i];
                EXPECT_EQ (band.freqHz, (double) expected[(int) i]["freqHz"]) << name << " band " << i;
                EXPECT_EQ (band.q, (double) expected[(int) i]["q"]) << name << " band " << i;
                EXPECT_EQ (typeName (band.type), expected[(int) i]["type"].toString()) << name << " band " << i;
                EXPECT_NEAR (appliedGainDb (state.correctionPct, band.gainDb), (double) expected[(int) i]["gainDb"], 1e-12)
                    << name << " band " << i;
            }
        }
    }
}

TEST (StateParity, SafeHeadroomAgreesWhereTheRulesAgreeAndDiffersOnlyAsDescribed)
{
    const auto& rates = *fixture()["sampleRates"].getArray();
    int agreeing = 0, shelves = 0, clamped = 0;

    for (const auto& testCase : *fixture()["cases"].getArray())
    {
        const auto state = parsedCase (testCase);
        const auto name = testCase["name"].toString();

        for (int r = 0; r < rates.size(); ++r)
        {
            const double fs = rates[r];
            const double page = testCase["headroomDb"][r];
            const auto& reasons = *testCase["headroomDiffers"][r].getArray();
            const auto where = name + " at " + juce::String (fs);

            // The page's figure is exactly its own rule, whatever the state holds.
            EXPECT_NEAR (pageRuleHeadroomDb (state, fs), page, 1e-9) << where;

            if (reasons.isEmpty())
            {
                EXPECT_NEAR (headroomDbFor (fs, state), page, 1e-9) << where;
                ++agreeing;
            }
            else if (reasons.size() == 1 && reasons[0] == "shelf")
            {
                // The engine guards shelf boosts too; without the shelves the two agree.
                EXPECT_NEAR (headroomDbFor (fs, withoutShelves (state)), page, 1e-9) << where;
                ++shelves;
            }
            else
            {
                // A bell above 0.49 of the rate: the engine designs it at the clamp, the page
                // where it is. Moved to the clamp, and shelves left out, the two agree.
                ASSERT_TRUE (reasons.contains ("designClamp")) << where;
                EXPECT_NEAR (pageRuleHeadroomDb (withBellsAtTheClamp (state, fs), fs), headroomDbFor (fs, withoutShelves (state)), 1e-9)
                    << where;
                ++clamped;
            }
        }
    }

    EXPECT_GT (agreeing, 100);
    EXPECT_GT (shelves, 10);
    EXPECT_GT (clamped, 10);
}

TEST (StateParity, FirLengthsDifferOnlyWhereThePageRoundsUpAFraction)
{
    for (const auto& row : *fixture()["firLengths"].getArray())
    {
        const auto quality = row["quality"].toString() == "low" ? FirQuality::low
                           : row["quality"].toString() == "high" ? FirQuality::high : FirQuality::medium;
        const double fs = row["sampleRate"];
        const double scaled = row["scaledLength"];
        const int page = row["pageTaps"];
        const int engine = firLengthFor (quality, fs);

        // The engine truncates the scaled length before rounding up to a block, the page does not.
        EXPECT_EQ (engine, ((int) scaled + 1023) / 1024 * 1024) << row["quality"].toString() << " at " << fs;
        EXPECT_EQ (page, (int) std::ceil (scaled / 1024) * 1024);
        if (scaled == std::floor (scaled))
        {
            EXPECT_EQ (engine, page) << row["quality"].toString() << " at " << fs;
        }
    }

    EXPECT_EQ (firLengthFor (FirQuality::low, 60005.859375), 5120);
}

TEST (StateParity, EveryCaseStatesItsFirLengthAsTheEngineWould)
{
    const auto& rates = *fixture()["sampleRates"].getArray();

    for (const auto& testCase : *fixture()["cases"].getArray())
    {
        const auto state = parsedCase (testCase);
        for (int r = 0; r < rates.size(); ++r)
            EXPECT_EQ (firLengthFor (state.firQuality, rates[r]), (int) testCase["firTaps"][r]) << testCase["name"].toString();
    }
}

TEST (StateParity, TheDelayTheCorrectionAddsAgreesInBothPhaseModes)
{
    const auto& rates = *fixture()["sampleRates"].getArray();
    int compared = 0, linear = 0;

    for (int r = 0; r < rates.size(); ++r)
    {
        CorrectionEngine engine;
        engine.prepare (rates[r], 512);

        for (const auto& testCase : *fixture()["cases"].getArray())
        {
            const auto state = parsedCase (testCase);
            engine.applyState (state);
            linear += state.phaseMode == PhaseMode::linear ? 1 : 0;
            const double engineSamples = engineDelaySamples (engine.getLatencyMaxDelayMs(), engine.getSampleRate(),
                                                             engine.getLatencyPhaseMode(), engine.getLatencyFirTaps());
            EXPECT_NEAR (engineSamples, (double) testCase["latencySamples"][r], 1e-9) << testCase["name"].toString();
            ++compared;
        }
    }

    EXPECT_GT (compared, 300);
    EXPECT_GT (linear, 20) << "linear states are compared too";
}

} // namespace brindle::test
