#include "UnicodeCase.h"

#include "UnicodeCaseTables.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace brindle
{

namespace
{
    template <size_t size>
    juce::juce_wchar mapThrough (const unicode_case::CaseRange (&ranges)[size], juce::juce_wchar c) noexcept
    {
        const auto code = (char32_t) c;
        const auto after = std::upper_bound (std::begin (ranges), std::end (ranges), code,
                                             [] (char32_t value, const unicode_case::CaseRange& range) { return value < range.first; });

        if (after == std::begin (ranges))
            return c;

        const auto& range = *std::prev (after);

        if (code > range.last || (code - range.first) % (char32_t) range.stride != 0)
            return c;

        return (juce::juce_wchar) ((int) code + range.delta);
    }
}

juce::juce_wchar toUpperCaseCodePoint (juce::juce_wchar c) noexcept
{
    return mapThrough (unicode_case::upperCaseRanges, c);
}

juce::juce_wchar toLowerCaseCodePoint (juce::juce_wchar c) noexcept
{
    return mapThrough (unicode_case::lowerCaseRanges, c);
}

juce::String toLowerCase (const juce::String& text)
{
    std::vector<juce::juce_wchar> characters;
    characters.reserve ((size_t) text.length() + 1);

    for (auto p = text.getCharPointer(); ! p.isEmpty();)
        characters.push_back (toLowerCaseCodePoint (p.getAndAdvance()));

    characters.push_back (0);
    return juce::String (juce::CharPointer_UTF32 (characters.data()));
}

} // namespace brindle
