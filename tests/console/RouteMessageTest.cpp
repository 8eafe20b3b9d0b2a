#include "RouteFixtures.h"
#include "console/RouteMessage.h"

#include <gtest/gtest.h>

#include <limits>

namespace brindle::test
{

namespace
{
    juce::var parsed (const juce::String& json)
    {
        juce::var value;
        EXPECT_TRUE (juce::JSON::parse (json, value).wasOk()) << json;
        return value;
    }

    AudioRoute routeOf (const char* type, const char* input, const char* output, double rateHz = 48000, int buffer = 256, int queueMs = 30)
    {
        AudioRoute route;
        route.deviceType = juce::String::fromUTF8 (type);
        route.inputDevice = juce::String::fromUTF8 (input);
        route.outputDevice = juce::String::fromUTF8 (output);
        route.sampleRate = rateHz;
        route.bufferSize = buffer;
        route.queueMs = queueMs;
        return route;
    }

}

TEST (RouteMessage, NumbersAreReadLenientlyThenClampedThenTruncated)
{
    // A missing or non-finite number takes its default; anything else present but unusable
    // reads as 0 and rises to the lower bound.
    struct Case { const char* numbers; double rateHz; int buffer; int queueMs; };
    const Case cases[] = {
        { "", 48000, 256, 30 },
        { R"("sampleRate": 0)", 8000, 256, 30 },
        { R"("sampleRate": 1000000)", 768000, 256, 30 },
        { R"("sampleRate": 44100.5)", 44100.5, 256, 30 },
        { R"("sampleRate": null)", 8000, 256, 30 },
        { R"("sampleRate": 7999.9, "bufferSize": 16, "queueMs": 5)", 8000, 16, 5 },
        { R"("sampleRate": 768000.5, "bufferSize": 8192, "queueMs": 500)", 768000, 8192, 500 },
        { R"("bufferSize": 10000)", 48000, 8192, 30 },
        { R"("bufferSize": -3)", 48000, 16, 30 },
        { R"("bufferSize": 8191.9)", 48000, 8191, 30 },
        { R"("bufferSize": "512")", 48000, 512, 30 },
        { R"("bufferSize": 15.5, "queueMs": 29.99)", 48000, 16, 29 },
        { R"("bufferSize": 16.9)", 48000, 16, 30 },
        { R"("bufferSize": 8192.7)", 48000, 8192, 30 },
        { R"("bufferSize": 99999999999, "queueMs": -99999999999)", 48000, 8192, 5 },
        { R"("queueMs": 4.2)", 48000, 256, 5 },
        { R"("queueMs": 500.9)", 48000, 256, 500 },
        { R"("queueMs": true)", 48000, 256, 5 },
        { R"("sampleRate": "inf", "bufferSize": "-Infinity", "queueMs": "NaN")", 48000, 256, 30 },
        { R"("sampleRate": "INF", "bufferSize": " nan", "queueMs": "+inf")", 48000, 256, 30 },
        { R"("sampleRate": " 12abc", "bufferSize": " 12abc", "queueMs": " 12abc")", 8000, 16, 12 },
        { R"("sampleRate": "96000 Hz", "bufferSize": "\t480", "queueMs": "  45.9ms")", 96000, 480, 45 },
        { R"("sampleRate": "abc", "bufferSize": "", "queueMs": false)", 8000, 16, 5 },
        { R"("sampleRate": true, "bufferSize": true, "queueMs": null)", 8000, 16, 5 },
        { R"("sampleRate": [44100], "bufferSize": {"n": 512}, "queueMs": [])", 8000, 16, 5 },
    };

    for (const auto& c : cases)
    {
        const juce::String numbers (c.numbers);
        const auto payload = R"({"outputDevice": "Speakers")" + (numbers.isEmpty() ? "" : ", " + numbers) + "}";
        SCOPED_TRACE (payload);
        const auto result = parseRoute (parsed (payload));
        EXPECT_TRUE (result.ok);
        EXPECT_TRUE (result.error.isEmpty());
        expectSameRoute (result.route, routeOf ("", "", "Speakers", c.rateHz, c.buffer, c.queueMs));
    }
}

TEST (RouteMessage, TextsAreTakenAsGivenAndOnlyTheOutputMustBeNamed)
{
    struct Case { const char* payload; AudioRoute expected; };
    const Case cases[] = {
        { R"({"outputDevice": "Speakers"})", routeOf ("", "", "Speakers") },
        { R"({"deviceType": "Windows Audio", "inputDevice": "", "outputDevice": "Speakers", "sampleRate": 96000, "bufferSize": 480, "queueMs": 40})",
          routeOf ("Windows Audio", "", "Speakers", 96000, 480, 40) },
        { R"({"deviceType": null, "inputDevice": 7, "outputDevice": " CABLE Input (VB-Audio Virtual Cable) "})",
          routeOf ("", "7", " CABLE Input (VB-Audio Virtual Cable) ") },
        { R"({"deviceType": {"name": "ALSA"}, "inputDevice": ["Cable"], "outputDevice": true})", routeOf ("", "", "1") },
        { R"({"deviceType": [], "inputDevice": {}, "outputDevice": 2.5})", routeOf ("", "", "2.5") },
        { R"json({"queueMs": 50, "outputDevice": "Lautsprecher (Realtek\u00ae)", "inputDevice": "Stereomix", "deviceType": "DirectSound"})json",
          routeOf ("DirectSound", "Stereomix", "Lautsprecher (Realtek\xc2\xae)", 48000, 256, 50) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.payload);
        const auto result = parseRoute (parsed (juce::String::fromUTF8 (c.payload)));
        EXPECT_TRUE (result.ok);
        expectSameRoute (result.route, c.expected);
    }
}

TEST (RouteMessage, ARouteWithoutAnOutputIsRejectedWithWhatWasReadSoFar)
{
    struct Case { const char* payload; AudioRoute expected; };
    const Case cases[] = {
        { "{}", routeOf ("", "", "") },
        { R"({"outputDevice": ""})", routeOf ("", "", "") },
        { R"({"outputDevice": null})", routeOf ("", "", "") },
        { R"({"outputDevice": {"name": "Speakers"}})", routeOf ("", "", "") },
        { R"({"outputDevice": ["Speakers"], "inputDevice": "CABLE Output"})", routeOf ("", "CABLE Output", "") },
        { R"({"outputDevice": {}})", routeOf ("", "", "") },
        { R"({"deviceType": "DirectSound", "inputDevice": "CABLE Output", "sampleRate": 96000, "bufferSize": 64, "queueMs": 10})",
          routeOf ("DirectSound", "CABLE Output", "") },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.payload);
        const auto result = parseRoute (parsed (c.payload));
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "no output device");
        expectSameRoute (result.route, c.expected);
    }
}

TEST (RouteMessage, APayloadThatIsNotAnObjectIsRejected)
{
    // Payloads as the bridge hands them over: any JSON value.
    const juce::var payloads[] = {
        juce::JSON::fromString (R"("{\"outputDevice\": \"Speakers\"}")"),
        juce::JSON::fromString (R"([{"outputDevice": "Speakers"}])"),
        juce::JSON::fromString ("null"),
        juce::JSON::fromString ("48000"),
        juce::JSON::fromString ("true"),
        juce::var(),
    };

    EXPECT_TRUE (payloads[0].isString() && payloads[1].isArray() && payloads[3].isInt() && payloads[4].isBool());

    for (const auto& payload : payloads)
    {
        SCOPED_TRACE (payload.toString());
        const auto result = parseRoute (payload);
        EXPECT_FALSE (result.ok);
        EXPECT_EQ (result.error, "route is not an object");
        expectSameRoute (result.route, routeOf ("", "", ""));
    }
}

TEST (RouteMessage, ReadFiniteNumberFallsBackOnlyForAMissingKeyAMethodOrANonFiniteValue)
{
    constexpr double fallback = 7.0;
    const auto infinity = std::numeric_limits<double>::infinity();
    const juce::var method { juce::var::NativeFunction ([] (const juce::var::NativeFunctionArgs&) { return juce::var (5); }) };

    struct Case { const char* name; juce::var value; double expected; };
    const Case cases[] = {
        { "infinity", infinity, fallback },
        { "minus infinity", -infinity, fallback },
        { "NaN", std::numeric_limits<double>::quiet_NaN(), fallback },
        { "method", method, fallback },
        { "text inf", "inf", fallback },
        { "text -Inf", "-Inf", fallback },
        { "text NaN", "NaN", fallback },
        { "text 1e999", "1e999", fallback },
        { "text 12abc", " 12abc", 12.0 },
        { "text abc", "abc", 0.0 },
        { "empty text", "", 0.0 },
        { "null", juce::var(), 0.0 },
        { "true", true, 1.0 },
        { "false", false, 0.0 },
        { "object", juce::var (new juce::DynamicObject()), 0.0 },
        { "array", juce::Array<juce::var> { 3 }, 0.0 },
        { "fraction", 44100.5, 44100.5 },
        { "negative", -3, -3.0 },
        { "64-bit integer", (juce::int64) 1 << 40, 1099511627776.0 },
        { "largest double", std::numeric_limits<double>::max(), std::numeric_limits<double>::max() },
    };

    for (const auto& c : cases)
    {
        juce::DynamicObject object;
        object.setProperty ("other", 1);
        object.setProperty ("value", c.value);
        EXPECT_EQ (readFiniteNumber (object, "value", fallback), c.expected) << c.name;
        EXPECT_EQ (readFiniteNumber (object, "missing", fallback), fallback) << c.name;
    }
}

} // namespace brindle::test
