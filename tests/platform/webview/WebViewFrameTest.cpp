#include "platform/webview/HelperRestartPause.h"
#include "platform/webview/WebViewFrame.h"

#include <gtest/gtest.h>

#include <vector>

namespace brindle
{

namespace
{
    using T = WebViewFrame::Type;

    std::vector<std::byte> bytesOf (std::initializer_list<int> values)
    {
        std::vector<std::byte> out;

        for (auto v : values)
            out.push_back ((std::byte) v);

        return out;
    }

    std::vector<std::byte> frameOf (T type, juce::uint32 number, const juce::String& text, std::vector<std::byte> data = {})
    {
        return WebViewFrame { type, number, text, std::move (data) }.encode();
    }
}

TEST (WebViewFrame, FramesComeThroughWholeHoweverTheBytesAreCut)
{
    const auto text = juce::String::fromUTF8 ("{\"eventId\":\"state\",\"payload\":\"Caf\xc3\xa9 \xf0\x9f\x8e\xb5\"}");
    auto wire = frameOf (T::pageMessage, 0, text);
    const auto second = frameOf (T::loadCommitted, 7, "duzezavure://console/?host=duzezavure");
    wire.insert (wire.end(), second.begin(), second.end());

    for (size_t cut : { (size_t) 1, (size_t) 3, (size_t) 13, wire.size() })
    {
        WebViewFrameReader reader (true, 1 << 20);
        std::vector<WebViewFrame> frames;

        for (size_t at = 0; at < wire.size(); at += cut)
        {
            ASSERT_TRUE (reader.append (wire.data() + at, std::min (cut, wire.size() - at)));

            while (auto frame = reader.next())
                frames.push_back (*frame);
        }

        ASSERT_EQ (frames.size(), 2u) << "in pieces of " << cut;
        EXPECT_EQ (frames[0].type, T::pageMessage);
        EXPECT_EQ (frames[0].text, text);
        EXPECT_EQ (frames[1].type, T::loadCommitted);
        EXPECT_EQ (frames[1].number, 7u);
        EXPECT_EQ (frames[1].text, "duzezavure://console/?host=duzezavure");
    }

    // A resource carries its bytes, NULs and all, after its MIME type.
    WebViewFrameReader helperSide (false, 1 << 20);
    const auto resource = frameOf (T::resource, 3, "image/png", bytesOf ({ 0x89, 0, 0xff, 0 }));
    ASSERT_TRUE (helperSide.append (resource.data(), resource.size()));
    const auto got = helperSide.next();
    ASSERT_TRUE (got.has_value());
    EXPECT_EQ (got->text, "image/png");
    EXPECT_EQ (got->bytes, bytesOf ({ 0x89, 0, 0xff, 0 }));
}

TEST (WebViewFrame, WhatIsNotAFrameOfTheSendersSideIsRefusedForGood)
{
    struct Case
    {
        const char* what;
        std::vector<std::byte> wire;
        const char* problem;
    };

    const std::vector<Case> cases {
        { "a length over the limit, refused before its body comes", bytesOf ({ 0xff, 0xff, 0xff, 0x7f }), "over the limit" },
        { "a length too short for a frame", bytesOf ({ 4, 0, 0, 0, 64, 0, 0, 0 }), "too short" },
        { "an unknown type", bytesOf ({ 9, 0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0, 0 }), "unknown type" },
        { "a frame of the application's side", frameOf (T::runScriptInAnyPage, 0, "alert(1)"), "other side" },
        { "a text that runs past the frame", bytesOf ({ 9, 0, 0, 0, 69, 0, 0, 0, 0, 50, 0, 0, 0 }), "runs past" },
        { "a text that is not UTF-8", bytesOf ({ 11, 0, 0, 0, 69, 0, 0, 0, 0, 2, 0, 0, 0, 0xc3, 0x28 }), "not UTF-8" },
        { "a text with a NUL in it", bytesOf ({ 11, 0, 0, 0, 69, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0 }), "NUL" },
        { "a NUL in an overlong form", bytesOf ({ 11, 0, 0, 0, 69, 0, 0, 0, 0, 2, 0, 0, 0, 0xc0, 0x80 }), "not UTF-8" },
        { "a surrogate", bytesOf ({ 12, 0, 0, 0, 69, 0, 0, 0, 0, 3, 0, 0, 0, 0xed, 0xa0, 0x80 }), "not UTF-8" },
        { "a sequence cut short", bytesOf ({ 11, 0, 0, 0, 69, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0xe2 }), "not UTF-8" },
        { "bytes on a page message", bytesOf ({ 10, 0, 0, 0, 69, 0, 0, 0, 0, 0, 0, 0, 0, 1 }), "carries none" },
    };

    for (const auto& c : cases)
    {
        WebViewFrameReader reader (true, 4096);
        reader.append (c.wire.data(), c.wire.size());

        while (reader.next().has_value()) {}

        EXPECT_TRUE (reader.hasFailed()) << c.what;
        EXPECT_TRUE (reader.getProblem().contains (c.problem)) << c.what << ": " << reader.getProblem();

        // Nothing after it is read, not even a good frame.
        const auto good = frameOf (T::loadStarted, 1, {});
        EXPECT_FALSE (reader.append (good.data(), good.size())) << c.what;
        EXPECT_FALSE (reader.next().has_value()) << c.what;
    }
}

TEST (HelperRestartPause, DoublesFromOneSecondToThirtyAndStartsOverAfterAHelperThatLasted)
{
    HelperRestartPause pause;
    std::vector<int> pauses;

    for (int i = 0; i < 7; ++i)
        pauses.push_back (pause.afterFailure (10.0));

    EXPECT_EQ (pauses, (std::vector<int> { 1000, 2000, 4000, 8000, 16000, 30000, 30000 }));
    EXPECT_EQ (pause.afterFailure (HelperRestartPause::lastedMs), 1000);
    EXPECT_EQ (pause.afterFailure (500.0), 2000);
}

} // namespace brindle
