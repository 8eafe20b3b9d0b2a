#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** Writing files so that what was there is never lost half-way: a write either completes or
    leaves the earlier file as it was.

    Threading: any thread; each call works on the files it is given and shares nothing. */

/** Writes the bytes to a hidden temporary file in the target's folder, flushes it to the disk,
    checks that every byte got there, and only then puts it in the target's place (a rename, so
    a reader sees either the old file or the new one). The folder must exist. True when the
    target now holds exactly these bytes; on failure the target is untouched and the temporary
    file removed. */
bool replaceFileContents (const juce::File& target, const void* data, size_t numBytes);

/** Copies `source` byte for byte to `destination`, which must not exist yet (an existing file
    there is never overwritten), and flushes it to the disk. True when the copy is complete;
    a failed copy leaves no partial file behind. */
bool copyToNewFile (const juce::File& source, const juce::File& destination);

} // namespace brindle
