#include "DeviceLists.h"

#include <vector>

#if JUCE_LINUX || JUCE_MAC || JUCE_BSD
 #include <locale.h>
 #include <wctype.h>
#endif

namespace brindle
{

namespace
{
   #if JUCE_LINUX || JUCE_MAC || JUCE_BSD
    // JUCE lower-cases with towlower, which in the "C" locale the process runs in maps ASCII
    // only. A UTF-8 character-type locale of our own gives Unicode's mapping without touching
    // the process's locale (so "BLAC\u212AHOLE", with the Kelvin sign, still matches). Created
    // once and kept for the life of the process.
    locale_t unicodeCaseLocale()
    {
        static const locale_t locale = newlocale (LC_CTYPE_MASK, "C.UTF-8", (locale_t) nullptr);
        return locale;
    }

    juce::juce_wchar lowerCaseCharacter (juce::juce_wchar character)
    {
        if (const auto locale = unicodeCaseLocale(); locale != (locale_t) nullptr)
            return (juce::juce_wchar) towlower_l ((wint_t) character, locale);

        return juce::CharacterFunctions::toLowerCase (character);
    }
   #else
    juce::juce_wchar lowerCaseCharacter (juce::juce_wchar character)
    {
        return juce::CharacterFunctions::toLowerCase (character);
    }
   #endif

    juce::String lowerCased (const juce::String& text)
    {
        std::vector<juce::juce_wchar> characters;
        characters.reserve ((size_t) text.length() + 1);

        for (auto p = text.getCharPointer(); ! p.isEmpty();)
            characters.push_back (lowerCaseCharacter (p.getAndAdvance()));

        characters.push_back (0);
        return juce::String (juce::CharPointer_UTF32 (characters.data()));
    }
}

juce::AudioIODeviceType* findDeviceType (juce::AudioDeviceManager& manager, const juce::String& deviceTypeName)
{
    const auto& types = manager.getAvailableDeviceTypes();

    for (auto* type : types)
        if (type->getTypeName() == deviceTypeName)
            return type;

    return types.isEmpty() ? nullptr : types.getFirst();
}

juce::StringArray getDeviceTypeNames (juce::AudioDeviceManager& manager)
{
    juce::StringArray names;

    for (auto* type : manager.getAvailableDeviceTypes())
        names.add (type->getTypeName());

    return names;
}

juce::StringArray getInputDeviceNames (juce::AudioDeviceManager& manager, const juce::String& deviceTypeName)
{
    auto* type = findDeviceType (manager, deviceTypeName);

    if (type == nullptr)
        return {};

    type->scanForDevices();
    return type->getDeviceNames (true);
}

juce::StringArray getLoopbackInputNames (juce::AudioDeviceManager& manager, const juce::String& deviceTypeName)
{
    juce::StringArray loopbackNames;

    for (const auto& name : getInputDeviceNames (manager, deviceTypeName))
        if (isLoopbackInputName (name))
            loopbackNames.add (name);

    return loopbackNames;
}

bool isLoopbackInputName (const juce::String& deviceName)
{
    const auto lower = lowerCased (deviceName);

    for (const auto* keyword : loopbackKeywords)
        if (lower.contains (keyword))
            return true;

    return false;
}

} // namespace brindle
