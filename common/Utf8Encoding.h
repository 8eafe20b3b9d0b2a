#pragma once

#include <cstdint>
#include <string>

namespace brindle
{

/** Appends the UTF-8 bytes of one code point (below 0x110000). Surrogates are written as the
    code point they are, as the JSON reader keeps a lone one and the writer never passes one.
    Threading: pure; any thread. */
inline void appendUtf8 (std::string& out, std::uint32_t c)
{
    if (c < 0x80)
    {
        out += (char) c;
    }
    else if (c < 0x800)
    {
        out += (char) (0xc0 | (c >> 6));
        out += (char) (0x80 | (c & 0x3f));
    }
    else if (c < 0x10000)
    {
        out += (char) (0xe0 | (c >> 12));
        out += (char) (0x80 | ((c >> 6) & 0x3f));
        out += (char) (0x80 | (c & 0x3f));
    }
    else
    {
        out += (char) (0xf0 | (c >> 18));
        out += (char) (0x80 | ((c >> 12) & 0x3f));
        out += (char) (0x80 | ((c >> 6) & 0x3f));
        out += (char) (0x80 | (c & 0x3f));
    }
}

} // namespace brindle
