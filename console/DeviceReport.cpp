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

    struct OfferedFormats
    {
        juce::Array<juce::var> rates, bufferSizes;
    };

    // What the shown output offers, asked of one device made for the purpose and destroyed
    // unopened. Empty when there is no type, or the type has no such output.
    OfferedFormats offeredByShownOutput (juce::AudioDeviceManager& manager, const AudioRoute& shown)
    {
        OfferedFormats offered;
        auto* type = findDeviceType (manager, shown.deviceType);

        if (type == nullptr)
            return offered;

        type->scanForDevices();
        const std::unique_ptr<juce::AudioIODevice> device (type->createDevice (shown.outputDevice, {}));

        if (device == nullptr)
            return offered;

        for (const auto rate : device->getAvailableSampleRates())
            offered.rates.add (rate);

        for (const auto size : device->getAvailableBufferSizes())
            offered.bufferSizes.add (size);

        return offered;
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
    const auto offered = offeredByShownOutput (manager, shown);
    report->setProperty ("rates", offered.rates);
    report->setProperty ("bufferSizes", offered.bufferSizes);
    report->setProperty ("selected", makeRouteObject (selected));
    report->setProperty ("status", makeStatusObject (status));
    report->setProperty ("sampleRate", status.outputRate > 0.0 ? status.outputRate : selected.sampleRate);
    return result;
}

} // namespace brindle
