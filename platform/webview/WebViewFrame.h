#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace brindle
{

/** One message on the channel between the application and the helper process that runs its
    web view: a type, a number (the navigation or the request it belongs to), a text (UTF-8)
    and, for a resource, its bytes.

    On the wire: the length of what follows (4 bytes, little-endian), the type (1 byte), the
    number (4 bytes), the text's length in bytes (4 bytes), the text, the bytes. */
struct WebViewFrame
{
    enum class Type : std::uint8_t
    {
        // The application to its helper.
        showPlug = 1,           // the embedder has taken the plug in
        load,                   // number: navigation; text: the address
        runScriptInPage,        // text: script, run while the page is one of the root's
        runScriptInAnyPage,     // text: script (tests that play a foreign page)
        saveSnapshot,           // number: request; text: the PNG file to write
        resource,               // number: request; text: MIME type; bytes: the file
        noResource,             // number: request

        // The helper to the application.
        opened = 64,            // text: the plug's X window, in decimal
        loadStarted,            // number: navigation
        loadCommitted,          // number: navigation; text: the address committed
        loadFailed,             // number: navigation
        webProcessTerminated,   // number: navigation
        pageMessage,            // text: what the page's bridge posted
        resourceRequest,        // number: request; text: the path under the root
        snapshotSaved           // number: request; text: "saved" or "failed"
    };

    Type type = Type::showPlug;
    std::uint32_t number = 0;
    juce::String text;
    std::vector<std::byte> bytes;

    /** Whether the helper may send frames of `type` (the application may send the others). */
    static bool comesFromHelper (Type type);

    /** The frame as it goes on the wire. */
    std::vector<std::byte> encode() const;
};

/** Takes the bytes of a channel as they come and cuts them into frames, refusing what is not
    one of the frames its side may receive: a length over its limit (told as soon as the
    length is in, before anything of it is kept), an unknown type or one that comes from the
    other side, a text that is not UTF-8 or runs past the frame, bytes on a frame that carries
    none. Once refused, it stays refused: a peer that sent garbage is never read further.

    Threading: one thread at a time. */
class WebViewFrameReader
{
public:
    /** Reads frames sent by the helper (`fromHelper`) or by the application, none longer than
        `maxFrameBytes` after its length. */
    WebViewFrameReader (bool fromHelper, size_t maxFrameBytes);

    /** Adds bytes from the channel. False once what came is not a frame. */
    bool append (const void* data, size_t size);

    /** The next whole frame, if one has come. */
    std::optional<WebViewFrame> next();

    bool hasFailed() const noexcept          { return problem.isNotEmpty(); }

    /** What was wrong, for a person to read; empty while all is well. */
    juce::String getProblem() const          { return problem; }

private:
    bool checkLength();
    std::optional<WebViewFrame> decode (const std::byte* frame, size_t size);

    bool fromHelper;
    size_t maxFrameBytes;
    std::vector<std::byte> buffer;
    size_t start = 0;   // where the unread part of the buffer begins
    juce::String problem;
};

} // namespace brindle
