#include "RouteMessage.h"

#include "common/JsonReader.h"
#include "engine/RouteClamp.h"

#include <cmath>

namespace brindle
{

namespace
{
    RouteParseResult rejection (RouteParseResult result, const juce::String& error)
    {
        result.error = error;
        return result;
    }
}

RouteParseResult parseRoute (const juce::var& payload)
{
    RouteParseResult result;
    const auto* object = payload.getDynamicObject();

    if (object == nullptr)
        return rejection (result, "route is not an object");

    auto& route = result.route;
    route.deviceType = readMemberText (*object, "deviceType");
    route.inputDevice = readMemberText (*object, "inputDevice");
    route.outputDevice = readMemberText (*object, "outputDevice");

    if (route.outputDevice.isEmpty())
        return rejection (result, "no output device");

    const AudioRoute defaults;
    route.sampleRate = clampSampleRateHz (readFiniteNumber (*object, "sampleRate", defaults.sampleRate));
    route.bufferSize = clampBufferSizeSamples (readFiniteNumber (*object, "bufferSize", defaults.bufferSize));
    route.queueMs = clampQueueMs (readFiniteNumber (*object, "queueMs", defaults.queueMs));
    result.ok = true;
    return result;
}

double readFiniteNumber (const juce::DynamicObject& route, const juce::Identifier& key, double fallback)
{
    // The framework's object answers false for a key that holds a method, so a method takes
    // the fallback like a missing key. A present null, unlike a missing key, reads as 0.
    if (! route.hasProperty (key))
        return fallback;

    const auto value = static_cast<double> (readMember (route, key));
    return std::isfinite (value) ? value : fallback;
}

} // namespace brindle
