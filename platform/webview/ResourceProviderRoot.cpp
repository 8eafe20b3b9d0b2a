#include "ResourceProviderRoot.h"

namespace brindle
{

juce::String getResourceProviderScheme()
{
    return "duzezavure";
}

juce::String getResourceProviderRoot()
{
    return getResourceProviderScheme() + "://console/";
}

bool isUnderResourceProviderRoot (const juce::String& uri)
{
    return uri.startsWith (getResourceProviderRoot());
}

juce::String getResourceRequestPath (const juce::String& uri)
{
    if (! isUnderResourceProviderRoot (uri))
        return {};

    const auto root = getResourceProviderRoot();
    return uri.substring (root.length() - 1).upToFirstOccurrenceOf ("#", false, false);
}

} // namespace brindle
