#include "common/JsonReader.h"
#include "common/JsonWriter.h"

#include <gtest/gtest.h>

#include <charconv>
#include <limits>
#include <string>
#include <vector>

namespace brindle::test
{

namespace
{
    /** The value with the kind of every number, so that an int read as an int64 or a double
        shows; texts as the writer puts them. */
    std::string describe (const juce::var& value)
    {
        if (value.isVoid())   return "null";
        if (value.isBool())   return (bool) value ? "true" : "false";
        if (value.isInt())    return "int " + std::to_string ((int) value);
        if (value.isInt64())  return "int64 " + std::to_string ((juce::int64) value);
        if (value.isString()) return toJson (value, JsonLayout::singleLine).toStdString();

        if (value.isDouble())
        {
            char digits[64];
            const auto end = std::to_chars (digits, digits + sizeof (digits), (double) value).ptr;
            return "double " + std::string (digits, end);
        }

        std::string text;

        if (auto* elements = value.getArray())
        {
            for (const auto& element : *elements)
                text += (text.empty() ? "" : ", ") + describe (element);

            return "[" + text + "]";
        }

        if (auto* object = value.getDynamicObject())
        {
            for (const auto& member : object->getProperties())
                text += (text.empty() ? "" : ", ") + member.name.toString().toStdString() + ": " + describe (member.value);

            return "{" + text + "}";
        }

        return "something else";
    }

    juce::var read (const std::string& json)
    {
        juce::var value;
        const auto result = parseJson (juce::String::fromUTF8 (json.data(), (int) json.size()), value);
        EXPECT_TRUE (result.wasOk()) << json << ": " << result.getErrorMessage();
        return value;
    }

    juce::String errorFor (const std::string& json)
    {
        juce::var value (42);
        const auto result = parseJson (juce::String::fromUTF8 (json.data(), (int) json.size()), value);
        EXPECT_TRUE (result.failed()) << json;
        EXPECT_TRUE (value.isVoid()) << json << ": nothing is read from malformed text";
        return result.getErrorMessage();
    }

    std::string nestedArrays (int levels)
    {
        return std::string ((size_t) levels, '[') + std::string ((size_t) levels, ']');
    }

    std::string nestedObjects (int levels)
    {
        std::string text;

        for (int i = 1; i < levels; ++i)
            text += "{\"a\":";

        return text + "{}" + std::string ((size_t) levels - 1, '}');
    }

    /** An object of `count` members named "n<first>", "n<first + 1>" and on, or all
        "n<first>" when `repeated`; member i holds i. */
    std::string objectOfMembers (int count, int first = 0, bool repeated = false)
    {
        std::string text = "{";

        for (int i = 0; i < count; ++i)
            text += (i == 0 ? "\"n" : ", \"n") + std::to_string (repeated ? first : first + i) + "\": " + std::to_string (i);

        return text + "}";
    }

    std::string arrayOf (const std::vector<std::string>& elements)
    {
        std::string text = "[";

        for (const auto& element : elements)
            text += (text.size() > 1 ? ", " : "") + element;

        return text + "]";
    }

    int membersIn (const juce::var& value)
    {
        int count = 0;

        if (auto* object = value.getDynamicObject())
            for (const auto& member : object->getProperties())
                count += 1 + membersIn (member.value);

        if (auto* elements = value.getArray())
            for (const auto& element : *elements)
                count += membersIn (element);

        return count;
    }
}

TEST (JsonReader, ValidTextReadsAsTheFrameworksParserReadsIt)
{
    struct Case { const char* json; std::string expected; };
    const Case cases[] = {
        { "[0, -0, 7, -7, 2147483647, -2147483647]", "[int 0, int 0, int 7, int -7, int 2147483647, int -2147483647]" },
        { "[2147483648, -2147483648, 4294967552, 9223372036854775807, -9223372036854775807]",
          "[int64 2147483648, int64 -2147483648, int64 4294967552, int64 9223372036854775807, int64 -9223372036854775807]" },
        { "[1.0, -0.0, 0.5, 48000.0, 1e3, 1E+3, 2.5e-3, -1.25E-2, 0.1, 1.23456789012345678901]",
          "[double 1, double -0, double 0.5, double 48000, double 1000, double 1000, double 0.0025, double -0.0125, double 0.1, double 1.2345678901234567]" },
        { "[1e400, -1e400, 1e-400, -1e-400, 1.7976931348623157e308]",
          "[double inf, double -inf, double 0, double -0, double 1.7976931348623157e+308]" },
        { "[true, false, null, \"\", [], {}]", "[true, false, null, \"\", [], {}]" },
        { " \t\r\n{ \"b\" : 1 , \"a\" : [ 2 , { } ] , \"c\" : null } \r\n", "{b: int 1, a: [int 2, {}], c: null}" },
        { "{\"a\": 1, \"b\": 2, \"a\": 3}", "{a: int 3, b: int 2}" },
        { "[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]", "[\"\\\"\\\\/\\b\\f\\n\\r\\t\"]" },
        { "[\"caf\\u00e9 \\u20AC \\u001f\", \"caf\xc3\xa9 \xe2\x82\xac\"]", "[\"caf\xc3\xa9 \xe2\x82\xac \\u001f\", \"caf\xc3\xa9 \xe2\x82\xac\"]" },
        { "{\"K\\u00fcche\": {\"bands\": [{\"freqHz\": 63.5, \"on\": true}]}}", "{K\xc3\xbc" "che: {bands: [{freqHz: double 63.5, on: true}]}}" },
        { "[\"\\ud83d\\ude00\", \"\\ud800\", \"x\\udfffy\", \"\\ud800\\u0041\", \"\\ud800\\ud800\"]",
          "[\"\xf0\x9f\x98\x80\", \"\\ud800\", \"x\\udfffy\", \"\\ud800A\", \"\\ud800\\ud800\"]" },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (describe (read (c.json)), c.expected) << c.json;

        juce::var framework;
        ASSERT_TRUE (juce::JSON::parse (juce::String::fromUTF8 (c.json), framework).wasOk()) << c.json;
        EXPECT_EQ (describe (framework), c.expected) << c.json << ": the framework's parser reads the same";
    }
}

TEST (JsonReader, NumbersTheFrameworksParserMishandlesReadAsTheNearestDouble)
{
    // Its digit count overflows past the int64 range before a point or an exponent (and whole
    // numbers wrap around), and it reads what lies below 1e-308 as 0.
    EXPECT_EQ (describe (read ("[9223372036854775808, -9223372036854775808, 100000000000000000000, 123456789012345678901e-20]")),
               "[double 9223372036854775808, double -9223372036854775808, double 1e+20, double 1.2345678901234567]");
    EXPECT_EQ (describe (read ("[4.9e-324, 2.5e-310, -1e-320]")), "[double 5e-324, double 2.5e-310, double -1e-320]");
}

TEST (JsonReader, ASurrogatePairEscapedIsOneCharacter)
{
    const auto text = read ("[\"\\ud83d\\ude00\"]")[0].toString();
    EXPECT_EQ (text.length(), 1);
    EXPECT_EQ (text[0], (juce::juce_wchar) 0x1f600);
}

TEST (JsonReader, MalformedTextIsRefusedSayingWhereAndWhy)
{
    struct Case { std::string json; const char* expected; };
    const Case cases[] = {
        { "", "line 1, column 1: no JSON value: the text is empty" },
        { " \r\n\t", "line 2, column 2: no JSON value: the text is empty" },
        { "42", "line 1, column 1: expected '{' or '[': a JSON document is an object or an array" },
        { "\"text\"", "line 1, column 1: expected '{' or '[': a JSON document is an object or an array" },
        { "// note\n{}", "line 1, column 1: expected '{' or '[': a JSON document is an object or an array" },
        { "{} {}", "line 1, column 4: unexpected text after the end of the document" },
        { "[1,]", "line 1, column 4: expected a value" },
        { "[1, 2", "line 1, column 6: the text ends inside an array" },
        { "[1,", "line 1, column 4: the text ends where a value was expected" },
        { "[1 2]", "line 1, column 4: expected ',' or ']'" },
        { "{\"a\": 1,}", "line 1, column 9: expected a member name in double quotes" },
        { "{'a': 1}", "line 1, column 2: expected a member name in double quotes" },
        { "{\"a\" 1}", "line 1, column 6: expected ':' after the member name" },
        { "{\"a\": 1 \"b\": 2}", "line 1, column 9: expected ',' or '}'" },
        { "{\"a\": 1", "line 1, column 8: the text ends inside an object" },
        { "{\"\": 1}", "line 1, column 2: a member name may not be empty" },
        { "[01]", "line 1, column 3: a number may not start with 0 followed by more digits" },
        { "[-01]", "line 1, column 4: a number may not start with 0 followed by more digits" },
        { "[1.]", "line 1, column 4: expected a digit after the decimal point" },
        { "[1.5e]", "line 1, column 6: expected a digit in the exponent" },
        { "[1e+]", "line 1, column 5: expected a digit in the exponent" },
        { "[- 1]", "line 1, column 3: expected a digit in the number" },
        { "[.5]", "line 1, column 2: expected a value" },
        { "[+1]", "line 1, column 2: expected a value" },
        { "[tru]", "line 1, column 2: expected a value" },
        { "[NaN, Infinity]", "line 1, column 2: expected a value" },
        { "[\"a", "line 1, column 4: the text ends inside a string" },
        { "[\"a\tb\"]", "line 1, column 4: a control character in a string must be written as an escape" },
        { "[\"a\\x\"]", "line 1, column 4: unknown escape in a string" },
        { "[\"a\\'\"]", "line 1, column 4: unknown escape in a string" },
        { "[\"\\u12G4\"]", "line 1, column 3: expected four hexadecimal digits after \\u" },
        { "[\"\\ud83d\\u12\"]", "line 1, column 9: expected four hexadecimal digits after \\u" },
        { "[\"\\u0000\"]", "line 1, column 3: \\u0000 cannot be held in a string" },
        { "[\n  1,\n  x]", "line 3, column 3: expected a value" },
        { "[\"caf\xc3\xa9\", x]", "line 1, column 10: expected a value" },   // columns count characters
    };

    for (const auto& c : cases)
        EXPECT_EQ (errorFor (c.json), c.expected) << c.json;
}

TEST (JsonReader, ContainersNestSixtyFourLevelsAtMost)
{
    EXPECT_EQ (describe (read (nestedArrays (64))), nestedArrays (64));
    EXPECT_EQ (read (nestedObjects (64)).getDynamicObject()->getProperties().size(), 1);
    EXPECT_EQ (describe (read ("{\"a\": " + nestedArrays (63) + "}")), "{a: " + nestedArrays (63) + "}");

    EXPECT_EQ (errorFor (nestedArrays (65)), "line 1, column 65: nested deeper than 64 levels");
    EXPECT_EQ (errorFor ("{\"a\": " + nestedArrays (64) + "}"), "line 1, column 70: nested deeper than 64 levels");
    EXPECT_TRUE (errorFor (nestedObjects (65)).endsWith ("nested deeper than 64 levels"));

    // Far deeper texts end at the limit too, without going deeper themselves.
    EXPECT_EQ (errorFor (nestedArrays (100000)), "line 1, column 65: nested deeper than 64 levels");
    EXPECT_TRUE (errorFor (nestedObjects (100000)).endsWith ("nested deeper than 64 levels"));
    EXPECT_TRUE (errorFor (std::string (100000, '[')).endsWith ("nested deeper than 64 levels"));
}

TEST (JsonReader, AnObjectHoldsAtMost1024MembersAndATextNamesAtMost2048)
{
    ASSERT_EQ (maxJsonObjectMembers, 1024);
    ASSERT_EQ (maxJsonMemberNames, 2048);
    const auto objectsOf100 = [] (int names)
    {
        std::vector<std::string> objects;
        for (int first = 0; first < names; first += 100)
            objects.push_back (objectOfMembers (100, first));
        return arrayOf (objects);
    };

    struct Case { const char* what; std::string json; int membersRead; const char* error; };
    const Case cases[] = {
        { "1024 members", objectOfMembers (1024), 1024, nullptr },
        { "1025 members", objectOfMembers (1025), 0, "an object may hold at most 1024 members" },
        { "1024 members of one name", objectOfMembers (1024, 0, true), 1, nullptr },
        { "1025 members of one name", objectOfMembers (1025, 0, true), 0, "an object may hold at most 1024 members" },
        { "2048 names in two objects", arrayOf ({ objectOfMembers (1024), objectOfMembers (1024, 1024) }), 2048, nullptr },
        { "2049 names in three objects", arrayOf ({ objectOfMembers (1024), objectOfMembers (1024, 1024), objectOfMembers (1, 2048) }),
          0, "more than 2048 different member names" },
        { "the same 1024 names in 60 objects", arrayOf (std::vector<std::string> (60, objectOfMembers (1024))), 61440, nullptr },
        { "60 000 names in objects of 100", objectsOf100 (60000), 0, "more than 2048 different member names" },
    };

    for (const auto& c : cases)
    {
        if (c.error == nullptr)
            EXPECT_EQ (membersIn (read (c.json)), c.membersRead) << c.what;
        else
            EXPECT_TRUE (errorFor (c.json).endsWith (c.error)) << c.what << ": " << errorFor (c.json);
    }

    // The repeated name keeps its first place and its last value; the error points at the name
    // that is one too many.
    EXPECT_EQ (describe (read (objectOfMembers (1024, 7, true))), "{n7: int 1023}");
    EXPECT_EQ (errorFor ("{\"a\": " + objectOfMembers (1025) + "}"),
               "line 1, column " + juce::String (7 + (int) objectOfMembers (1024).size() + 1) + ": an object may hold at most 1024 members");
}

TEST (JsonReader, AMembersTextIsAStringNumberOrBooleanAndNothingElse)
{
    const juce::var method { juce::var::NativeFunction ([] (const juce::var::NativeFunctionArgs&) { return juce::var(); }) };

    struct Case { const char* what; juce::var value; juce::String text; };
    const Case cases[] = {
        { "string", "Speakers", "Speakers" },
        { "empty string", "", "" },
        { "int", 7, "7" },
        { "int64", (juce::int64) 1 << 40, "1099511627776" },
        { "double", 44100.5, "44100.5" },
        { "true", true, "1" },
        { "false", false, "0" },
        { "null", juce::var(), "" },
        { "object", read ("{\"name\": \"Speakers\"}"), "" },
        { "empty object", read ("{}"), "" },
        { "array", read ("[\"Speakers\"]"), "" },
        { "method", method, "" },
    };

    for (const auto& c : cases)
    {
        juce::DynamicObject object;
        object.setProperty ("key", c.value);
        EXPECT_EQ (readMemberText (object, "key"), c.text) << c.what;
        EXPECT_EQ (readMemberText (object, "missing"), "") << c.what;
    }
}

TEST (JsonReader, TextLongerThanEightMebibytesIsRefused)
{
    ASSERT_EQ (maxJsonTextBytes, (size_t) 8 * 1024 * 1024);
    const auto padded = [] (size_t size) { return "[\"" + std::string (size - 4, 'x') + "\"]"; };

    EXPECT_EQ (read (padded (maxJsonTextBytes))[0].toString().length(), (int) maxJsonTextBytes - 4);
    EXPECT_EQ (errorFor (padded (maxJsonTextBytes + 1)), "the text is 8388609 bytes long; at most 8388608 are read");
}

} // namespace brindle::test
