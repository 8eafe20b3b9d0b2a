#include "ResourceProvider.h"

#include "console/PageBundle.h"

namespace brindle
{

namespace
{
    juce::String requestedName (const juce::String& requestPath)
    {
        const auto name = requestPath.fromFirstOccurrenceOf ("/", false, false)
                                     .upToFirstOccurrenceOf ("?", false, false);
        return name.isEmpty() ? juce::String ("index.html") : name;
    }

    /** The resource name of the bundle's file with exactly this name, or null. */
    const char* resourceNameOf (const juce::String& fileName)
    {
        for (int i = 0; i < PageBundle::namedResourceCount; ++i)
            if (fileName == juce::String::fromUTF8 (PageBundle::originalFilenames[i]))
                return PageBundle::namedResourceList[i];

        return nullptr;
    }
}

juce::String mimeTypeForName (const juce::String& fileName)
{
    struct Ending { const char* suffix; const char* mimeType; };
    static constexpr Ending endings[] = {
        { ".html", "text/html" },
        { ".css",  "text/css" },
        { ".js",   "text/javascript" },
        { ".json", "application/json" },
        { ".svg",  "image/svg+xml" },
        { ".mp3",  "audio/mpeg" },
    };

    for (const auto& ending : endings)
        if (fileName.endsWithIgnoreCase (ending.suffix))
            return ending.mimeType;

    return "application/octet-stream";
}

std::optional<WebResource> provideResource (const juce::String& requestPath)
{
    const auto name = requestedName (requestPath);
    const auto* resourceName = resourceNameOf (name);

    if (resourceName == nullptr)
        return std::nullopt;

    int size = 0;
    const auto* bytes = PageBundle::getNamedResource (resourceName, size);

    if (bytes == nullptr)
        return std::nullopt;

    // The zero byte after the data is not part of the file.
    const auto* first = reinterpret_cast<const std::byte*> (bytes);
    return WebResource { std::vector<std::byte> (first, first + size), mimeTypeForName (name) };
}

} // namespace brindle
