#include "app/CaseInsensitiveOrder.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (CaseInsensitiveOrder, UpperCaseFormsInEveryScript)
{
    struct Case { juce::juce_wchar lower; juce::juce_wchar upper; };
    const Case cases[] = {
        { 'a', 'A' }, { 'z', 'Z' }, { 'A', 'A' }, { '_', '_' }, { '0', '0' },
        { 0x00e9, 0x00c9 },   // é
        { 0x00ff, 0x0178 },   // ÿ, whose capital lives in another block
        { 0x00f7, 0x00f7 },   // ÷ sits among the letters and has none
        { 0x00df, 0x00df },   // ß: its upper case is two letters
        { 0x0101, 0x0100 }, { 0x0100, 0x0100 },   // alternating pairs
        { 0x0131, 0x0049 },   // dotless i
        { 0x01c6, 0x01c4 },   // dž
        { 0x03c9, 0x03a9 }, { 0x03c2, 0x03a3 },   // ω, final ς
        { 0x044f, 0x042f }, { 0x0451, 0x0401 },   // я, ё
        { 0x0561, 0x0531 },   // Armenian
        { 0x1e01, 0x1e00 },   // Latin Extended Additional
        { 0xff41, 0xff21 },   // full-width a
        { 0x10428, 0x10400 }, // Deseret, beyond the BMP
        { 0x4e2d, 0x4e2d },   // no case
    };

    for (const auto& c : cases)
        EXPECT_EQ (toUpperCaseCodePoint (c.lower), c.upper) << std::hex << "U+" << (int) c.lower;
}

TEST (CaseInsensitiveOrder, NamesCompareByUpperCaseThenByCodePoint)
{
    struct Case { const char* a; const char* b; int sign; };
    const Case cases[] = {
        { "alpha", "Beta", -1 },
        { "Alpha", "alpha", -1 },            // equal ignoring case: code points decide, every run alike
        { "alpha", "alpha", 0 },
        { "room", "room 2", -1 },            // a prefix first
        { "", "a", -1 },
        { "Zimmer", "_draft", -1 },          // "_" after every letter
        { "_draft", "\xc3\xa9" "cran", -1 },
        { "\xc3\xa9" "cran", "\xc3\x89tude", -1 },        // écran < Étude: é and É fold together
        { "\xc3\x89tude", "\xc3\xb6lfarbe", -1 },         // Étude < ölfarbe, though é sorts after Ö raw
        { "\xd0\xb1\xd0\xbe\xd1\x80\xd1\x89", "\xd0\xaf", -1 },   // борщ < Я, though б > Я raw
        { "\xce\x91", "\xce\xb2", -1 },      // Α < β
    };

    for (const auto& c : cases)
    {
        const auto a = juce::String::fromUTF8 (c.a);
        const auto b = juce::String::fromUTF8 (c.b);
        const auto forward = compareIgnoringCase (a, b);
        const auto backward = compareIgnoringCase (b, a);

        EXPECT_EQ ((forward > 0) - (forward < 0), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ ((backward > 0) - (backward < 0), -c.sign) << c.b << " vs " << c.a;
    }
}

} // namespace brindle::test
