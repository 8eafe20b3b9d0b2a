#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace brindle::test
{

/** The exact bytes of a file (empty when it cannot be read). */
inline std::string fileBytes (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return { static_cast<const char*> (bytes.getData()), bytes.getSize() };
}

} // namespace brindle::test
