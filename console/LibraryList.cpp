#include "LibraryList.h"

#include "VarArray.h"

namespace brindle
{

juce::var makeLibraryList (const DuzezavureSettings& settings)
{
    auto* object = new juce::DynamicObject();
    const juce::var result (object);
    object->setProperty ("names", toVarArray (settings.getLibraryNames()));
    return result;
}

} // namespace brindle
