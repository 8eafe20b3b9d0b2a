#include "StateBits.h"

#include "engine/StateParser.h"

#include <gtest/gtest.h>

#include <random>

namespace brindle::test
{

namespace
{
    CorrectionState parsed (const char* json)
    {
        const auto result = CorrectionState::fromJson (json);
        EXPECT_TRUE (result.ok) << json << ": " << result.error;
        EXPECT_TRUE (result.error.isEmpty());
        return result.state;
    }

    juce::String errorFor (const char* json)
    {
        const auto result = CorrectionState::fromJson (json);
        EXPECT_FALSE (result.ok) << json;
        EXPECT_EQ (result.state.bandCount, 0);
        EXPECT_EQ (result.state.correctionPct, 100.0) << "a failed read carries the default state";
        return result.error;
    }
}

TEST (StateParser, FailuresAreReportedWithTheirReason)
{
    EXPECT_TRUE (errorFor ("{\"bands\": [").startsWith ("could not parse the state: "));
    EXPECT_GT (errorFor ("{\"bands\": [").length(), juce::String ("could not parse the state: ").length())
        << "the parser's own description follows";
    EXPECT_TRUE (errorFor ("42").startsWith ("could not parse the state: ")) << "a bare number is a parser fault";
    EXPECT_TRUE (errorFor ("\"text\"").startsWith ("could not parse the state: "));

    EXPECT_EQ (errorFor (""), "state is not an object");
    EXPECT_EQ (errorFor ("  \n\t "), "state is not an object");
    EXPECT_EQ (errorFor ("[{\"bands\": []}]"), "state is not an object");

    EXPECT_EQ (errorFor ("{}"), "state has no bands array");
    EXPECT_EQ (errorFor ("{\"bands\": {}}"), "state has no bands array");
    EXPECT_EQ (errorFor ("{\"bands\": null, \"correctionPct\": 50}"), "state has no bands array");
}

TEST (StateParser, TextNestedTooDeeplyIsAParserFault)
{
    auto nested = [] (int levels) { return juce::String::repeatedString ("[", levels) + juce::String::repeatedString ("]", levels); };
    auto deepObjects = [] (int levels) { return juce::String::repeatedString ("{\"x\":", levels - 1) + "{}" + juce::String::repeatedString ("}", levels - 1); };

    // The state object is the first level.
    for (const auto& json : { "{\"bands\": " + nested (100000) + "}",
                              "{\"bands\": [], \"baseline\": " + deepObjects (100000) + "}",
                              "{\"bands\": [], \"baseline\": " + nested (64) + "}" })
    {
        const auto error = errorFor (json.toRawUTF8());
        EXPECT_TRUE (error.startsWith ("could not parse the state: ")) << error;
        EXPECT_TRUE (error.contains ("64")) << "says how deep a text may nest: " << error;
    }

    EXPECT_EQ (parsed (("{\"bands\": [], \"baseline\": " + nested (63) + "}").toRawUTF8()).bandCount, 0);
    EXPECT_EQ (parsed (("{\"bands\": [], \"baseline\": " + deepObjects (63) + "}").toRawUTF8()).bandCount, 0);
}

TEST (StateParser, AnEmptyBandListGivesTheEngineDefaults)
{
    // The defaults themselves are checked where the record is defined.
    EXPECT_TRUE (sameState (parsed ("{\"bands\":[]}"), CorrectionState()));
}

TEST (StateParser, TheAmountGatesTheDelaysOutputAndBypass)
{
    const auto without = parsed ("{\"bands\":[],\"delayLeftMs\":5,\"delayRightMs\":2,\"outputDb\":-3,\"bypass\":true}");
    EXPECT_EQ (without.delayLeftMs, 0.0);
    EXPECT_EQ (without.delayRightMs, 0.0);
    EXPECT_EQ (without.outputDb, 0.0);
    EXPECT_FALSE (without.bypass);
    EXPECT_EQ (without.correctionPct, 100.0);

    const auto with = parsed ("{\"bands\":[],\"correctionPct\":65,\"delayLeftMs\":5,\"delayRightMs\":2,\"outputDb\":-3,\"bypass\":true}");
    EXPECT_EQ (with.correctionPct, 65.0);
    EXPECT_EQ (with.delayLeftMs, 5.0);
    EXPECT_EQ (with.delayRightMs, 2.0);
    EXPECT_EQ (with.outputDb, -3.0);
    EXPECT_TRUE (with.bypass);

    const auto missingOthers = parsed ("{\"bands\":[],\"correctionPct\":65}");
    EXPECT_EQ (missingOthers.delayLeftMs, 0.0);
    EXPECT_EQ (missingOthers.outputDb, 0.0);
    EXPECT_FALSE (missingOthers.bypass);

    EXPECT_EQ (parsed ("{\"bands\":[],\"correctionPct\":null}").correctionPct, 0.0) << "present, reads as 0";
    EXPECT_EQ (parsed ("{\"bands\":[],\"correctionPct\":\"40\"}").correctionPct, 40.0) << "a text holding a number";
    EXPECT_EQ (parsed ("{\"bands\":[],\"correctionPct\":250,\"delayLeftMs\":99}").delayLeftMs, 20.0) << "then sanitised";
}

TEST (StateParser, BandsAreReadWithTheEnginesOwnDefaults)
{
    const auto state = parsed (R"({"bands":[
        {"id":"a","freqHz":120.5,"gainDb":-4.5,"q":3,"type":"bell","stereo":"stereo","on":true},
        {"gainDb":2},
        {"freqHz":8000,"gainDb":1,"q":0.7,"type":"highshelf","stereo":"left"},
        {"freqHz":60,"type":"lowshelf","stereo":"right"},
        {"type":"LowShelf","stereo":"Left"},
        {"type":"lowpass"}, {"type":"highpass"}, {"type":"bandpass"}, {"type":"notch"}
    ]})");

    ASSERT_EQ (state.bandCount, 9);

    const auto& first = state.bands[0];
    EXPECT_EQ (first.freqHz, 120.5);
    EXPECT_EQ (first.gainDb, -4.5);
    EXPECT_EQ (first.q, 3.0);
    EXPECT_EQ (first.type, BandType::bell);
    EXPECT_TRUE (first.left && first.right);

    EXPECT_EQ (state.bands[1].freqHz, 10.0) << "missing frequency reads as 0, clamped to 10 Hz";
    EXPECT_EQ (state.bands[1].q, 0.1) << "missing Q reads as 0, clamped to 0.1";

    EXPECT_EQ (state.bands[2].type, BandType::highShelf);
    EXPECT_TRUE (state.bands[2].left);
    EXPECT_FALSE (state.bands[2].right);

    EXPECT_EQ (state.bands[3].type, BandType::lowShelf);
    EXPECT_FALSE (state.bands[3].left);
    EXPECT_TRUE (state.bands[3].right);

    EXPECT_EQ (state.bands[4].type, BandType::bell) << "texts compare exactly, letter case included";
    EXPECT_TRUE (state.bands[4].left && state.bands[4].right);

    EXPECT_EQ (state.bands[5].type, BandType::lowPass);
    EXPECT_EQ (state.bands[6].type, BandType::highPass);
    EXPECT_EQ (state.bands[7].type, BandType::bandPass);
    EXPECT_EQ (state.bands[8].type, BandType::bell);
}

TEST (StateParser, SwitchedOffAndNonObjectBandsAreSkippedAndDoNotCount)
{
    const auto state = parsed (R"({"bands":[
        {"freqHz":100,"on":false}, {"freqHz":200,"on":null}, 7, "band", null, [],
        {"freqHz":300}, {"freqHz":400,"on":true}
    ]})");

    ASSERT_EQ (state.bandCount, 2);
    EXPECT_EQ (state.bands[0].freqHz, 300.0);
    EXPECT_EQ (state.bands[1].freqHz, 400.0);
}

TEST (StateParser, AtMostTwentyFourBandsAreTaken)
{
    auto listOf = [] (int count, int switchedOff) {
        juce::String json ("{\"bands\":[");
        for (int i = 0; i < count; ++i)
            json << (i ? "," : "") << "{\"freqHz\":" << (100 + i) << (i == switchedOff ? ",\"on\":false}" : "}");
        return json + "]}";
    };

    const auto all = CorrectionState::fromJson (listOf (30, -1)).state;
    EXPECT_EQ (all.bandCount, 24);
    EXPECT_EQ (all.bands[23].freqHz, 123.0);

    const auto thirdOff = CorrectionState::fromJson (listOf (30, 2)).state;
    EXPECT_EQ (thirdOff.bandCount, 24);
    EXPECT_EQ (thirdOff.bands[2].freqHz, 103.0);
    EXPECT_EQ (thirdOff.bands[23].freqHz, 124.0) << "the first 25 are walked";
}

TEST (StateParser, HeadroomPhaseAndQualityAreReadExactly)
{
    EXPECT_FALSE (parsed ("{\"bands\":[],\"safeHeadroom\":null}").safeHeadroom) << "present and null reads as off";
    EXPECT_FALSE (parsed ("{\"bands\":[],\"safeHeadroom\":false}").safeHeadroom);
    EXPECT_TRUE (parsed ("{\"bands\":[],\"safeHeadroom\":true}").safeHeadroom);

    EXPECT_EQ (parsed ("{\"bands\":[],\"phaseMode\":\"linear\"}").phaseMode, PhaseMode::linear);
    EXPECT_EQ (parsed ("{\"bands\":[],\"phaseMode\":\"Linear\"}").phaseMode, PhaseMode::minimum);
    EXPECT_EQ (parsed ("{\"bands\":[],\"phaseMode\":1}").phaseMode, PhaseMode::minimum);

    EXPECT_EQ (parsed ("{\"bands\":[],\"firQuality\":\"low\"}").firQuality, FirQuality::low);
    EXPECT_EQ (parsed ("{\"bands\":[],\"firQuality\":\"high\"}").firQuality, FirQuality::high);
    EXPECT_EQ (parsed ("{\"bands\":[],\"firQuality\":\"HIGH\"}").firQuality, FirQuality::medium);
    EXPECT_EQ (parsed ("{\"bands\":[],\"firQuality\":null}").firQuality, FirQuality::medium);
}

TEST (StateParser, ParsedValuesAreSanitised)
{
    const auto state = parsed (R"({"bands":[{"freqHz":1e9,"gainDb":-99,"q":"abc"}],"correctionPct":"abc","outputDb":1e400})");

    EXPECT_EQ (state.bands[0].freqHz, 24000.0);
    EXPECT_EQ (state.bands[0].gainDb, -30.0);
    EXPECT_EQ (state.bands[0].q, 0.1) << "a text that is no number reads as 0";
    EXPECT_EQ (state.correctionPct, 0.0);
    EXPECT_LE (state.outputDb, 12.0);
}

TEST (StateParser, ReadPropertyIgnoresMethods)
{
    juce::DynamicObject object;
    object.setProperty ("n", 3);
    object.setMethod ("m", [] (const juce::var::NativeFunctionArgs&) { return juce::var (1); });

    EXPECT_EQ ((int) readProperty (object, "n"), 3);
    EXPECT_TRUE (readProperty (object, "m").isVoid());
    EXPECT_TRUE (readProperty (object, "missing").isVoid());
}

TEST (StateParser, FromVarRejectsValuesThatAreNotObjects)
{
    for (const auto& value : { juce::var(), juce::var (3), juce::var ("x"), juce::var (true), juce::var (juce::Array<juce::var>()) })
        EXPECT_EQ (CorrectionState::fromVar (value).error, "state is not an object");
}

} // namespace brindle::test

namespace brindle::test
{

namespace
{
    /** Random JSON values made mostly of the keys and texts a state uses, so that the reader's
        branches are reached, not just its first check. */
    struct RandomJson
    {
        std::mt19937 random;

        juce::var value (int depth)
        {
            switch (random() % (depth > 3 ? 5 : 8))
            {
                case 0: return {};
                case 1: return (random() % 2) == 0;
                case 2: return std::uniform_real_distribution<double> (-1e5, 1e5) (random);
                case 3: return (int) (random() % 40) - 10;
                case 4: return text();
                case 5: case 6: return object (depth + 1);
                default: return array (depth + 1);
            }
        }

        juce::String text()
        {
            static const char* texts[] = { "linear", "minimum", "low", "high", "left", "right", "stereo",
                                           "lowshelf", "highshelf", "lowpass", "highpass", "bandpass", "bell",
                                           "40", "1e999", "", "\xc3\xa9" };
            return texts[random() % std::size (texts)];
        }

        juce::var object (int depth)
        {
            static const char* keys[] = { "bands", "correctionPct", "delayLeftMs", "delayRightMs", "outputDb", "bypass",
                                          "safeHeadroom", "phaseMode", "firQuality", "freqHz", "gainDb", "q", "type",
                                          "stereo", "on", "id", "version" };
            auto* object = new juce::DynamicObject();
            const int count = (int) (random() % 8);
            for (int i = 0; i < count; ++i)
            {
                const char* key = keys[random() % std::size (keys)];
                object->setProperty (key, juce::String (key) == "bands" && depth < 3 && random() % 3 != 0 ? array (depth + 1) : value (depth + 1));
            }
            return juce::var (object);
        }

        juce::var array (int depth)
        {
            juce::Array<juce::var> items;
            const int count = (int) (random() % 30);
            for (int i = 0; i < count; ++i)
                items.add (random() % 3 == 0 || depth >= 3 ? value (depth + 1) : object (depth + 1));
            return items;
        }

        juce::String mutated (juce::String json)
        {
            switch (random() % 4)
            {
                case 0: return json.substring (0, (int) (random() % (unsigned) (json.length() + 1)));
                case 1:
                {
                    const int at = json.isEmpty() ? 0 : (int) (random() % (unsigned) json.length());
                    return json.substring (0, at) + juce::String::charToString ((juce::juce_wchar) (" {}[]\",:0a\\" [random() % 11])) + json.substring (at + 1);
                }
                default: return json;
            }
        }
    };

    bool isOneOfTheErrors (const juce::String& error)
    {
        return error.startsWith ("could not parse the state: ") || error == "state is not an object" || error == "state has no bands array";
    }
}

TEST (StateParser, RandomTextsNeverCrashAndFailOnlyWithTheKnownReasons)
{
    const unsigned seed = 1210;
    RandomJson generator { std::mt19937 (seed) };
    int accepted = 0, rejected = 0;

    for (int i = 0; i < 5000; ++i)
    {
        const auto json = generator.mutated (juce::JSON::toString (i % 4 == 0 ? generator.value (0) : generator.object (0), true));
        const auto result = CorrectionState::fromJson (json);

        if (result.ok)
        {
            ++accepted;
            ASSERT_TRUE (result.error.isEmpty());
            ASSERT_LE (result.state.bandCount, 24);
            ASSERT_TRUE (sameState (CorrectionState::sanitized (result.state), result.state)) << json << " (seed " << seed << ")";
        }
        else
        {
            ++rejected;
            ASSERT_TRUE (isOneOfTheErrors (result.error)) << result.error << " for " << json << " (seed " << seed << ")";
        }
    }

    EXPECT_GT (accepted, 300) << "the generator must reach the reading of real states";
    EXPECT_GT (rejected, 300);
}

} // namespace brindle::test
