#include "VarArray.h"

namespace brindle
{

juce::var toVarArray (const juce::StringArray& strings)
{
    juce::Array<juce::var> values;
    values.ensureStorageAllocated (strings.size());

    for (const auto& text : strings)
        values.add (text);

    return values;
}

} // namespace brindle
