#include "FakeApplicationDataFolder.h"
#include "platform/XdgAutostartEntry.h"

#include "FileBytes.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <glib.h>

namespace brindle::test
{

namespace
{
    struct AutostartFolder
    {
        AutostartFolder() : layer (folder.get()), item (layer) {}

        juce::File entry() const { return folder.get().getChildFile ("autostart/TonwellDuzezavure.desktop"); }

        TemporaryFolder folder;
        FakeApplicationDataFolder layer;
        XdgAutostartEntry item;
    };

    /** The command line a desktop session's launcher makes of the entry, read with GLib: the
        key file's string unescaping, the field-code step for "%%", then the Exec quoting. */
    juce::StringArray launchedCommandLine (const juce::File& entry)
    {
        juce::StringArray arguments;
        GError* error = nullptr;
        auto* keys = g_key_file_new();

        if (g_key_file_load_from_file (keys, entry.getFullPathName().toRawUTF8(), G_KEY_FILE_NONE, &error))
        {
            auto* startGroup = g_key_file_get_start_group (keys);
            EXPECT_STREQ (startGroup, "Desktop Entry");
            g_free (startGroup);

            if (auto* exec = g_key_file_get_string (keys, "Desktop Entry", "Exec", &error))
            {
                const auto withoutFieldCodes = juce::String::fromUTF8 (exec).replace ("%%", "%");
                gchar** argv = nullptr;

                if (g_shell_parse_argv (withoutFieldCodes.toRawUTF8(), nullptr, &argv, &error))
                    for (auto** argument = argv; *argument != nullptr; ++argument)
                        arguments.add (juce::String::fromUTF8 (*argument));

                g_strfreev (argv);
                g_free (exec);
            }
        }

        if (error != nullptr)
        {
            ADD_FAILURE() << error->message;
            g_error_free (error);
        }

        g_key_file_free (keys);
        return arguments;
    }
}

TEST (XdgAutostartEntry, EnablingWritesTheQuotedExecutableAndDisablingRemovesIt)
{
    AutostartFolder folder;
    EXPECT_FALSE (folder.item.isEnabled());

    EXPECT_TRUE (folder.item.enable (juce::File ("/opt/Tonwell Apps/Duzezavure")));
    EXPECT_TRUE (folder.item.isEnabled());
    EXPECT_EQ (fileBytes (folder.entry()),
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Tonwell Duzezavure\n"
               "Exec=\"/opt/Tonwell Apps/Duzezavure\"\n");

    EXPECT_TRUE (folder.item.enable (juce::File ("/usr/bin/duzezavure")));
    EXPECT_EQ (launchedCommandLine (folder.entry()), juce::StringArray ("/usr/bin/duzezavure")) << "the last writer's path";
    EXPECT_EQ (folder.entry().getParentDirectory().getNumberOfChildFiles (juce::File::findFiles, "*"), 1);

    EXPECT_TRUE (folder.item.disable());
    EXPECT_FALSE (folder.item.isEnabled());
    EXPECT_FALSE (folder.entry().exists());
    EXPECT_TRUE (folder.item.disable()) << "nothing to remove is no failure";
}

TEST (XdgAutostartEntry, AnyPathReachesTheLauncherAsOneUnchangedArgument)
{
    const char* paths[] = {
        "/opt/Tonwell Apps/Duzezavure",
        "/tmp/quote\"dollar$HOME`backtick`/app",
        "/tmp/100% sure %f/app",
        "/tmp/semi;colon & 'single' |pipe>/app",
        "/tmp/tab\there/app",
        "/tmp/\xc3\xbc" "nicode \xe2\x80\x94/app",
    };

    for (const auto* path : paths)
    {
        AutostartFolder folder;
        const juce::File executable (juce::String::fromUTF8 (path));
        ASSERT_TRUE (folder.item.enable (executable)) << path;
        EXPECT_EQ (launchedCommandLine (folder.entry()), juce::StringArray (executable.getFullPathName())) << path;
    }
}

TEST (XdgAutostartEntry, AForeignEntryCountsAsEnabledAndIsRemoved)
{
    AutostartFolder folder;
    folder.entry().getParentDirectory().createDirectory();
    ASSERT_TRUE (folder.entry().replaceWithText ("written by another tool"));

    EXPECT_TRUE (folder.item.isEnabled());
    EXPECT_TRUE (folder.item.disable());
    EXPECT_FALSE (folder.entry().exists());
}

TEST (XdgAutostartEntry, EnablingRemovesWhatAKilledWriteLeftAndNoOtherProgramsEntries)
{
    AutostartFolder folder;
    const auto autostart = folder.entry().getParentDirectory();
    autostart.createDirectory();
    ASSERT_TRUE (autostart.getChildFile (".TonwellDuzezavure.desktop.12ab34cd.partial").replaceWithText ("[Desktop"));
    ASSERT_TRUE (autostart.getChildFile (".TonwellDuzezavure_temp3c0ffee.desktop").replaceWithText ("[Desktop"));
    ASSERT_TRUE (autostart.getChildFile ("other.desktop").replaceWithText ("[Desktop Entry]\n"));
    ASSERT_TRUE (autostart.getChildFile (".other.desktop.12ab34cd.partial").replaceWithText ("[Desktop"));

    ASSERT_TRUE (folder.item.enable (juce::File ("/usr/bin/duzezavure")));

    juce::StringArray names;
    for (const auto& file : autostart.findChildFiles (juce::File::findFiles, false, "*"))
        names.add (file.getFileName());
    names.sort (false);
    EXPECT_EQ (names, juce::StringArray (".other.desktop.12ab34cd.partial", "TonwellDuzezavure.desktop", "other.desktop"));
}

TEST (XdgAutostartEntry, WithoutAConfigurationFolderThereIsNoItem)
{
    FakeApplicationDataFolder none (std::nullopt);
    XdgAutostartEntry item (none);

    EXPECT_FALSE (item.isEnabled());
    EXPECT_FALSE (item.enable (juce::File ("/usr/bin/duzezavure")));
    EXPECT_TRUE (item.disable());
}

} // namespace brindle::test
