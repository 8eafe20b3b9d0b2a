#include "TemporaryFolder.h"

#include "platform/PrivateFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace brindle::test
{

namespace
{
    unsigned modeOf (const juce::File& file)
    {
        struct stat info {};
        return ::lstat (file.getFullPathName().toRawUTF8(), &info) == 0 ? (unsigned) (info.st_mode & 07777) : 0u;
    }

    bool makeFolderWithMode (const juce::File& folder, unsigned mode)
    {
        return folder.createDirectory() && ::chmod (folder.getFullPathName().toRawUTF8(), mode) == 0;
    }
}

TEST (PrivateFolder, IsMadeOrNarrowedToThisUserAlone)
{
    struct Case { const char* what; std::function<bool (const juce::File& folder)> arrange; };
    const Case cases[] = {
        { "missing, with its parents", [] (const juce::File&) { return true; } },
        { "ours, open to everyone", [] (const juce::File& folder) { return makeFolderWithMode (folder, 0777); } },
        { "ours, readable by others", [] (const juce::File& folder) { return makeFolderWithMode (folder, 0755); } },
        { "ours, without our own write permission", [] (const juce::File& folder) { return makeFolderWithMode (folder, 0500); } },
        { "ours and private already", [] (const juce::File& folder) { return makeFolderWithMode (folder, 0700); } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const TemporaryFolder home;
        const auto folder = home.get().getChildFile ("share/Maker/folder");
        ASSERT_TRUE (c.arrange (folder));

        const auto result = makePrivateFolder (folder);
        EXPECT_TRUE (result.wasOk()) << result.getErrorMessage();
        EXPECT_TRUE (folder.isDirectory());
        EXPECT_EQ (modeOf (folder), 0700u);
    }

    // Parents it had to make are the user's alone too; those that were there are left as they are.
    const TemporaryFolder home;
    ASSERT_TRUE (makeFolderWithMode (home.get().getChildFile ("share"), 0755));
    ASSERT_TRUE (makePrivateFolder (home.get().getChildFile ("share/Maker/folder")).wasOk());
    EXPECT_EQ (modeOf (home.get().getChildFile ("share/Maker")), 0700u);
    EXPECT_EQ (modeOf (home.get().getChildFile ("share")), 0755u);
}

TEST (PrivateFolder, RefusesWhatIsNotAFolderOfThisUsersAndLeavesItAlone)
{
    const TemporaryFolder home;
    const auto elsewhere = home.get().getChildFile ("elsewhere");
    ASSERT_TRUE (makeFolderWithMode (elsewhere, 0755));

    struct Case { const char* what; const char* blocker; std::function<bool (const juce::File& at)> arrange; const char* said; };
    std::vector<Case> cases {
        { "a link to a folder", "place/folder", [&] (const juce::File& at) { return elsewhere.createSymbolicLink (at, false); }, "is a symbolic link" },
        { "a link to nowhere", "place/folder", [&] (const juce::File& at) { return home.get().getChildFile ("gone").createSymbolicLink (at, false); }, "is a symbolic link" },
        { "a file", "place/folder", [] (const juce::File& at) { return at.replaceWithText ("mine"); }, "is not a folder" },
        { "a file where a parent goes", "place", [] (const juce::File& at) { return at.replaceWithText ("mine"); }, "cannot be made" },
    };

    // Only root can give a folder to someone else.
    if (::geteuid() == 0)
        cases.push_back ({ "another user's folder", "place/folder", [] (const juce::File& at) {
            return makeFolderWithMode (at, 0755) && ::chown (at.getFullPathName().toRawUTF8(), 65534, 65534) == 0;
        }, "belongs to another user" });

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto blocker = home.get().getChildFile (c.blocker);
        blocker.getParentDirectory().createDirectory();
        ASSERT_TRUE (c.arrange (blocker));
        const auto modeBefore = modeOf (blocker);

        const auto result = makePrivateFolder (home.get().getChildFile ("place/folder"));
        EXPECT_TRUE (result.failed());
        EXPECT_TRUE (result.getErrorMessage().contains (c.said)) << result.getErrorMessage();
        EXPECT_EQ (modeOf (blocker), modeBefore);

        ::unlink (blocker.getFullPathName().toRawUTF8());
        ::rmdir (blocker.getFullPathName().toRawUTF8());
    }

    EXPECT_EQ (modeOf (elsewhere), 0755u) << "nothing was done through the link";
    EXPECT_FALSE (home.get().getChildFile ("gone").exists());
}

} // namespace brindle::test
