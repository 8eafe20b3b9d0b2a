#include "Utf8Decoding.h"

#include <string>

namespace brindle
{

namespace
{
    constexpr char replacementCharacter[] = "\xef\xbf\xbd";

    struct Step
    {
        size_t length;     // at least one byte
        bool wellFormed;
    };

    /** The bytes from `p` that make one well-formed character, or else the longest start of
        one that they do make (at least the first byte), to be replaced as one. */
    Step nextCharacter (const unsigned char* p, const unsigned char* end)
    {
        const auto lead = *p;

        if (lead >= 0x01 && lead <= 0x7f)
            return { 1, true };

        // The first continuation byte lies within [low, high], which rules out overlong forms,
        // surrogates and what lies past U+10FFFF; the others within [0x80, 0xbf].
        size_t continuations = 0;
        unsigned char low = 0x80, high = 0xbf;

        if (lead >= 0xc2 && lead <= 0xdf)
        {
            continuations = 1;
        }
        else if (lead >= 0xe0 && lead <= 0xef)
        {
            continuations = 2;
            low = lead == 0xe0 ? 0xa0 : 0x80;
            high = lead == 0xed ? 0x9f : 0xbf;
        }
        else if (lead >= 0xf0 && lead <= 0xf4)
        {
            continuations = 3;
            low = lead == 0xf0 ? 0x90 : 0x80;
            high = lead == 0xf4 ? 0x8f : 0xbf;
        }
        else
        {
            return { 1, false };   // NUL, a continuation byte, or a lead no character has
        }

        for (size_t i = 1; i <= continuations; ++i)
        {
            if (p + i == end || p[i] < low || p[i] > high)
                return { i, false };

            low = 0x80;
            high = 0xbf;
        }

        return { continuations + 1, true };
    }
}

DecodedUtf8 decodeUtf8 (const void* bytes, size_t numBytes)
{
    DecodedUtf8 result;
    std::string out;
    out.reserve (numBytes);

    const auto* p = static_cast<const unsigned char*> (bytes);
    const auto* end = p + numBytes;

    while (p != end)
    {
        const auto step = nextCharacter (p, end);

        if (step.wellFormed)
            out.append (reinterpret_cast<const char*> (p), step.length);
        else
            out += replacementCharacter;

        result.wellFormed = result.wellFormed && step.wellFormed;
        p += step.length;
    }

    result.text = juce::String (juce::CharPointer_UTF8 (out.data()), juce::CharPointer_UTF8 (out.data() + out.size()));
    return result;
}

} // namespace brindle
