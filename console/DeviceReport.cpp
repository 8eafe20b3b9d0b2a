#include "DeviceReport.h"

#include "StatusObject.h"
#include "VarArray.h"
#include "engine/DeviceLists.h"

#include <memory>

namespace brindle
{

namespace
{
    juce::var outputNames (juce::AudioDeviceManager& manager, const AudioRoute& shown)
    {
        auto* type = findDeviceType (manager, shown.deviceType);

        if (type == nullptr)
            return juce::Array<juce::var>();

        type->scanForDevices();
        return toVarArray (type->getDeviceNames (false));
    }

    // A device for the shown output, made only to ask what it offers and destroyed by the
    // caller unopened. Null when there is no type, or the type has no such output.
    std::unique_ptr<juce::AudioIODevice> temporaryShownOutput (juce::AudioDeviceManager& manager, const AudioRoute& shown)
    {
        auto* type = findDeviceType (manager, shown.deviceType);

        if (type == nullptr)
            return nullptr;

        type->scanForDevices();
        return std::unique_ptr<juce::AudioIODevice> (type->createDevice (shown.outputDevice, {}));
    }

    juce::var sampleRates (juce::AudioDeviceManager& manager, const AudioRoute& shown)
    {
        juce::Array<juce::var> rates;

        if (const auto device = temporaryShownOutput (manager, shown))
            for (const auto rate : device->getAvailableSampleRates())
                rates.add (rate);

        return rates;
    }

    juce::var bufferSizes (juce::AudioDeviceManager& manager, const AudioRoute& shown)
    {
        juce::Array<juce::var> sizes;

        if (const auto device = temporaryShownOutput (manager, shown))
            for (const auto size : device->getAvailableBufferSizes())
                sizes.add (size);

        return sizes;
    }

    // The six route keys in the order the page and the settings file write them.
    juce::var makeRouteObject (const AudioRoute& route)
    {
        auto* object = new juce::DynamicObject();
        const juce::var result (object);

        object->setProperty ("deviceType", route.deviceType);
        object->setProperty ("inputDevice", route.inputDevice);
        object->setProperty ("outputDevice", route.outputDevice);
        object->setProperty ("sampleRate", route.sampleRate);
        object->setProperty ("bufferSize", route.bufferSize);
        object->setProperty ("queueMs", route.queueMs);
        return result;
    }
}

juce::var makeDeviceReport (AudioRouter& router, const StreamStatus& status,
                            const AudioRoute& selected, const AudioRoute& shown)
{
    auto& manager = router.getDeviceManager();
    auto* report = new juce::DynamicObject();
    const juce::var result (report);

    report->setProperty ("types", toVarArray (getDeviceTypeNames (manager)));
    report->setProperty ("inputs", toVarArray (getInputDeviceNames (manager, shown.deviceType)));
    report->setProperty ("outputs", outputNames (manager, shown));
    report->setProperty ("loopbackInputs", toVarArray (getLoopbackInputNames (manager, shown.deviceType)));
    report->setProperty ("platform", "windows");
    report->setProperty ("canSetDefaultOutput", false);
    report->setProperty ("rates", sampleRates (manager, shown));
    report->setProperty ("bufferSizes", bufferSizes (manager, shown));
    report->setProperty ("selected", makeRouteObject (selected));
    report->setProperty ("status", makeStatusObject (status));
    report->setProperty ("sampleRate", status.outputRate > 0.0 ? status.outputRate : selected.sampleRate);
    return result;
}

} // namespace brindle
