#include "PrivateFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace brindle
{

namespace
{
    juce::Result failure (const juce::File& folder, const juce::String& why)
    {
        return juce::Result::fail (folder.getFullPathName() + " " + why);
    }

    juce::String lastError()
    {
        return juce::String::fromUTF8 (std::strerror (errno));
    }

    bool makeMissingFolders (const juce::File& folder)
    {
        if (folder.isDirectory())
            return true;

        const auto parent = folder.getParentDirectory();

        if (parent != folder && ! makeMissingFolders (parent))
            return false;

        return ::mkdir (folder.getFullPathName().toRawUTF8(), 0700) == 0 || (errno == EEXIST && folder.isDirectory());
    }
}

juce::Result makePrivateFolder (const juce::File& folder)
{
    const auto parent = folder.getParentDirectory();

    if (! makeMissingFolders (parent))
        return failure (parent, "cannot be made: " + lastError());

    const auto* path = folder.getFullPathName().toRawUTF8();

    if (::mkdir (path, 0700) != 0 && errno != EEXIST)
        return failure (folder, "cannot be made: " + lastError());

    struct stat info {};

    if (::lstat (path, &info) != 0)
        return failure (folder, "cannot be read: " + lastError());

    if (S_ISLNK (info.st_mode))
        return failure (folder, "is a symbolic link");

    if (! S_ISDIR (info.st_mode))
        return failure (folder, "is not a folder");

    if (info.st_uid != ::getuid())
        return failure (folder, "belongs to another user");

    if ((info.st_mode & 0777) != 0700 && ::chmod (path, 0700) != 0)
        return failure (folder, "cannot be made private: " + lastError());

    return juce::Result::ok();
}

} // namespace brindle
