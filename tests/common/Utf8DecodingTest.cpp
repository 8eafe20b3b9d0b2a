#include "common/Utf8Decoding.h"

#include <gtest/gtest.h>

#include <string>

namespace brindle::test
{

TEST (Utf8Decoding, EachIllFormedPartBecomesOneReplacementCharacter)
{
    const std::string r = "\xef\xbf\xbd";   // U+FFFD

    struct Case { std::string bytes; std::string expected; };
    const Case cases[] = {
        { "", "" },
        { "plain ASCII", "plain ASCII" },
        { "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80" },
        { "\xed\x9f\xbf \xee\x80\x80 \xf4\x8f\xbf\xbf \xef\xbf\xbd", "\xed\x9f\xbf \xee\x80\x80 \xf4\x8f\xbf\xbf \xef\xbf\xbd" },
        { "a\x80" "b", "a" + r + "b" },                        // a lone continuation byte
        { "\xff\xfe", r + r },                                  // bytes no character starts with
        { "\xc0\xaf", r + r },                                  // overlong "/"
        { "\xe0\x80\xaf", r + r + r },                          // overlong, three bytes
        { "\xf0\x8f\xbf\xbf", r + r + r + r },                  // overlong, four bytes
        { "\xed\xa0\x80", r + r + r },                          // a surrogate
        { "\xf4\x90\x80\x80", r + r + r + r },                  // past U+10FFFF
        { "\xe2\x82x", r + "x" },                               // a character cut short
        { "\xe2\x82", r },                                      // ... at the end
        { "\xf0\x9f\x98\xc3\xa9", r + "\xc3\xa9" },
        { std::string ("a\0b", 3), "a" + r + "b" },            // a juce::String ends at NUL
    };

    for (const auto& c : cases)
    {
        const auto decoded = decodeUtf8 (c.bytes.data(), c.bytes.size());
        EXPECT_EQ (std::string (decoded.text.toRawUTF8(), decoded.text.getNumBytesAsUTF8()), c.expected) << c.bytes;
        EXPECT_EQ (decoded.wellFormed, c.bytes == c.expected) << c.bytes;
    }
}

} // namespace brindle::test
