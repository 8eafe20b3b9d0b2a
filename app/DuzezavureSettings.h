#pragma once

#include "engine/AudioRoute.h"
#include "platform/ApplicationDataFolder.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <optional>
#include <string>

namespace brindle
{

/** The program's only configuration: one JSON document held as a dynamic value and stored
    whole in "Tonwell/duzezavure.json" inside the user's application-data folder. It holds the
    last correction state ("state"), the audio route ("routing") and the rooms the user saved
    by name ("library"); members it does not know are kept and written back.

    The store reads its file once (`load`), never merges or validates what it holds, and
    writes the whole document when asked (`save`); nothing here saves on its own.

    What the store does so that a saved room is never lost:
    - It writes only after `load` attached it to its file. A start that ends before loading
      (because another instance runs) therefore never puts its defaults over that instance's
      file.
    - A file that `load` could not adopt (unreadable, not JSON, nested too deeply, too large,
      or not an object) is copied to "duzezavure.json.unreadable" (".unreadable.2", ... when
      earlier copies exist; none is overwritten) before the first save replaces it; when that
      copy fails, nothing is saved. So is a file that held bytes that are not UTF-8: it is read
      with U+FFFD in their place, and its original bytes are kept aside the same way.
    - With no application-data folder there is no file: nothing is read or written.
    - A save writes a temporary file in the same folder and renames it into place only when
      every byte reached the disk.
    - The file always reads back: a change that would make the document one `load` refuses
      (longer than the reader takes, or an object of too many members, or too many different
      names; common/JsonLimits.h) is refused and leaves the document as it was, and `save`
      never writes such a document (one changed through `getRootObject`), leaving the file as
      it was.

    Threading: message thread only; takes no lock. */
class DuzezavureSettings
{
public:
    /** [message thread] The same, in the settings folder below `folder`'s location (tests give
        a temporary folder, or none). */
    explicit DuzezavureSettings (const ApplicationDataFolder& folder);

    /** [message thread] Reads the file once: an object replaces the document whole; anything
        else leaves the defaults (and marks the file to be kept aside before the next save, as
        does a byte that is not UTF-8). */
    void load();

    /** [message thread] Writes the whole document, indented with CRLF line ends. Does nothing
        before `load` or without a folder (and that is no failure). A failure says why (the
        unreadable file could not be kept aside, the folder could not be made, the file could
        not be replaced, or the document is one its reader would refuse); the file then stays
        as it was, the document stays in memory and the next save tries again. */
    juce::Result save();

    /** [message thread] The settings file; an empty path when there is no folder. */
    juce::File getFile() const;

    /** [message thread] The document's root object (replaced by an empty one first, should the
        document not be an object). The next save checks the whole document again, for the
        caller may change it. */
    juce::DynamicObject& getRootObject();

    /** [message thread] "state" as single-line JSON text when it is an object; else empty. */
    juce::String getStateJson() const;

    /** [message thread] Stores the parsed text as "state" when it is a JSON object and the
        document with it still reads back; otherwise nothing changes. Whether it was stored. */
    bool setStateJson (const juce::String& json);

    /** [message thread] "routing" as stored, with the route defaults for what is missing and no
        range checks: values may be absurd, but every conversion is defined (a huge or
        non-finite size saturates, NaN reads as 0). A sample rate that is not a finite number
        (nor a text holding one) reads as the default, as a missing one does. */
    AudioRoute getRouting() const;

    /** [message thread] Replaces "routing" (in place when present) by the route's six keys,
        unless the document with them would not read back. Whether it was stored. */
    bool setRouting (const AudioRoute& route);

    /** [message thread] The names in "library", sorted ignoring case (`compareIgnoringCase`);
        empty when "library" is missing or not an object. */
    juce::StringArray getLibraryNames() const;

    /** [message thread] The entry of exactly that name as single-line JSON text when it is an
        object; else empty. */
    juce::String getLibraryEntryJson (const juce::String& name) const;

    /** [message thread] Stores the parsed text under the name when the name is not empty, the
        text is a JSON object and the document with it still reads back; a "library" that is
        not an object is replaced first. Whether it was stored (otherwise nothing changed). */
    bool putLibraryEntry (const juce::String& name, const juce::String& json);

    /** [message thread] Removes the entry of exactly that name, if "library" holds one. */
    void removeLibraryEntry (const juce::String& name);

private:
    /** What `load` left the store allowed to do with its file. */
    enum class FileAccess
    {
        none,                  // not loaded yet, or no file path: never written
        write,                 // the file was adopted, or there was none
        writeAfterKeepingAside // the file was not adopted, or not read exactly: copy it aside
                               // before replacing it
    };

    bool keepFileAside();

    /** Keeps the change just made when the document still reads back, its text ready for the
        next save; otherwise `undo` takes it back. Whether it was kept. */
    bool keepIfReadable (const std::function<void()>& undo);

    juce::var root;
    juce::File file;
    FileAccess access = FileAccess::none;
    std::optional<std::string> text;   // the document as the next save writes it; none when
                                       // it may have changed since it was last written out
};

} // namespace brindle
