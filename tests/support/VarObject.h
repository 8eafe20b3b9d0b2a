#pragma once

#include <juce_core/juce_core.h>

#include <initializer_list>
#include <memory>
#include <utility>

namespace brindle::test
{

/** A dynamic object with these members in this order, as a page's JSON payload reads:
    object ({ { "action", "load" }, { "name", "Den" } }). */
inline juce::var object (std::initializer_list<std::pair<const char*, juce::var>> members)
{
    auto made = std::make_unique<juce::DynamicObject>();
    for (const auto& [key, value] : members)
        made->setProperty (key, value);
    return juce::var (made.release());
}

} // namespace brindle::test
