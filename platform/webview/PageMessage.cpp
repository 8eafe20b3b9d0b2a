#include "PageMessage.h"

#include "common/JsonReader.h"

namespace brindle
{

static_assert (maxPageMessageDepth == maxJsonDepth, "the reader enforces the page messages' depth");

std::optional<PageEvent> parsePageMessage (const juce::String& text)
{
    if (text.getNumBytesAsUTF8() > maxPageMessageBytes)
        return std::nullopt;

    // The reader refuses nesting past the limit while it parses, so no depth costs the stack.
    juce::var parsed;

    if (parseJson (text, parsed).failed())
        return std::nullopt;

    auto* envelope = parsed.getDynamicObject();

    if (envelope == nullptr)
        return std::nullopt;

    const auto eventId = readMember (*envelope, "eventId");

    if (! eventId.isString())
        return std::nullopt;

    return PageEvent { eventId.toString(), readMember (*envelope, "payload") };
}

} // namespace brindle
