#include "DeviceLists.h"

#include "common/UnicodeCase.h"

namespace brindle
{

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
    const auto lower = toLowerCase (deviceName);

    for (const auto* keyword : loopbackKeywords)
        if (lower.contains (keyword))
            return true;

    return false;
}

} // namespace brindle
