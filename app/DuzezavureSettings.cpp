#include "DuzezavureSettings.h"

#include "CaseInsensitiveOrder.h"
#include "common/JsonWriter.h"
#include "common/SafeFileWrite.h"
#include "engine/StateParser.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace brindle
{

namespace
{
    const juce::Identifier versionKey ("version");
    const juce::Identifier stateKey ("state");
    const juce::Identifier routingKey ("routing");
    const juce::Identifier libraryKey ("library");

    juce::File settingsFileIn (const ApplicationDataFolder& folder)
    {
        const auto base = folder.locate();
        return base.has_value() ? base->getChildFile ("Tonwell").getChildFile ("duzezavure.json")
                                : juce::File();
    }

    juce::var defaultDocument()
    {
        juce::var document (new juce::DynamicObject());
        document.getDynamicObject()->setProperty (versionKey, 1);
        return document;
    }

    /** The text parsed, when it is a JSON object; a void value otherwise. */
    juce::var parseObject (const juce::String& json)
    {
        if (json.isEmpty())
            return {};

        juce::var parsed;

        if (juce::JSON::parse (json, parsed).failed() || parsed.getDynamicObject() == nullptr)
            return {};

        return parsed;
    }

    juce::String singleLineObject (const juce::var& value)
    {
        return value.getDynamicObject() != nullptr ? toJson (value, JsonLayout::singleLine) : juce::String();
    }

    /** Truncation toward zero that is defined for every double: NaN gives 0, what lies beyond
        the int range saturates. */
    int saturatingInt (double value)
    {
        if (std::isnan (value))
            return 0;

        constexpr auto lowest = (double) std::numeric_limits<int>::min();
        constexpr auto highest = (double) std::numeric_limits<int>::max();
        return value <= lowest ? std::numeric_limits<int>::min()
             : value >= highest ? std::numeric_limits<int>::max()
             : (int) value;
    }

    /** A stored value as an int: a floating-point value (or a text's leading number)
        truncated toward zero, true as 1, anything else that is not a number as 0. The
        framework's own conversion of a double or a 64-bit integer is undefined, or wraps
        (4294967552 would read as 256), outside the int range. */
    int storedInt (const juce::var& value)
    {
        if (value.isInt() || value.isBool())
            return (int) value;

        if (value.isInt64())
            return saturatingInt ((double) (juce::int64) value);

        return saturatingInt ((double) value);
    }

    /** The next name for a copy of `file` that does not exist yet. */
    juce::File unusedUnreadableCopyName (const juce::File& file)
    {
        const auto folder = file.getParentDirectory();
        const auto baseName = file.getFileName() + ".unreadable";
        auto candidate = folder.getChildFile (baseName);

        for (int number = 2; candidate.exists(); ++number)
            candidate = folder.getChildFile (baseName + "." + juce::String (number));

        return candidate;
    }
}

DuzezavureSettings::DuzezavureSettings (const ApplicationDataFolder& folder)
    : root (defaultDocument()), file (settingsFileIn (folder))
{
}

juce::File DuzezavureSettings::getFile() const
{
    return file;
}

void DuzezavureSettings::load()
{
    if (file == juce::File())
        return;

    access = FileAccess::write;

    if (! file.existsAsFile())
        return;   // a missing file, or a folder of that name: the defaults stay

    auto parsed = parseObject (file.loadFileAsString());

    if (parsed.isVoid())
        access = FileAccess::writeAfterKeepingAside;
    else
        root = std::move (parsed);
}

bool DuzezavureSettings::keepUnadoptedFileAside()
{
    if (! file.existsAsFile())
        return true;   // gone since `load`: nothing left to lose

    return copyToNewFile (file, unusedUnreadableCopyName (file));
}

void DuzezavureSettings::save()
{
    if (access == FileAccess::none)
        return;

    if (access == FileAccess::writeAfterKeepingAside)
    {
        if (! keepUnadoptedFileAside())
            return;

        access = FileAccess::write;
    }

    if (! file.getParentDirectory().createDirectory().wasOk())
        return;

    const auto text = toJson (root, JsonLayout::indented);
    replaceFileContents (file, text.toRawUTF8(), text.getNumBytesAsUTF8());
}

juce::DynamicObject& DuzezavureSettings::getRootObject()
{
    if (root.getDynamicObject() == nullptr)
        root = juce::var (new juce::DynamicObject());

    return *root.getDynamicObject();
}

juce::String DuzezavureSettings::getStateJson() const
{
    const auto* object = root.getDynamicObject();
    return object != nullptr ? singleLineObject (readProperty (*object, stateKey)) : juce::String();
}

void DuzezavureSettings::setStateJson (const juce::String& json)
{
    if (auto parsed = parseObject (json); ! parsed.isVoid())
        getRootObject().setProperty (stateKey, parsed);
}

AudioRoute DuzezavureSettings::getRouting() const
{
    AudioRoute route;
    const auto* object = root.getDynamicObject();
    const auto routing = object != nullptr ? readProperty (*object, routingKey) : juce::var();
    const auto* members = routing.getDynamicObject();

    if (members == nullptr)
        return route;

    route.deviceType = readProperty (*members, "deviceType").toString();
    route.inputDevice = readProperty (*members, "inputDevice").toString();
    route.outputDevice = readProperty (*members, "outputDevice").toString();

    if (members->hasProperty ("sampleRate"))
        route.sampleRate = (double) readProperty (*members, "sampleRate");

    if (members->hasProperty ("bufferSize"))
        route.bufferSize = storedInt (readProperty (*members, "bufferSize"));

    if (members->hasProperty ("queueMs"))
        route.queueMs = storedInt (readProperty (*members, "queueMs"));

    return route;
}

void DuzezavureSettings::setRouting (const AudioRoute& route)
{
    juce::var routing (new juce::DynamicObject());
    auto& members = *routing.getDynamicObject();
    members.setProperty ("deviceType", route.deviceType);
    members.setProperty ("inputDevice", route.inputDevice);
    members.setProperty ("outputDevice", route.outputDevice);
    members.setProperty ("sampleRate", route.sampleRate);
    members.setProperty ("bufferSize", route.bufferSize);
    members.setProperty ("queueMs", route.queueMs);
    getRootObject().setProperty (routingKey, routing);
}

juce::StringArray DuzezavureSettings::getLibraryNames() const
{
    juce::StringArray names;
    const auto* object = root.getDynamicObject();
    const auto library = object != nullptr ? readProperty (*object, libraryKey) : juce::var();

    if (auto* entries = library.getDynamicObject())
        for (const auto& entry : entries->getProperties())
            names.add (entry.name.toString());

    std::sort (names.begin(), names.end(),
               [] (const juce::String& a, const juce::String& b) { return compareIgnoringCase (a, b) < 0; });
    return names;
}

juce::String DuzezavureSettings::getLibraryEntryJson (const juce::String& name) const
{
    const auto* object = root.getDynamicObject();
    const auto library = object != nullptr ? readProperty (*object, libraryKey) : juce::var();
    const auto* entries = library.getDynamicObject();

    if (entries == nullptr || name.isEmpty())
        return {};

    return singleLineObject (readProperty (*entries, name));
}

void DuzezavureSettings::putLibraryEntry (const juce::String& name, const juce::String& json)
{
    if (name.isEmpty())
        return;

    auto parsed = parseObject (json);

    if (parsed.isVoid())
        return;

    auto& document = getRootObject();

    if (readProperty (document, libraryKey).getDynamicObject() == nullptr)
        document.setProperty (libraryKey, new juce::DynamicObject());

    document.getProperty (libraryKey).getDynamicObject()->setProperty (name, parsed);
}

void DuzezavureSettings::removeLibraryEntry (const juce::String& name)
{
    const auto* object = root.getDynamicObject();
    const auto library = object != nullptr ? readProperty (*object, libraryKey) : juce::var();

    if (auto* entries = library.getDynamicObject(); entries != nullptr && name.isNotEmpty())
        entries->removeProperty (name);
}

} // namespace brindle
