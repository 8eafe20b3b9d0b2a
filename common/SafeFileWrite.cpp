#include "SafeFileWrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <optional>
#include <string>

namespace brindle
{

namespace
{
    /** As many links as the kernel follows before it gives up with ELOOP. */
    constexpr int mostLinksFollowed = 40;
    constexpr const char* temporarySuffix = ".partial";
    constexpr int randomDigits = 8;

    std::string folderOf (const std::string& path)
    {
        const auto slash = path.rfind ('/');
        return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr (0, slash);
    }

    std::string nameOf (const std::string& path)
    {
        const auto slash = path.rfind ('/');
        return slash == std::string::npos ? path : path.substr (slash + 1);
    }

    /** The path of the file that `path` leads to, every symbolic link followed; relative link
        text counts from the link's own folder. Nothing for a loop or an unusable path. The
        folders on the way are left to the kernel, so a ".." after a linked folder means what
        it means to every other program. */
    std::optional<std::string> followLinks (std::string path)
    {
        for (int followed = 0; followed <= mostLinksFollowed; ++followed)
        {
            if (path.empty() || nameOf (path).empty())
                return std::nullopt;

            struct stat info {};
            if (::lstat (path.c_str(), &info) != 0 || ! S_ISLNK (info.st_mode))
                return path;

            char text[PATH_MAX];
            const auto length = ::readlink (path.c_str(), text, sizeof text);

            if (length <= 0 || (size_t) length >= sizeof text)
                return std::nullopt;

            const std::string linkText (text, (size_t) length);
            path = linkText[0] == '/' ? linkText : folderOf (path) + "/" + linkText;
        }

        return std::nullopt;
    }

    bool writeAll (int fd, const void* data, size_t numBytes)
    {
        auto* next = static_cast<const char*> (data);

        while (numBytes > 0)
        {
            const auto written = ::write (fd, next, numBytes);

            if (written < 0 && errno == EINTR)
                continue;

            if (written <= 0)
                return false;   // a full disk or a file-size limit stops a write short

            next += written;
            numBytes -= (size_t) written;
        }

        return true;
    }

    /** A new hidden file beside `targetPath`, named after it, created exclusively so that it
        is never another writer's; its path and descriptor. */
    std::optional<std::pair<std::string, int>> createTemporaryBeside (const std::string& targetPath)
    {
        const auto prefix = folderOf (targetPath) + "/." + nameOf (targetPath) + ".";
        juce::Random random;

        for (int attempt = 0; attempt < 100; ++attempt)
        {
            const auto digits = juce::String::toHexString (random.nextInt64()).paddedLeft ('0', randomDigits)
                                    .getLastCharacters (randomDigits);
            auto path = prefix + digits.toStdString() + temporarySuffix;
            const int fd = ::open (path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);

            if (fd >= 0)
                return std::make_pair (std::move (path), fd);

            if (errno != EEXIST)
                return std::nullopt;
        }

        return std::nullopt;
    }

    /** The name is one that createTemporaryBeside makes for `name`. */
    bool isOurTemporaryName (const std::string& candidate, const std::string& name)
    {
        const auto prefix = "." + name + ".";
        const std::string suffix (temporarySuffix);

        if (candidate.size() != prefix.size() + randomDigits + suffix.size()
            || candidate.compare (0, prefix.size(), prefix) != 0
            || candidate.compare (candidate.size() - suffix.size(), suffix.size(), suffix) != 0)
            return false;

        const auto digits = candidate.substr (prefix.size(), randomDigits);
        return digits.find_first_not_of ("0123456789abcdef") == std::string::npos;
    }

    /** The name is one that the framework's temporary file gave a hidden temporary of `name`,
        as earlier versions wrote: ".stem_temp" + hexadecimal digits + ".ext", with at most a
        number after the digits where that name was taken. */
    bool isEarlierTemporaryName (const std::string& candidate, const std::string& name)
    {
        const auto dot = name.rfind ('.');
        const auto stem = dot == std::string::npos ? name : name.substr (0, dot);
        const auto extension = dot == std::string::npos ? std::string() : name.substr (dot);
        const auto prefix = "." + stem + "_temp";

        if (candidate.size() <= prefix.size() + extension.size()
            || candidate.compare (0, prefix.size(), prefix) != 0
            || candidate.compare (candidate.size() - extension.size(), extension.size(), extension) != 0)
            return false;

        const auto middle = candidate.substr (prefix.size(), candidate.size() - prefix.size() - extension.size());
        return middle.size() <= 20
            && std::isxdigit ((unsigned char) middle[0])
            && middle.find_first_not_of ("0123456789abcdef_") == std::string::npos;
    }

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
    const auto path = followLinks (target.getFullPathName().toStdString());

    if (! path.has_value())
        return false;

    struct stat existing {};
    const bool exists = ::stat (path->c_str(), &existing) == 0;

    if ((! exists && errno != ENOENT) || (exists && ! S_ISREG (existing.st_mode)))
        return false;

    const auto temporary = createTemporaryBeside (*path);

    if (! temporary.has_value())
        return false;

    const auto& [temporaryPath, fd] = *temporary;

    // A new file keeps the mode it was created with, 0644 less the umask.
    bool written = writeAll (fd, data, numBytes)
                && (! exists || ::fchmod (fd, existing.st_mode & 0777) == 0)
                && ::fsync (fd) == 0;
    written = ::close (fd) == 0 && written;

    if (written && ::rename (temporaryPath.c_str(), path->c_str()) == 0)
        return true;

    ::unlink (temporaryPath.c_str());
    return false;
}

int removeLeftoverTemporaries (const juce::File& target)
{
    const auto path = followLinks (target.getFullPathName().toStdString());

    if (! path.has_value())
        return 0;

    const auto folder = folderOf (*path);
    const auto name = nameOf (*path);
    auto* entries = ::opendir (folder.c_str());

    if (entries == nullptr)
        return 0;

    int removed = 0;

    while (const auto* entry = ::readdir (entries))
    {
        const std::string candidate (entry->d_name);

        if (! isOurTemporaryName (candidate, name) && ! isEarlierTemporaryName (candidate, name))
            continue;

        const auto candidatePath = folder + "/" + candidate;
        struct stat info {};

        if (::lstat (candidatePath.c_str(), &info) == 0 && S_ISREG (info.st_mode) && ::unlink (candidatePath.c_str()) == 0)
            ++removed;
    }

    ::closedir (entries);
    return removed;
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
