#include "DuzezavureSettings.h"

#include "CaseInsensitiveOrder.h"
#include "common/JsonReader.h"
#include "common/JsonWriter.h"
#include "common/SafeFileWrite.h"
#include "common/Utf8Decoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

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

        if (parseJson (json, parsed).failed() || parsed.getDynamicObject() == nullptr)
            return {};

        return parsed;
    }

    /** The settings file's text, and whether saving over it would lose nothing of its bytes. */
    struct FileText
    {
        juce::String text;
        bool readExactly = false;
    };

    /** UTF-8, read as such even where a byte is not (U+FFFD takes its place); a leading
        byte-order mark is skipped, and UTF-16 with its byte-order mark read as the framework
        always read it. Empty text for a file that cannot be read or is too large to be ours. */
    FileText readText (const juce::File& file)
    {
        juce::MemoryBlock bytes;

        if (file.getSize() > (juce::int64) maxJsonTextBytes || ! file.loadFileAsData (bytes))
            return {};

        const auto* data = static_cast<const char*> (bytes.getData());
        auto size = bytes.getSize();

        if (size >= 2 && (juce::CharPointer_UTF16::isByteOrderMarkBigEndian (data)
                           || juce::CharPointer_UTF16::isByteOrderMarkLittleEndian (data)))
            return { juce::String::createStringFromData (data, (int) size), true };

        if (size >= 3 && juce::CharPointer_UTF8::isByteOrderMark (data))
        {
            data += 3;
            size -= 3;
        }

        auto decoded = decodeUtf8 (data, size);
        return { std::move (decoded.text), decoded.wellFormed };
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

    /** A stored sample rate: a finite number, or a text that holds exactly one (blanks around
        it aside); anything else (true, null, an object, "fast") is no rate and gives the
        default, as a missing member does. */
    double storedSampleRate (const juce::var& value, double fallback)
    {
        double rate = fallback;

        if (value.isInt() || value.isInt64() || value.isDouble())
        {
            rate = (double) value;
        }
        else if (value.isString())
        {
            const auto text = value.toString().trim();
            const auto* begin = text.toRawUTF8();
            const auto* end = begin + text.getNumBytesAsUTF8();
            double parsed = 0.0;
            const auto [stop, error] = std::from_chars (begin, end, parsed);

            if (error == std::errc() && stop == end && begin != end)
                rate = parsed;
        }

        return std::isfinite (rate) ? rate : fallback;
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

    /** A member of an object as it stood before a change, to put back should the change be
        refused: its value where it stood, or no member at all. */
    class MemberBefore
    {
    public:
        MemberBefore (juce::DynamicObject& objectToWatch, const juce::Identifier& nameToWatch)
            : object (objectToWatch), name (nameToWatch)
        {
            if (const auto* held = object.getProperties().getVarPointer (name))
                value = *held;
        }

        void restore() const
        {
            if (value.has_value())
                object.setProperty (name, *value);
            else
                object.removeProperty (name);
        }

    private:
        juce::DynamicObject& object;
        juce::Identifier name;
        std::optional<juce::var> value;
    };

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

    const auto read = readText (file);
    auto parsed = parseObject (read.text);

    if (parsed.isVoid() || ! read.readExactly)
        access = FileAccess::writeAfterKeepingAside;

    if (! parsed.isVoid())
        root = std::move (parsed);

    text.reset();
}

bool DuzezavureSettings::keepFileAside()
{
    if (! file.existsAsFile())
        return true;   // gone since `load`: nothing left to lose

    return copyToNewFile (file, unusedUnreadableCopyName (file));
}

juce::Result DuzezavureSettings::save()
{
    if (access == FileAccess::none)
        return juce::Result::ok();

    if (access == FileAccess::writeAfterKeepingAside)
    {
        if (! keepFileAside())
            return juce::Result::fail ("could not keep the unreadable " + file.getFullPathName() + " aside, so it was not replaced");

        access = FileAccess::write;
    }

    if (! text.has_value())
        text = toReadableJsonUtf8 (root, JsonLayout::indented);

    // A document the next start could not read is never written: the file keeps the last one.
    if (! text.has_value())
        return juce::Result::fail ("the settings grew past what " + file.getFullPathName() + " can be read back with, so it was not replaced");

    if (const auto folder = file.getParentDirectory().createDirectory(); folder.failed())
        return juce::Result::fail ("could not make the folder of " + file.getFullPathName() + ": " + folder.getErrorMessage());

    if (! replaceFileContents (file, text->data(), text->size()))
        return juce::Result::fail ("could not write " + file.getFullPathName());

    return juce::Result::ok();
}

juce::DynamicObject& DuzezavureSettings::getRootObject()
{
    text.reset();   // the caller may change the document

    if (root.getDynamicObject() == nullptr)
        root = juce::var (new juce::DynamicObject());

    return *root.getDynamicObject();
}

bool DuzezavureSettings::keepIfReadable (const std::function<void()>& undo)
{
    text = toReadableJsonUtf8 (root, JsonLayout::indented);

    if (text.has_value())
        return true;

    undo();
    return false;
}

juce::String DuzezavureSettings::getStateJson() const
{
    const auto* object = root.getDynamicObject();
    return object != nullptr ? singleLineObject (readMember (*object, stateKey)) : juce::String();
}

bool DuzezavureSettings::setStateJson (const juce::String& json)
{
    auto parsed = parseObject (json);

    if (parsed.isVoid())
        return false;

    auto& document = getRootObject();
    const MemberBefore before (document, stateKey);
    document.setProperty (stateKey, parsed);
    return keepIfReadable ([&] { before.restore(); });
}

AudioRoute DuzezavureSettings::getRouting() const
{
    AudioRoute route;
    const auto* object = root.getDynamicObject();
    const auto routing = object != nullptr ? readMember (*object, routingKey) : juce::var();
    const auto* members = routing.getDynamicObject();

    if (members == nullptr)
        return route;

    route.deviceType = readMemberText (*members, "deviceType");
    route.inputDevice = readMemberText (*members, "inputDevice");
    route.outputDevice = readMemberText (*members, "outputDevice");

    if (members->hasProperty ("sampleRate"))
        route.sampleRate = storedSampleRate (readMember (*members, "sampleRate"), route.sampleRate);

    if (members->hasProperty ("bufferSize"))
        route.bufferSize = storedInt (readMember (*members, "bufferSize"));

    if (members->hasProperty ("queueMs"))
        route.queueMs = storedInt (readMember (*members, "queueMs"));

    return route;
}

bool DuzezavureSettings::setRouting (const AudioRoute& route)
{
    juce::var routing (new juce::DynamicObject());
    auto& members = *routing.getDynamicObject();
    members.setProperty ("deviceType", route.deviceType);
    members.setProperty ("inputDevice", route.inputDevice);
    members.setProperty ("outputDevice", route.outputDevice);
    members.setProperty ("sampleRate", route.sampleRate);
    members.setProperty ("bufferSize", route.bufferSize);
    members.setProperty ("queueMs", route.queueMs);

    auto& document = getRootObject();
    const MemberBefore before (document, routingKey);
    document.setProperty (routingKey, routing);
    return keepIfReadable ([&] { before.restore(); });
}

juce::StringArray DuzezavureSettings::getLibraryNames() const
{
    juce::StringArray names;
    const auto* object = root.getDynamicObject();
    const auto library = object != nullptr ? readMember (*object, libraryKey) : juce::var();

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
    const auto library = object != nullptr ? readMember (*object, libraryKey) : juce::var();
    const auto* entries = library.getDynamicObject();

    if (entries == nullptr || name.isEmpty())
        return {};

    return singleLineObject (readMember (*entries, name));
}

bool DuzezavureSettings::putLibraryEntry (const juce::String& name, const juce::String& json)
{
    if (name.isEmpty())
        return false;

    auto parsed = parseObject (json);

    if (parsed.isVoid())
        return false;

    auto& document = getRootObject();
    const MemberBefore libraryBefore (document, libraryKey);

    if (readMember (document, libraryKey).getDynamicObject() == nullptr)
        document.setProperty (libraryKey, new juce::DynamicObject());

    auto& library = *document.getProperty (libraryKey).getDynamicObject();
    const MemberBefore entryBefore (library, name);
    library.setProperty (name, parsed);
    return keepIfReadable ([&] { entryBefore.restore(); libraryBefore.restore(); });
}

void DuzezavureSettings::removeLibraryEntry (const juce::String& name)
{
    const auto* object = root.getDynamicObject();
    const auto library = object != nullptr ? readMember (*object, libraryKey) : juce::var();

    if (auto* entries = library.getDynamicObject(); entries != nullptr && name.isNotEmpty())
    {
        entries->removeProperty (name);
        text.reset();
    }
}

} // namespace brindle
