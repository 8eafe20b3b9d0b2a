#include "SafeFileWrite.h"

namespace brindle
{

namespace
{
    /** Writes into a file that did not exist; false when any byte did not reach the disk. The
        size is checked on the disk afterwards because the stream's flush does not report a
        short write (a full disk, a file-size limit). */
    bool writeNewFile (const juce::File& file, const void* data, size_t numBytes)
    {
        {
            juce::FileOutputStream out (file);

            if (! out.openedOk() || out.getPosition() != 0)
                return false;

            if (numBytes > 0 && ! out.write (data, numBytes))
                return false;

            out.flush();   // also syncs the file to the disk

            if (out.getStatus().failed())
                return false;
        }

        return file.getSize() == (juce::int64) numBytes;
    }
}

bool replaceFileContents (const juce::File& target, const void* data, size_t numBytes)
{
    juce::TemporaryFile temporary (target, juce::TemporaryFile::useHiddenFile);

    if (! writeNewFile (temporary.getFile(), data, numBytes))
        return false;   // the temporary file goes with `temporary`

    return temporary.overwriteTargetFileWithTemporary();
}

bool copyToNewFile (const juce::File& source, const juce::File& destination)
{
    if (destination.exists() || ! source.existsAsFile())
        return false;

    juce::MemoryBlock bytes;

    if (! source.loadFileAsData (bytes) || (juce::int64) bytes.getSize() != source.getSize())
        return false;

    if (writeNewFile (destination, bytes.getData(), bytes.getSize()))
        return true;

    destination.deleteFile();
    return false;
}

} // namespace brindle
