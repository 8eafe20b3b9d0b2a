#include "common/JsonReader.h"
#include "common/JsonWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace brindle::test
{

namespace
{
    std::string bytesOf (const juce::String& text)
    {
        return { text.toRawUTF8(), text.getNumBytesAsUTF8() };
    }

    std::string singleLine (const juce::var& value)
    {
        return bytesOf (toJson (value, JsonLayout::singleLine));
    }

    std::string indented (const juce::var& value)
    {
        return bytesOf (toJson (value, JsonLayout::indented));
    }

    juce::String fromCodePoints (std::initializer_list<juce::juce_wchar> codePoints)
    {
        juce::String text;

        for (auto c : codePoints)
            text += juce::String::charToString (c);

        return text;
    }

    juce::var parsed (const char* json)
    {
        juce::var value;
        EXPECT_TRUE (juce::JSON::parse (juce::String::fromUTF8 (json), value).wasOk()) << json;
        return value;
    }

    /** Containers nested `levels` deep, each the only element (or member "a") of the one around
        it. Every level stays referenced from here, so that taking the value apart at the end
        never recurses. */
    class NestedValue
    {
    public:
        enum class Kind { arrays, objects };

        NestedValue (Kind kind, int levels)
        {
            juce::var inner;

            for (int i = 0; i < levels; ++i)
            {
                if (kind == Kind::arrays)
                {
                    inner = inner.isVoid() ? juce::var (juce::Array<juce::var>()) : juce::var (juce::Array<juce::var> { inner });
                }
                else
                {
                    auto* object = new juce::DynamicObject();

                    if (! inner.isVoid())
                        object->setProperty ("a", inner);

                    inner = juce::var (object);
                }

                levels_.push_back (inner);
            }
        }

        ~NestedValue()
        {
            for (auto& level : levels_)
            {
                if (auto* array = level.getArray())
                    array->clear();
                else if (auto* object = level.getDynamicObject())
                    object->clear();
            }
        }

        NestedValue (const NestedValue&) = delete;
        NestedValue& operator= (const NestedValue&) = delete;

        const juce::var& outermost() const { return levels_.back(); }

    private:
        std::vector<juce::var> levels_;
    };
}

TEST (JsonWriter, TextIsUtf8WithOnlyTheJsonEscapes)
{
    struct Case { juce::String text; std::string expected; };
    const Case cases[] = {
        { "plain / text", "\"plain / text\"" },
        { "a\"b\\c", "\"a\\\"b\\\\c\"" },
        { "\b\t\n\f\r", "\"\\b\\t\\n\\f\\r\"" },
        { fromCodePoints ({ 0x07, 0x01, 0x1f, 0x1b }), "\"\\u0007\\u0001\\u001f\\u001b\"" },
        { fromCodePoints ({ 0x7f }), "\"\x7f\"" },
        { juce::String::fromUTF8 ("Wohnzimmer S\xc3\xbc" "d \xe2\x82\xac"), "\"Wohnzimmer S\xc3\xbc" "d \xe2\x82\xac\"" },
        { fromCodePoints ({ 0x1f600 }), "\"\xf0\x9f\x98\x80\"" },
        // What the framework's parser makes of "\ud83d\ude00": two code points, one character.
        { fromCodePoints ({ 0xd83d, 0xde00 }), "\"\xf0\x9f\x98\x80\"" },
        { fromCodePoints ({ 'x', 0xd800, 'y', 0xdfff }), "\"x\\ud800y\\udfff\"" },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (singleLine (c.text), c.expected);
        EXPECT_EQ (indented (c.text), c.expected);
    }

    EXPECT_EQ (singleLine (parsed ("{\"k\\u00e9y\\n\": 1}")), "{\"k\xc3\xa9y\\n\": 1}") << "keys follow the same rules";
}

TEST (JsonWriter, NumbersKeepTheirKindWithAtMostFifteenDecimals)
{
    struct Case { juce::var value; std::string expected; };
    const Case cases[] = {
        { 42, "42" },
        { -7, "-7" },
        { (juce::int64) 1 << 40, "1099511627776" },
        { 48000.0, "48000.0" },
        { 0.0, "0.0" },
        { -0.0, "-0.0" },
        { 1234567.0, "1234567.0" },
        { -2.5, "-2.5" },
        { 0.1, "0.1" },
        { 5.555, "5.555" },
        { 123456789.125, "123456789.125" },
        { 0.000001, "0.000001" },
        { 1.5e-10, "0.00000000015" },
        { 1.0 / 3.0, "0.333333333333333" },
        { 0.1 + 0.2, "0.3" },                       // 0.30000000000000004 needs 17
        { 2.0 / 3.0 * 1.0e-3, "0.000666666666667" },
        { 1.0e-20, "0.0" },
        { -1.0e-20, "-0.0" },
        { 999999999999999.9, "999999999999999.9" },
        { 1.0e15, "1e+15" },
        { -2.5e300, "-2.5e+300" },
        { std::numeric_limits<double>::quiet_NaN(), "null" },
        { std::numeric_limits<double>::infinity(), "null" },
        { -std::numeric_limits<double>::infinity(), "null" },
        { true, "true" },
        { false, "false" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (singleLine (c.value), c.expected);
}

TEST (JsonWriter, ADoubleReadsBackAsTheSameDouble)
{
    const double values[] = { 48000.0, 44100.5, -3.25, 0.70710678118654, 1.0e-5, 96000.0, 1.0e15, 6.02e23 };

    for (const auto value : values)
    {
        const auto text = toJson (juce::Array<juce::var> { value }, JsonLayout::singleLine);
        const auto back = juce::JSON::parse (text)[0];
        EXPECT_TRUE (back.isDouble()) << text << " must not read back as an integer";
        EXPECT_EQ ((double) back, value) << text;
    }
}

TEST (JsonWriter, NestedValuesInBothLayouts)
{
    const auto value = parsed (R"({"version": 1, "bands": [{"id": "a", "on": true}, 2.5, []],)"
                               R"( "library": {}, "deep": {"inner": {}, "list": [null, "x"]}})");

    EXPECT_EQ (singleLine (value),
               R"({"version": 1, "bands": [{"id": "a", "on": true}, 2.5, []], "library": {}, )"
               R"("deep": {"inner": {}, "list": [null, "x"]}})");

    EXPECT_EQ (indented (value),
               "{\r\n"
               "  \"version\": 1,\r\n"
               "  \"bands\": [\r\n"
               "    {\r\n"
               "      \"id\": \"a\",\r\n"
               "      \"on\": true\r\n"
               "    },\r\n"
               "    2.5,\r\n"
               "    []\r\n"
               "  ],\r\n"
               "  \"library\": {\r\n"
               "  },\r\n"
               "  \"deep\": {\r\n"
               "    \"inner\": {\r\n"
               "    },\r\n"
               "    \"list\": [\r\n"
               "      null,\r\n"
               "      \"x\"\r\n"
               "    ]\r\n"
               "  }\r\n"
               "}");
}

TEST (JsonWriter, EmptyContainersAtTheTop)
{
    const juce::var emptyObject (new juce::DynamicObject());
    const juce::var emptyArray (juce::Array<juce::var> {});

    EXPECT_EQ (indented (emptyObject), "{\r\n}");
    EXPECT_EQ (singleLine (emptyObject), "{}");
    EXPECT_EQ (indented (emptyArray), "[]");
    EXPECT_EQ (singleLine (emptyArray), "[]");
}

TEST (JsonWriter, ValuesJsonCannotHoldBecomeNull)
{
    juce::MemoryBlock bytes ("ab", 2);
    const juce::var method (juce::var::NativeFunction ([] (const juce::var::NativeFunctionArgs&) { return juce::var(); }));
    juce::Array<juce::var> values { juce::var(), juce::var::undefined(), juce::var (bytes), method };

    EXPECT_EQ (singleLine (values), "[null, null, null, null]");
}

TEST (JsonWriter, ContainersNestedDeeperThanSixtyFourLevelsAreWrittenAsNull)
{
    // Sixty-four levels is as deep as a JSON text may nest to be read back.
    const NestedValue deepArrays (NestedValue::Kind::arrays, 100000);
    const auto arraysCut = std::string (64, '[') + "null" + std::string (64, ']');
    EXPECT_EQ (singleLine (deepArrays.outermost()), arraysCut);
    EXPECT_LT (indented (deepArrays.outermost()).size(), (size_t) 10000);

    const NestedValue deepObjects (NestedValue::Kind::objects, 100000);
    std::string objectsCut;
    for (int i = 0; i < 64; ++i)
        objectsCut += "{\"a\": ";
    objectsCut += "null" + std::string (64, '}');
    EXPECT_EQ (singleLine (deepObjects.outermost()), objectsCut);

    const NestedValue deepest (NestedValue::Kind::arrays, 64);
    EXPECT_EQ (singleLine (deepest.outermost()), std::string (64, '[') + std::string (64, ']')) << "written whole";
}

TEST (JsonWriter, AReadableTextIsWrittenExactlyWhenTheReaderTakesItBack)
{
    // Members named "n<first>" onward, each holding its number.
    const auto objectOf = [] (int count, int first = 0)
    {
        auto* object = new juce::DynamicObject();
        for (int i = first; i < first + count; ++i)
            object->setProperty ("n" + juce::String (i), i);
        return juce::var (object);
    };
    const auto textOfBytes = [] (size_t bytes) { return juce::Array<juce::var> { juce::String::repeatedString ("x", (int) bytes - 4) }; };

    struct Case { const char* what; juce::var value; JsonLayout layout; bool readable; };
    const Case cases[] = {
        { "1024 members", objectOf (1024), JsonLayout::indented, true },
        { "1025 members", objectOf (1025), JsonLayout::indented, false },
        { "2048 names", juce::Array<juce::var> { objectOf (1024), objectOf (1024, 1024) }, JsonLayout::indented, true },
        { "2049 names", juce::Array<juce::var> { objectOf (1024), objectOf (1024, 1024), objectOf (1, 2048) }, JsonLayout::indented, false },
        { "the same names again", juce::Array<juce::var> { objectOf (1024), objectOf (1024), objectOf (1024) }, JsonLayout::indented, true },
        { "8 MiB", textOfBytes (maxJsonTextBytes), JsonLayout::singleLine, true },
        { "8 MiB and a byte", textOfBytes (maxJsonTextBytes + 1), JsonLayout::singleLine, false },
    };

    for (const auto& c : cases)
    {
        const auto readable = toReadableJsonUtf8 (c.value, c.layout);
        const auto text = toJsonUtf8 (c.value, c.layout);
        juce::var back;
        const auto taken = parseJson (juce::String::fromUTF8 (text.data(), (int) text.size()), back);

        EXPECT_EQ (readable.has_value(), c.readable) << c.what;
        EXPECT_EQ (taken.wasOk(), c.readable) << c.what << ": the reader agrees";

        if (readable.has_value())
        {
            EXPECT_TRUE (*readable == text) << c.what << ": the same bytes";
        }
    }
}

// Stored one level further down (a room in the library), a state the reader took at its
// deepest would lose its innermost container to a null: that is no text to store.
TEST (JsonWriter, ATextThatWouldComeBackWithoutItsDeepestContainerIsNotReadable)
{
    const auto nested = [] (int levels)
    {
        juce::var value = juce::Array<juce::var> { 1 };
        for (int i = 1; i < levels; ++i)
            value = juce::Array<juce::var> { value };
        return value;
    };

    EXPECT_TRUE (toReadableJsonUtf8 (nested (maxJsonDepth), JsonLayout::indented).has_value());
    EXPECT_FALSE (toReadableJsonUtf8 (nested (maxJsonDepth + 1), JsonLayout::indented).has_value());

    auto* room = new juce::DynamicObject();
    room->setProperty ("deep", nested (maxJsonDepth));
    EXPECT_FALSE (toReadableJsonUtf8 (juce::var (room), JsonLayout::singleLine).has_value()) << "an object around it";
}

} // namespace brindle::test
