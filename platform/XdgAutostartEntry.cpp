#include "XdgAutostartEntry.h"

#include "common/SafeFileWrite.h"

namespace brindle
{

namespace
{
    /** One argument of an Exec line, in double quotes: inside them `"`, `` ` ``, `$` and `\`
        take a backslash, and a literal `%` is written `%%` so it is not a field code. */
    juce::String quotedExecArgument (const juce::String& argument)
    {
        juce::String quoted ("\"");

        for (auto rest = argument.getCharPointer(); ! rest.isEmpty();)
        {
            const auto c = rest.getAndAdvance();

            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted << '\\';

            if (c == '%')
                quoted << '%';

            quoted << juce::String::charToString (c);
        }

        return quoted + "\"";
    }

    /** A desktop entry's string value: backslash and the line-breaking characters escaped.
        Applied after quoting, so a literal backslash ends up as four. */
    juce::String escapedStringValue (const juce::String& value)
    {
        return value.replace ("\\", "\\\\")
                    .replace ("\n", "\\n")
                    .replace ("\r", "\\r")
                    .replace ("\t", "\\t");
    }

    juce::String entryText (const juce::File& executable)
    {
        return "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Tonwell Duzezavure\n"
               "Exec=" + escapedStringValue (quotedExecArgument (executable.getFullPathName())) + "\n";
    }
}

XdgAutostartEntry::XdgAutostartEntry (const ApplicationDataFolder& folder)
    : configFolder (folder)
{
}

std::optional<juce::File> XdgAutostartEntry::entryFile() const
{
    const auto folder = configFolder.locate();

    if (! folder.has_value())
        return std::nullopt;

    return folder->getChildFile ("autostart").getChildFile (entryFileName);
}

bool XdgAutostartEntry::isEnabled() const
{
    const auto file = entryFile();
    return file.has_value() && file->exists();
}

bool XdgAutostartEntry::enable (const juce::File& executable)
{
    const auto file = entryFile();

    if (! file.has_value() || ! file->getParentDirectory().createDirectory().wasOk())
        return false;

    // Only the running instance writes the entry: a temporary file of its naming lying about
    // was left by a write that was killed.
    removeLeftoverTemporaries (*file);

    const auto text = entryText (executable);
    return replaceFileContents (*file, text.toRawUTF8(), text.getNumBytesAsUTF8());
}

bool XdgAutostartEntry::disable()
{
    const auto file = entryFile();

    if (! file.has_value() || ! file->exists())
        return true;

    return file->deleteFile();
}

} // namespace brindle
