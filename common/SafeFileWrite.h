#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** Writing files so that what was there is never lost half-way: a write either completes or
    leaves the earlier file as it was.

    Threading: any thread; each call works on the files it is given and shares nothing. Two
    writes of the same target at once are the caller's to prevent. */

/** Writes the bytes to a hidden temporary file in the target's folder, flushes it to the disk,
    checks that every byte got there, and only then puts it in the target's place (a rename, so
    a reader sees either the old file or the new one). The folder must exist. True when the
    target now holds exactly these bytes; on failure the target is untouched and the temporary
    file removed.

    A target that is a symbolic link (or a chain of them) stays one: the file it leads to is
    replaced, in that file's own folder. An existing file keeps its permission bits, a
    read-only one too (the rename needs only its folder to be writable); a new file gets 0644
    less the umask. A target that exists but is not a regular file is refused. */
bool replaceFileContents (const juce::File& target, const void* data, size_t numBytes);

/** Removes the temporary files that writes of `target` left in its folder when the process was
    killed half-way, of this version's naming and of the earlier one (".name_temp<hex>.ext").
    Nothing else is touched: only regular files of exactly those names. Call it where no write
    of `target` can be under way, such as at start while holding the single-instance lock.
    Returns how many it removed. */
int removeLeftoverTemporaries (const juce::File& target);

/** Copies `source` byte for byte to `destination`, which must not exist yet (an existing file
    there is never overwritten), and flushes it to the disk. True when the copy is complete;
    a failed copy leaves no partial file behind. */
bool copyToNewFile (const juce::File& source, const juce::File& destination);

} // namespace brindle
