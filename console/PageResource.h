#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <vector>

namespace brindle
{

/** One file served to the web view: its bytes, exactly as embedded, and the MIME type the web
    view is told. A plain value; any thread. */
struct PageResource
{
    std::vector<std::byte> data;
    juce::String mimeType;
};

} // namespace brindle
