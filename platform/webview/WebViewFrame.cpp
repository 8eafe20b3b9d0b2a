#include "WebViewFrame.h"

#include <cstring>

namespace brindle
{

namespace
{
    constexpr size_t lengthBytes = 4;
    constexpr size_t headerBytes = 1 + 4 + 4;   // type, number, text length

    void putU32 (std::vector<std::byte>& out, std::uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back ((std::byte) ((value >> shift) & 0xff));
    }

    std::uint32_t getU32 (const std::byte* in)
    {
        std::uint32_t value = 0;

        for (int i = 3; i >= 0; --i)
            value = (value << 8) | (std::uint32_t) in[i];

        return value;
    }

    // Well-formed UTF-8 only: no overlong form (which could hide a NUL), no surrogate, nothing
    // past U+10FFFF.
    bool isStrictUtf8 (const std::byte* text, size_t size)
    {
        for (size_t i = 0; i < size;)
        {
            const auto lead = (unsigned) text[i];
            const int more = lead < 0x80 ? 0 : lead >= 0xc2 && lead <= 0xdf ? 1 : lead >= 0xe0 && lead <= 0xef ? 2 : lead >= 0xf0 && lead <= 0xf4 ? 3 : -1;

            if (more < 0 || size - i <= (size_t) more)
                return false;

            std::uint32_t code = more == 0 ? lead : lead & (0x3fu >> more);

            for (int k = 1; k <= more; ++k)
            {
                const auto next = (unsigned) text[i + (size_t) k];

                if ((next & 0xc0) != 0x80)
                    return false;

                code = (code << 6) | (next & 0x3f);
            }

            static constexpr std::uint32_t smallest[] = { 0, 0x80, 0x800, 0x10000 };

            if (code < smallest[more] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
                return false;

            i += (size_t) more + 1;
        }

        return true;
    }

    bool isKnown (std::uint8_t type)
    {
        using T = WebViewFrame::Type;
        return (type >= (std::uint8_t) T::showPlug && type <= (std::uint8_t) T::noResource)
            || (type >= (std::uint8_t) T::opened && type <= (std::uint8_t) T::snapshotSaved);
    }
}

bool WebViewFrame::comesFromHelper (Type type)
{
    return (std::uint8_t) type >= (std::uint8_t) Type::opened;
}

std::vector<std::byte> WebViewFrame::encode() const
{
    const auto utf8 = text.toRawUTF8();
    const auto textBytes = std::strlen (utf8);

    std::vector<std::byte> out;
    out.reserve (lengthBytes + headerBytes + textBytes + bytes.size());
    putU32 (out, (std::uint32_t) (headerBytes + textBytes + bytes.size()));
    out.push_back ((std::byte) type);
    putU32 (out, number);
    putU32 (out, (std::uint32_t) textBytes);
    const auto* t = reinterpret_cast<const std::byte*> (utf8);
    out.insert (out.end(), t, t + textBytes);
    out.insert (out.end(), bytes.begin(), bytes.end());
    return out;
}

WebViewFrameReader::WebViewFrameReader (bool readsFromHelper, size_t maxBytes)
    : fromHelper (readsFromHelper), maxFrameBytes (maxBytes)
{
}

bool WebViewFrameReader::append (const void* data, size_t size)
{
    if (hasFailed())
        return false;

    // What was read is let go before more is kept, so the buffer holds at most one frame
    // and the bytes that came with its end.
    if (start > 0)
    {
        buffer.erase (buffer.begin(), buffer.begin() + (std::ptrdiff_t) start);
        start = 0;
    }

    const auto* bytes = static_cast<const std::byte*> (data);
    buffer.insert (buffer.end(), bytes, bytes + size);
    return checkLength();
}

bool WebViewFrameReader::checkLength()
{
    if (buffer.size() - start < lengthBytes)
        return true;

    const auto length = getU32 (buffer.data() + start);

    if (length < headerBytes)
        problem = "a frame too short to be one (" + juce::String (length) + " bytes)";
    else if (length > maxFrameBytes)
        problem = "a frame of " + juce::String (length) + " bytes, over the limit of " + juce::String (maxFrameBytes);

    return ! hasFailed();
}

std::optional<WebViewFrame> WebViewFrameReader::next()
{
    if (hasFailed() || ! checkLength() || buffer.size() - start < lengthBytes)
        return std::nullopt;

    const auto length = (size_t) getU32 (buffer.data() + start);

    if (buffer.size() - start - lengthBytes < length)
        return std::nullopt;

    auto frame = decode (buffer.data() + start + lengthBytes, length);
    start += lengthBytes + length;
    return frame;
}

std::optional<WebViewFrame> WebViewFrameReader::decode (const std::byte* frame, size_t size)
{
    const auto type = (std::uint8_t) frame[0];
    const auto textBytes = (size_t) getU32 (frame + 5);

    if (! isKnown (type))
        problem = "a frame of an unknown type (" + juce::String ((int) type) + ")";
    else if (WebViewFrame::comesFromHelper ((WebViewFrame::Type) type) != fromHelper)
        problem = "a frame only the other side sends (type " + juce::String ((int) type) + ")";
    else if (textBytes > size - headerBytes)
        problem = "a frame whose text runs past its end";
    else if (std::memchr (frame + headerBytes, 0, textBytes) != nullptr)
        problem = "a frame whose text holds a NUL";
    else if (! isStrictUtf8 (frame + headerBytes, textBytes))
        problem = "a frame whose text is not UTF-8";
    else if (textBytes < size - headerBytes && (WebViewFrame::Type) type != WebViewFrame::Type::resource)
        problem = "bytes on a frame that carries none";

    if (hasFailed())
        return std::nullopt;

    WebViewFrame decoded;
    decoded.type = (WebViewFrame::Type) type;
    decoded.number = getU32 (frame + 1);
    decoded.text = juce::String::fromUTF8 (reinterpret_cast<const char*> (frame + headerBytes), (int) textBytes);
    decoded.bytes.assign (frame + headerBytes + textBytes, frame + size);
    return decoded;
}

} // namespace brindle
