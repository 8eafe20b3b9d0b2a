#include "app/CaseInsensitiveOrder.h"

#include <gtest/gtest.h>

namespace brindle::test
{

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
