#include "PageMessage.h"

namespace brindle
{

namespace
{
    // The framework's parser recurses once per level without a limit, so the depth is found
    // first, in one pass that skips over strings.
    // Interim: to be replaced by the bounded JSON reader of common/ once it is in, which
    // enforces the same depth while it parses.
    int nestingDepth (const juce::String& text)
    {
        int depth = 0;
        int deepest = 0;
        bool inString = false;

        for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
        {
            const auto c = *p;

            if (inString)
            {
                if (c == '\\')
                {
                    if ((p + 1).isEmpty())
                        break;

                    ++p;
                }
                else if (c == '"')
                {
                    inString = false;
                }
            }
            else if (c == '"')
            {
                inString = true;
            }
            else if (c == '[' || c == '{')
            {
                deepest = juce::jmax (deepest, ++depth);
            }
            else if (c == ']' || c == '}')
            {
                --depth;
            }
        }

        return deepest;
    }
}

std::optional<PageEvent> parsePageMessage (const juce::String& text)
{
    if (text.getNumBytesAsUTF8() > maxPageMessageBytes || nestingDepth (text) > maxPageMessageDepth)
        return std::nullopt;

    juce::var parsed;

    if (juce::JSON::parse (text, parsed).failed())
        return std::nullopt;

    auto* envelope = parsed.getDynamicObject();

    if (envelope == nullptr)
        return std::nullopt;

    const auto eventId = envelope->getProperty ("eventId");

    if (! eventId.isString())
        return std::nullopt;

    return PageEvent { eventId.toString(), envelope->getProperty ("payload") };
}

} // namespace brindle
