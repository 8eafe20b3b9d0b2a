#include "common/UnicodeCase.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (UnicodeCase, UpperCaseFormsInEveryScript)
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

TEST (UnicodeCase, LowerCaseFormsInEveryScript)
{
    struct Case { juce::juce_wchar upper; juce::juce_wchar lower; };
    const Case cases[] = {
        { 'A', 'a' }, { 'a', 'a' }, { '_', '_' },
        { 0x00c9, 0x00e9 },   // É
        { 0x0178, 0x00ff },   // Ÿ
        { 0x0130, 0x0069 },   // the dotted capital I: a plain i
        { 0x212a, 0x006b },   // the Kelvin sign: k
        { 0x2126, 0x03c9 },   // the Ohm sign: ω
        { 0x03a3, 0x03c3 },   // Σ
        { 0x0401, 0x0451 },   // Ё
        { 0x1e9e, 0x00df },   // capital sharp s
        { 0x216b, 0x217b },   // Roman numeral twelve
        { 0xff21, 0xff41 },   // full-width A
        { 0x10400, 0x10428 }, // Deseret, beyond the BMP
        { 0x1e900, 0x1e922 }, // Adlam
        { 0x4e2d, 0x4e2d },   // no case
    };

    for (const auto& c : cases)
        EXPECT_EQ (toLowerCaseCodePoint (c.upper), c.lower) << std::hex << "U+" << (int) c.upper;

    EXPECT_EQ (toLowerCase (juce::String::fromUTF8 ("BLAC\xe2\x84\xaaHOLE \xc3\x89" "CRAN")), juce::String::fromUTF8 ("blackhole \xc3\xa9" "cran"));
    EXPECT_EQ (toLowerCase (""), "");
}

} // namespace brindle::test
