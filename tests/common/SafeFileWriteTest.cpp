#include "common/SafeFileWrite.h"

#include "FileBytes.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

namespace brindle::test
{

namespace
{
    const std::string before = "{\"version\": 1}";
    const std::string after = "{\r\n  \"version\": 2\r\n}";

    bool replace (const juce::File& target, const std::string& bytes)
    {
        return replaceFileContents (target, bytes.data(), bytes.size());
    }

    void writeBytes (const juce::File& file, const std::string& bytes)
    {
        file.getParentDirectory().createDirectory();
        ASSERT_TRUE (file.replaceWithText (bytes));
    }

    void makeLink (const juce::File& link, const std::string& text)
    {
        link.getParentDirectory().createDirectory();
        ASSERT_EQ (::symlink (text.c_str(), link.getFullPathName().toRawUTF8()), 0) << text;
    }

    std::string linkText (const juce::File& link)
    {
        char text[4096];
        const auto length = ::readlink (link.getFullPathName().toRawUTF8(), text, sizeof text);
        return length > 0 ? std::string (text, (size_t) length) : std::string ("(not a link)");
    }

    unsigned modeOf (const juce::File& file)
    {
        struct stat info {};
        return ::stat (file.getFullPathName().toRawUTF8(), &info) == 0 ? (unsigned) (info.st_mode & 07777) : 0u;
    }

    /** Every name in the folder, hidden ones too, sorted. */
    juce::StringArray namesIn (const juce::File& folder)
    {
        juce::StringArray names;

        for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFilesAndDirectories))
            names.add (entry.getFile().getFileName());

        names.sort (false);
        return names;
    }
}

TEST (SafeFileWrite, ALinkedFileIsReplacedWhereItLivesAndTheLinkStays)
{
    struct Case
    {
        const char* what;
        const char* realFile;    // below the temporary folder
        const char* linkText;    // the settings file's link; "@" stands for the temporary folder
        const char* middleLink;  // a second link in the chain, below the temporary folder, or null
        const char* middleText;
    };

    const Case cases[] = {
        { "relative, same folder", "config/real.json", "real.json", nullptr, nullptr },
        { "relative, another folder", "dotfiles/duzezavure.json", "../dotfiles/duzezavure.json", nullptr, nullptr },
        { "absolute, another folder", "dotfiles/duzezavure.json", "@/dotfiles/duzezavure.json", nullptr, nullptr },
        { "a chain of two", "store/deep/real.json", "../hop/next.json", "hop/next.json", "../store/deep/real.json" },
        { "dangling: the linked file is made", "dotfiles/new.json", "../dotfiles/new.json", nullptr, nullptr },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        TemporaryFolder home;
        const auto settings = home.get().getChildFile ("config/duzezavure.json");
        const auto real = home.get().getChildFile (c.realFile);
        const auto dangling = juce::String (c.what).startsWith ("dangling");

        real.getParentDirectory().createDirectory();
        if (! dangling)
            writeBytes (real, before);

        const auto text = juce::String (c.linkText).replace ("@", home.get().getFullPathName()).toStdString();
        makeLink (settings, text);
        if (c.middleLink != nullptr)
            makeLink (home.get().getChildFile (c.middleLink), c.middleText);

        const auto realFolderBefore = namesIn (real.getParentDirectory());
        const auto settingsFolderBefore = namesIn (settings.getParentDirectory());

        ASSERT_TRUE (replace (settings, after));

        EXPECT_EQ (linkText (settings), text) << "the link is still the same link";
        EXPECT_EQ (fileBytes (real), after) << "the linked file holds the new text";
        EXPECT_EQ (fileBytes (settings), after);
        EXPECT_EQ (namesIn (settings.getParentDirectory()), settingsFolderBefore) << "nothing left beside the link";

        auto expectedRealFolder = realFolderBefore;
        expectedRealFolder.addIfNotAlreadyThere (real.getFileName());
        expectedRealFolder.sort (false);
        EXPECT_EQ (namesIn (real.getParentDirectory()), expectedRealFolder) << "no temporary file left beside the target";

        EXPECT_TRUE (replace (settings, before)) << "a second save reaches the same file";
        EXPECT_EQ (fileBytes (real), before);
    }
}

TEST (SafeFileWrite, AReplacedFileKeepsItsPermissionBits)
{
    for (const bool throughLink : { false, true })
    {
        for (const unsigned mode : { 0600u, 0444u, 0640u, 0604u })
        {
            SCOPED_TRACE (juce::String::formatted ("0%o", mode) + (throughLink ? " through a link" : ""));
            TemporaryFolder home;
            const auto file = home.get().getChildFile ("duzezavure.json");
            writeBytes (file, before);
            ASSERT_EQ (::chmod (file.getFullPathName().toRawUTF8(), mode), 0);

            const auto target = throughLink ? home.get().getChildFile ("link.json") : file;
            if (throughLink)
                makeLink (target, "duzezavure.json");

            ASSERT_TRUE (replace (target, after));
            EXPECT_EQ (fileBytes (file), after);
            EXPECT_EQ (modeOf (file), mode);
        }
    }

    TemporaryFolder home;
    const auto fresh = home.get().getChildFile ("fresh.json");
    const auto previousMask = ::umask (022);
    ASSERT_TRUE (replace (fresh, after));
    ::umask (previousMask);
    EXPECT_EQ (modeOf (fresh), 0644u) << "a new file as the framework made one";
}

TEST (SafeFileWrite, AWriteKilledHalfWayLeavesATemporaryThatTheNextStartRemoves)
{
    TemporaryFolder home;
    const auto settings = home.get().getChildFile ("duzezavure.json");
    writeBytes (settings, before);

    // The child dies of the file-size limit in the middle of its write, as a killed save does.
    const std::string big (64 * 1024, 'x');
    const auto child = ::fork();
    ASSERT_GE (child, 0);

    if (child == 0)
    {
        const rlimit noCore { 0, 0 }, small { 1000, RLIM_INFINITY };
        ::setrlimit (RLIMIT_CORE, &noCore);
        std::signal (SIGXFSZ, SIG_DFL);
        ::setrlimit (RLIMIT_FSIZE, &small);
        replace (settings, big);
        ::_exit (0);
    }

    int status = 0;
    ASSERT_EQ (::waitpid (child, &status, 0), child);
    ASSERT_TRUE (WIFSIGNALED (status) && WTERMSIG (status) == SIGXFSZ) << "the write was not cut short";

    ASSERT_EQ (namesIn (home.get()).size(), 2) << namesIn (home.get()).joinIntoString (" ");
    EXPECT_EQ (fileBytes (settings), before);

    EXPECT_EQ (removeLeftoverTemporaries (settings), 1);
    EXPECT_EQ (namesIn (home.get()), juce::StringArray ("duzezavure.json"));
}

TEST (SafeFileWrite, OnlyTemporariesOfTheTargetsOwnNamingAreRemoved)
{
    TemporaryFolder home;
    const auto folder = home.get().getChildFile ("Tonwell");
    const auto settings = folder.getChildFile ("duzezavure.json");
    writeBytes (settings, before);

    const char* leftovers[] = {
        ".duzezavure.json.0123abcd.partial",   // this version's
        ".duzezavure_temp5f3a9c1b.json",       // earlier versions', by the framework's naming
        ".duzezavure_temp7e_2.json",
    };
    const char* others[] = {
        "duzezavure.json.unreadable",
        ".duzezavure.json.0123abc.partial",
        ".duzezavure.json.0123abcd.partial.keep",
        ".other.json.0123abcd.partial",
        ".duzezavure_template.json",
        "duzezavure_temp5f3a9c1b.json",
        ".duzezavure_temp5f3a9c1b.json.bak",
    };

    for (const auto* name : leftovers)
        writeBytes (folder.getChildFile (name), "left");
    for (const auto* name : others)
        writeBytes (folder.getChildFile (name), "other");

    // Named like ours but not a regular file: not ours to remove.
    folder.getChildFile (".duzezavure.json.fedcba98.partial").createDirectory();
    makeLink (folder.getChildFile (".duzezavure_temp99.json"), "duzezavure.json.unreadable");

    EXPECT_EQ (removeLeftoverTemporaries (settings), 3);

    for (const auto* name : leftovers)
        EXPECT_FALSE (folder.getChildFile (name).exists()) << name;
    for (const auto* name : others)
        EXPECT_EQ (fileBytes (folder.getChildFile (name)), "other") << name;

    EXPECT_TRUE (folder.getChildFile (".duzezavure.json.fedcba98.partial").isDirectory());
    EXPECT_EQ (linkText (folder.getChildFile (".duzezavure_temp99.json")), "duzezavure.json.unreadable");
    EXPECT_EQ (fileBytes (settings), before);

    // Behind a link, the leftovers are beside the linked file.
    const auto linked = home.get().getChildFile ("dotfiles/duzezavure.json");
    writeBytes (linked, before);
    writeBytes (linked.getSiblingFile (".duzezavure.json.00000000.partial"), "left");
    const auto link = home.get().getChildFile ("linked/duzezavure.json");
    makeLink (link, "../dotfiles/duzezavure.json");

    EXPECT_EQ (removeLeftoverTemporaries (link), 1);
    EXPECT_EQ (namesIn (linked.getParentDirectory()), juce::StringArray ("duzezavure.json"));
}

} // namespace brindle::test
