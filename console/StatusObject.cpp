#include "StatusObject.h"

namespace brindle
{

juce::var makeStatusObject (const StreamStatus& status)
{
    auto* object = new juce::DynamicObject();
    const juce::var result (object);

    object->setProperty ("running", status.running);
    object->setProperty ("duplex", status.duplex);
    object->setProperty ("error", status.error);
    object->setProperty ("inputRate", status.inputRate);
    object->setProperty ("outputRate", status.outputRate);
    object->setProperty ("bufferSize", status.bufferSize);
    object->setProperty ("latencyMs", status.latencyMs);
    object->setProperty ("fillFrames", status.fillFrames);
    object->setProperty ("targetFrames", status.targetFrames);
    object->setProperty ("correctionPpm", status.correctionPpm);
    object->setProperty ("dropouts", static_cast<double> (status.dropouts));
    object->setProperty ("overruns", static_cast<double> (status.overruns));
    return result;
}

} // namespace brindle
