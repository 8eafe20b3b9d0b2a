#include "platform/webview/PageMessage.h"

#include <gtest/gtest.h>

namespace brindle
{

namespace
{
    juce::String nested (int depth)
    {
        return juce::String::repeatedString ("[", depth) + juce::String::repeatedString ("]", depth);
    }

    juce::String envelopeAround (const juce::String& payloadJson)
    {
        return "{\"eventId\": \"state\", \"payload\": " + payloadJson + "}";
    }
}

TEST (PageMessage, AnEnvelopeGivesItsEventIdAndPayload)
{
    const auto event = parsePageMessage ("{\"eventId\":\"route\",\"payload\":{\"queueMs\":30,\"name\":\"Caf\\u00e9\"}}");

    ASSERT_TRUE (event.has_value());
    EXPECT_EQ (event->eventId, "route");
    EXPECT_EQ ((int) event->payload["queueMs"], 30);
    EXPECT_EQ (event->payload["name"].toString(), juce::String::fromUTF8 ("Caf\xc3\xa9"));
}

TEST (PageMessage, AnEnvelopeWithoutPayloadGivesAVoidOne)
{
    const auto event = parsePageMessage ("{\"eventId\":\"ready\"}");

    ASSERT_TRUE (event.has_value());
    EXPECT_TRUE (event->payload.isVoid());
}

TEST (PageMessage, WhatIsNotAnEnvelopeWithAStringEventIdGivesNothing)
{
    const char* const refused[] = {
        "",
        "not json",
        "{\"eventId\":\"ready\"",                   // cut short
        "[\"ready\", {}]",                          // an array
        "\"ready\"",                                // a string
        "{\"payload\":{}}",                         // no event id
        "{\"eventId\":7,\"payload\":{}}",           // a number
        "{\"eventId\":null,\"payload\":{}}",
        "{\"eventId\":[\"ready\"],\"payload\":{}}",
    };

    for (const auto* text : refused)
        EXPECT_FALSE (parsePageMessage (text).has_value()) << text;
}

TEST (PageMessage, NestingIsTakenUpToTheLimitAndNoDeeper)
{
    // The envelope is the first level.
    EXPECT_TRUE (parsePageMessage (envelopeAround (nested (maxPageMessageDepth - 1))).has_value());
    EXPECT_FALSE (parsePageMessage (envelopeAround (nested (maxPageMessageDepth))).has_value());

    // Far deeper than the framework's parser could recurse: refused before it is parsed.
    EXPECT_FALSE (parsePageMessage (envelopeAround (nested (200000))).has_value());
}

TEST (PageMessage, BracketsInsideTextDoNotCountAsNesting)
{
    const auto deepLookingText = "\"" + juce::String::repeatedString ("[{", 100) + "\\\"" + juce::String::repeatedString ("[", 100) + "\"";
    const auto event = parsePageMessage (envelopeAround (deepLookingText));

    ASSERT_TRUE (event.has_value());
    EXPECT_EQ (event->payload.toString().length(), 301);
}

TEST (PageMessage, TextIsTakenUpToOneMebibyte)
{
    const auto overhead = envelopeAround ("\"\"").getNumBytesAsUTF8();
    const auto fits = envelopeAround ("\"" + juce::String::repeatedString ("x", (int) (maxPageMessageBytes - overhead)) + "\"");
    ASSERT_EQ (fits.getNumBytesAsUTF8(), maxPageMessageBytes);

    EXPECT_TRUE (parsePageMessage (fits).has_value());
    EXPECT_FALSE (parsePageMessage (fits + " ").has_value()) << "one byte over, if only white space";

    // The limit counts bytes of UTF-8, not characters.
    const auto wide = envelopeAround ("\"" + juce::String::repeatedString (juce::String::fromUTF8 ("\xc3\xa9"), (int) (maxPageMessageBytes / 2)) + "\"");
    EXPECT_FALSE (parsePageMessage (wide).has_value());
}

} // namespace brindle
