#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** Bytes read as UTF-8 text.

    The framework reads a file with a single byte that is not UTF-8 as 8-bit text, so that every
    other non-ASCII character in it comes out as two or more wrong ones. Here each ill-formed
    part of the bytes becomes U+FFFD instead, one for each maximal part that could have begun a
    character (the Unicode and WHATWG practice: "\xe2\x82" then "x" gives one U+FFFD then "x";
    "\xc0\xaf" gives two), and the rest is read as it is. Overlong forms, surrogates and code
    points past U+10FFFF are ill-formed. A NUL byte becomes U+FFFD too: a juce::String ends at
    one.

    Threading: a pure function; any thread (it allocates, so not the audio thread). */
struct DecodedUtf8
{
    juce::String text;
    bool wellFormed = true;   // false when anything was replaced
};

DecodedUtf8 decodeUtf8 (const void* bytes, size_t numBytes);

} // namespace brindle
