#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <vector>

namespace brindle
{

/** One file as a resource provider serves it to the web view: its bytes, as they are, and its
    MIME type ("text/html"), which becomes the response's Content-Type. */
struct WebResource
{
    std::vector<std::byte> data;
    juce::String mimeType;
};

} // namespace brindle
