#include "app/DuzezavureSettings.h"
#include "common/JsonLimits.h"
#include "common/JsonWriter.h"
#include "FakeApplicationDataFolder.h"

#include "FileBytes.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <limits>

namespace brindle::test
{

namespace
{
    const std::string versionOnly = "{\r\n  \"version\": 1\r\n}";

    /** A settings store over its own temporary folder, as a start of the program sees it. */
    struct SettingsFolder
    {
        SettingsFolder() : layer (folder.get()) {}

        juce::File settingsFile() const { return folder.get().getChildFile ("Tonwell/duzezavure.json"); }
        juce::File sibling (const char* name) const { return settingsFile().getSiblingFile (name); }

        void writeSettings (const std::string& bytes) const
        {
            settingsFile().getParentDirectory().createDirectory();
            juce::FileOutputStream out (settingsFile());   // also for no bytes at all
            ASSERT_TRUE (out.openedOk() && out.setPosition (0) && out.truncate().wasOk());
            ASSERT_TRUE (out.write (bytes.data(), bytes.size()));
        }

        /** A fresh store that has loaded the file, as at every start. */
        DuzezavureSettings loaded() const
        {
            DuzezavureSettings settings (layer);
            settings.load();
            return settings;
        }

        TemporaryFolder folder;
        FakeApplicationDataFolder layer;
    };

    /** Every JSON file the store wrote must be strict JSON to another reader: UTF-8 without a
        byte-order mark, no NaN or Infinity. */
    void expectPythonReadsEveryJsonFile (const juce::File& folder)
    {
        const auto files = folder.findChildFiles (juce::File::findFiles, true, "*.json");
        ASSERT_FALSE (files.isEmpty()) << "nothing was written";

        juce::StringArray command { "python3", "-c",
            "import json, sys\n"
            "def reject(name): raise ValueError('not JSON: ' + name)\n"
            "for path in sys.argv[1:]:\n"
            "    with open(path, 'rb') as f:\n"
            "        json.loads(f.read().decode('utf-8'), parse_constant=reject)\n" };

        for (const auto& file : files)
            command.add (file.getFullPathName());

        juce::ChildProcess python;
        ASSERT_TRUE (python.start (command)) << "python3 is needed to check the files";
        const auto output = python.readAllProcessOutput();
        EXPECT_EQ (python.getExitCode(), 0u) << output;
    }

    juce::String toJsonText (const juce::var& value)
    {
        return toJson (value, JsonLayout::singleLine);
    }

    /** `levels` arrays, each the only element of the one around it. */
    std::string nestedArrays (int levels)
    {
        return std::string ((size_t) levels, '[') + std::string ((size_t) levels, ']');
    }

    /** `levels` objects, each the only member "a" of the one around it. */
    std::string nestedObjects (int levels)
    {
        std::string text;

        for (int i = 1; i < levels; ++i)
            text += "{\"a\": ";

        return text + "{}" + std::string ((size_t) levels - 1, '}');
    }

    /** An object of `count` members "<prefix>0", "<prefix>1" and on, each an empty state. */
    std::string objectOfRooms (int count, const std::string& prefix = "Room ")
    {
        std::string text = "{";

        for (int i = 0; i < count; ++i)
            text += (i == 0 ? "\"" : ", \"") + prefix + std::to_string (i) + "\": {\"bands\": []}";

        return text + "}";
    }
}

TEST (DuzezavureSettings, AFirstStartWritesOnlyTheVersion)
{
    SettingsFolder folder;
    auto settings = folder.loaded();
    EXPECT_EQ (settings.getFile(), folder.settingsFile());

    settings.save();

    EXPECT_EQ (fileBytes (folder.settingsFile()), versionOnly);
    expectPythonReadsEveryJsonFile (folder.folder.get());
}

TEST (DuzezavureSettings, AStoreThatNeverLoadedWritesNothing)
{
    // The second start of the program ends before it loads: its defaults must not reach the
    // running instance's file, and with no file it must not create one either.
    SettingsFolder folder;
    const std::string running = "{\"version\": 1, \"library\": {\"Den\": {\"bands\": []}}}";
    folder.writeSettings (running);

    DuzezavureSettings secondStart (folder.layer);
    secondStart.save();
    EXPECT_EQ (fileBytes (folder.settingsFile()), running);

    SettingsFolder empty;
    DuzezavureSettings neverLoaded (empty.layer);
    neverLoaded.save();
    EXPECT_FALSE (empty.settingsFile().getParentDirectory().exists());
}

TEST (DuzezavureSettings, WithoutAFolderNothingIsReadOrWritten)
{
    TemporaryFolder workingFolder;
    const auto previous = juce::File::getCurrentWorkingDirectory();
    workingFolder.get().setAsCurrentWorkingDirectory();
    const auto rootHadTonwell = juce::File ("/Tonwell").exists();

    DuzezavureSettings settings (FakeApplicationDataFolder (std::nullopt));
    EXPECT_EQ (settings.getFile(), juce::File());
    settings.load();
    settings.putLibraryEntry ("Den", "{\"bands\": []}");
    settings.save();

    EXPECT_EQ (settings.getLibraryNames(), juce::StringArray ("Den")) << "the document still works in memory";
    EXPECT_EQ (workingFolder.get().findChildFiles (juce::File::findFilesAndDirectories, false, "*").size(), 0);
    EXPECT_EQ (juce::File ("/Tonwell").exists(), rootHadTonwell);
    previous.setAsCurrentWorkingDirectory();
}

TEST (DuzezavureSettings, ASaveKeepsUnknownMembersOrderAndUtf8Text)
{
    SettingsFolder folder;
    folder.writeSettings ("{\"future\": {\"list\": [1, 2.5, \"x\"], \"flag\": true}, \"version\": 1,"
                          " \"state\": {\"profileName\": \"Wohnzimmer S\xc3\xbc" "d \xe2\x80\x94 \xce\xa9\", \"bands\": [], \"gainDb\": 3, \"q\": 3.0},"
                          " \"routing\": \"not an object\", \"zzz\": null}");

    auto settings = folder.loaded();
    AudioRoute route;
    route.deviceType = "ALSA";
    route.inputDevice = "Cable Output";
    route.outputDevice = "Speakers";
    settings.setRouting (route);
    settings.save();

    EXPECT_EQ (fileBytes (folder.settingsFile()),
               "{\r\n"
               "  \"future\": {\r\n"
               "    \"list\": [\r\n"
               "      1,\r\n"
               "      2.5,\r\n"
               "      \"x\"\r\n"
               "    ],\r\n"
               "    \"flag\": true\r\n"
               "  },\r\n"
               "  \"version\": 1,\r\n"
               "  \"state\": {\r\n"
               "    \"profileName\": \"Wohnzimmer S\xc3\xbc" "d \xe2\x80\x94 \xce\xa9\",\r\n"
               "    \"bands\": [],\r\n"
               "    \"gainDb\": 3,\r\n"
               "    \"q\": 3.0\r\n"
               "  },\r\n"
               "  \"routing\": {\r\n"
               "    \"deviceType\": \"ALSA\",\r\n"
               "    \"inputDevice\": \"Cable Output\",\r\n"
               "    \"outputDevice\": \"Speakers\",\r\n"
               "    \"sampleRate\": 48000.0,\r\n"
               "    \"bufferSize\": 256,\r\n"
               "    \"queueMs\": 30\r\n"
               "  },\r\n"
               "  \"zzz\": null\r\n"
               "}");

    const auto again = folder.loaded();
    EXPECT_EQ (again.getStateJson(),
               juce::String::fromUTF8 ("{\"profileName\": \"Wohnzimmer S\xc3\xbc" "d \xe2\x80\x94 \xce\xa9\", \"bands\": [], \"gainDb\": 3, \"q\": 3.0}"));
    expectPythonReadsEveryJsonFile (folder.folder.get());
}

TEST (DuzezavureSettings, AFileThatIsNotAnObjectIsKeptAsideBeforeTheDefaultsReplaceIt)
{
    const std::string unreadable[] = { "[1, 2]", "null", "42", "\"text\"", "", "   \r\n", "{\"library\": {\"Den\": ", "\xef\xbb\xbf[]",
                                       "{\"library\": " + objectOfRooms (1025) + "}",
                                       "{\"library\": " + objectOfRooms (1024) + ", \"more\": " + objectOfRooms (1024, "More ") + "}" };

    for (const auto& bytes : unreadable)
    {
        SettingsFolder folder;
        folder.writeSettings (bytes);

        auto settings = folder.loaded();
        EXPECT_EQ (settings.getRootObject().getProperties().size(), 1) << bytes;
        EXPECT_TRUE (settings.getStateJson().isEmpty()) << bytes;
        EXPECT_EQ (fileBytes (folder.settingsFile()), bytes) << "loading changes nothing";

        settings.save();
        EXPECT_EQ (fileBytes (folder.settingsFile()), versionOnly) << bytes;
        EXPECT_EQ (fileBytes (folder.sibling ("duzezavure.json.unreadable")), bytes);
        EXPECT_TRUE (folder.sibling ("duzezavure.json.unreadable").existsAsFile()) << bytes;

        settings.save();
        EXPECT_FALSE (folder.sibling ("duzezavure.json.unreadable.2").exists()) << "kept aside once, before the first save";
    }
}

TEST (DuzezavureSettings, AFileNestedTooDeeplyIsKeptAsideAndNeverCrashesTheStart)
{
    // The root object is the first level: "deep" at 63 more levels is as deep as a file may be.
    const std::string tooDeep[] = {
        nestedArrays (100000),
        "{\"version\": 1, \"library\": {\"Den\": {\"bands\": " + nestedArrays (100000) + "}}}",
        nestedObjects (100000),
        "{\"deep\": " + nestedArrays (64) + "}",
        "{\"deep\": " + nestedObjects (64) + "}",
    };

    for (const auto& bytes : tooDeep)
    {
        SettingsFolder folder;
        folder.writeSettings (bytes);

        auto settings = folder.loaded();
        EXPECT_EQ (settings.getRootObject().getProperties().size(), 1) << bytes.size() << " bytes";
        EXPECT_TRUE (settings.getRootObject().hasProperty ("version")) << "the defaults stay";

        settings.save();
        EXPECT_EQ (fileBytes (folder.settingsFile()), versionOnly);
        EXPECT_TRUE (fileBytes (folder.sibling ("duzezavure.json.unreadable")) == bytes) << bytes.size() << " bytes kept aside";
    }

    for (const auto& deepest : { nestedArrays (63), nestedObjects (63) })
    {
        SettingsFolder folder;
        const auto stored = "{\"deep\": " + deepest + "}";
        folder.writeSettings (stored);

        auto settings = folder.loaded();
        settings.save();

        EXPECT_FALSE (folder.sibling ("duzezavure.json.unreadable").exists()) << "adopted";
        EXPECT_EQ (toJsonText (folder.loaded().getRootObject().getProperty ("deep")), juce::String (deepest))
            << "written back whole, and read again";
        expectPythonReadsEveryJsonFile (folder.folder.get());
    }
}

TEST (DuzezavureSettings, BytesThatAreNotUtf8AreReadAsReplacementCharactersAndTheOriginalIsKeptAside)
{
    // Café, then a lone continuation byte, an overlong "/", a surrogate, a truncated euro sign;
    // the library name holds the only other non-ASCII character.
    const std::string original = "{\"version\": 1, \"state\": {\"profileName\": \"Caf\xc3\xa9 \x80|\xc0\xaf|\xed\xa0\x80|\xe2\x82\","
                                 " \"bands\": []}, \"library\": {\"K\xc3\xbc" "che\": {\"bands\": []}}}";
    const std::string replacement = "\xef\xbf\xbd";
    const auto expectedName = "Caf\xc3\xa9 " + replacement + "|" + replacement + replacement + "|"
                            + replacement + replacement + replacement + "|" + replacement;

    SettingsFolder folder;
    folder.writeSettings (original);

    auto settings = folder.loaded();
    EXPECT_EQ (settings.getStateJson(), juce::String::fromUTF8 (("{\"profileName\": \"" + expectedName + "\", \"bands\": []}").c_str()));
    EXPECT_EQ (settings.getLibraryNames(), juce::StringArray (juce::String::fromUTF8 ("K\xc3\xbc" "che")));
    EXPECT_EQ (fileBytes (folder.settingsFile()), original) << "loading changes nothing";

    settings.save();
    EXPECT_TRUE (fileBytes (folder.sibling ("duzezavure.json.unreadable")) == original) << "the original bytes, kept aside";

    const auto saved = fileBytes (folder.settingsFile());
    EXPECT_NE (saved.find ("\"profileName\": \"" + expectedName + "\""), std::string::npos) << saved;
    EXPECT_NE (saved.find ("\"K\xc3\xbc" "che\""), std::string::npos) << saved;
    EXPECT_EQ (saved.find ("\xc3\x83"), std::string::npos) << "no character was encoded twice: " << saved;
    expectPythonReadsEveryJsonFile (folder.folder.get());

    settings.save();
    EXPECT_FALSE (folder.sibling ("duzezavure.json.unreadable.2").exists()) << "kept aside once, before the first save";
    EXPECT_EQ (folder.loaded().getStateJson(), settings.getStateJson()) << "the saved file reads back the same";
}

TEST (DuzezavureSettings, AnEarlierUnreadableCopyIsNeverOverwritten)
{
    SettingsFolder folder;
    folder.writeSettings ("[\"second\"]");
    ASSERT_TRUE (folder.sibling ("duzezavure.json.unreadable").replaceWithText ("first"));
    ASSERT_TRUE (folder.sibling ("duzezavure.json.unreadable.2").replaceWithText ("also earlier"));

    auto settings = folder.loaded();
    settings.save();

    EXPECT_EQ (fileBytes (folder.sibling ("duzezavure.json.unreadable")), "first");
    EXPECT_EQ (fileBytes (folder.sibling ("duzezavure.json.unreadable.2")), "also earlier");
    EXPECT_EQ (fileBytes (folder.sibling ("duzezavure.json.unreadable.3")), "[\"second\"]");
    EXPECT_EQ (fileBytes (folder.settingsFile()), versionOnly);
}

TEST (DuzezavureSettings, AnObjectIsAdoptedWholeAndAMissingFileLeavesTheDefaults)
{
    SettingsFolder emptyObject;
    emptyObject.writeSettings ("{}");
    auto adopted = emptyObject.loaded();
    EXPECT_FALSE (adopted.getRootObject().hasProperty ("version")) << "no merge with the defaults";
    adopted.save();
    EXPECT_EQ (fileBytes (emptyObject.settingsFile()), "{\r\n}");
    EXPECT_FALSE (emptyObject.sibling ("duzezavure.json.unreadable").exists());

    SettingsFolder missing;
    auto defaults = missing.loaded();
    defaults.save();
    EXPECT_EQ (fileBytes (missing.settingsFile()), versionOnly);
    EXPECT_FALSE (missing.sibling ("duzezavure.json.unreadable").exists());
}

TEST (DuzezavureSettings, AWriteThatDoesNotCompleteLeavesTheFileAsItWas)
{
    // A file-size limit makes every write stop short (as a full disk does), for root too.
    SettingsFolder good;
    const std::string stored = "{\"version\": 1, \"library\": {\"Den\": {\"bands\": []}}}";
    good.writeSettings (stored);
    auto settings = good.loaded();
    settings.putLibraryEntry ("Kitchen", "{\"bands\": [], \"profileName\": \"" + juce::String::repeatedString ("x", 400) + "\"}");

    SettingsFolder bad;
    const std::string unreadable = "[\"" + std::string (200, 'y') + "\"]";
    bad.writeSettings (unreadable);
    auto fresh = bad.loaded();

    const auto previousHandler = std::signal (SIGXFSZ, SIG_IGN);
    rlimit previous {};
    getrlimit (RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 100;
    ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &limited), 0);

    const auto cutShort = settings.save();   // the document no longer fits
    const auto notKeptAside = fresh.save();  // its copy aside does not fit: the defaults must not replace the file

    setrlimit (RLIMIT_FSIZE, &previous);
    std::signal (SIGXFSZ, previousHandler);

    EXPECT_EQ (fileBytes (good.settingsFile()), stored);
    EXPECT_EQ (good.folder.get().getChildFile ("Tonwell").getNumberOfChildFiles (juce::File::findFiles, "*"), 1)
        << "no temporary file is left behind";
    EXPECT_EQ (fileBytes (bad.settingsFile()), unreadable);
    EXPECT_FALSE (bad.sibling ("duzezavure.json.unreadable").exists()) << "no partial copy is left behind";
    EXPECT_TRUE (cutShort.getErrorMessage().startsWith ("could not write ")) << cutShort.getErrorMessage();
    EXPECT_TRUE (notKeptAside.getErrorMessage().startsWith ("could not keep the unreadable ")) << notKeptAside.getErrorMessage();

    EXPECT_TRUE (settings.save().wasOk()) << "room again: the next saves go through";
    EXPECT_EQ (good.loaded().getLibraryNames(), juce::StringArray ("Den", "Kitchen"));
    EXPECT_TRUE (fresh.save().wasOk());
    EXPECT_EQ (fileBytes (bad.sibling ("duzezavure.json.unreadable")), unreadable);
    EXPECT_EQ (fileBytes (bad.settingsFile()), versionOnly);
}

// Root writes into any folder, so a file in the folder's place stands for one that cannot be
// written; the store says so, and tries again at the next save.
TEST (DuzezavureSettings, ASaveThatCannotWriteSaysWhyAndTheNextOneTriesAgain)
{
    SettingsFolder folder;
    auto settings = folder.loaded();
    const auto tonwell = folder.settingsFile().getParentDirectory();
    ASSERT_TRUE (tonwell.replaceWithText ("in the way"));

    const auto failed = settings.save();
    EXPECT_TRUE (failed.getErrorMessage().startsWith ("could not make the folder of ")) << failed.getErrorMessage();
    EXPECT_EQ (tonwell.loadFileAsString(), "in the way");

    ASSERT_TRUE (tonwell.deleteFile());
    EXPECT_TRUE (settings.save().wasOk());
    EXPECT_EQ (fileBytes (folder.settingsFile()), versionOnly);
}

TEST (DuzezavureSettings, AChangeThatWouldMakeTheFileUnreadableIsRefusedAndChangesNothing)
{
    SettingsFolder folder;
    folder.writeSettings ("{\"version\": 1, \"library\": \"not an object\", \"state\": {\"bands\": []}}");
    auto settings = folder.loaded();
    settings.save();
    const auto before = fileBytes (folder.settingsFile());

    // Each alone makes the document longer than its reader takes.
    const auto huge = juce::String::repeatedString ("x", (int) maxJsonTextBytes);
    const auto hugeState = "{\"bands\": [], \"profileName\": \"" + huge + "\"}";
    AudioRoute hugeRoute;
    hugeRoute.outputDevice = huge;

    // The reader takes a state 63 levels deep; a room sits two levels further down, where the
    // writer would cut its innermost array to null.
    const auto deepState = "{\"bands\": []" + juce::String (", \"x\": ") + juce::String::repeatedString ("[", maxJsonDepth - 2)
                         + juce::String::repeatedString ("]", maxJsonDepth - 2) + "}";

    struct Case { const char* what; std::function<bool()> change; };
    const Case cases[] = {
        { "state", [&] { return settings.setStateJson (hugeState); } },
        { "library entry", [&] { return settings.putLibraryEntry ("Den", hugeState); } },
        { "library entry too deep for its place", [&] { return settings.putLibraryEntry ("Den", deepState); } },
        { "route", [&] { return settings.setRouting (hugeRoute); } },
        { "member set directly", [&] { settings.getRootObject().setProperty ("huge", huge); return false; } },
    };

    for (const auto& c : cases)
    {
        EXPECT_FALSE (c.change()) << c.what;
        settings.save();
        EXPECT_TRUE (fileBytes (folder.settingsFile()) == before) << c.what << ": the file stays as it was";
    }

    settings.getRootObject().removeProperty ("huge");
    EXPECT_TRUE (settings.putLibraryEntry ("Den", "{\"bands\": []}")) << "room again";
    settings.save();
    EXPECT_EQ (folder.loaded().getLibraryNames(), juce::StringArray ("Den"));
}

TEST (DuzezavureSettings, TheLibraryTakesRoomsAndNamesOnlyAsFarAsTheFileReadsBack)
{
    SettingsFolder folder;
    auto settings = folder.loaded();

    for (int room = 0; room < maxJsonObjectMembers; ++room)
        ASSERT_TRUE (settings.putLibraryEntry ("Room " + juce::String (room), "{\"bands\": []}")) << room;

    EXPECT_FALSE (settings.putLibraryEntry ("One too many", "{\"bands\": []}"));
    EXPECT_TRUE (settings.putLibraryEntry ("Room 7", "{\"bands\": [], \"outputDb\": -3}")) << "a room replaced adds no member";
    settings.save();
    EXPECT_EQ (folder.loaded().getLibraryNames().size(), maxJsonObjectMembers);

    // Different names in the whole document: the rooms' own members count too.
    SettingsFolder names;
    auto named = names.loaded();
    const auto roomNaming = [] (int count, int first)
    {
        juce::String text = "{";
        for (int i = first; i < first + count; ++i)
            text << (i == first ? "" : ", ") << "\"k" << i << "\": 0";
        return text + "}";
    };

    EXPECT_TRUE (named.putLibraryEntry ("a", roomNaming (1000, 0)));
    EXPECT_TRUE (named.putLibraryEntry ("b", roomNaming (1000, 1000)));   // 2004 names with the four keys and rooms
    EXPECT_FALSE (named.putLibraryEntry ("c", roomNaming (44, 2000)));
    EXPECT_TRUE (named.putLibraryEntry ("c", roomNaming (43, 2000)));
    named.save();
    EXPECT_EQ (names.loaded().getLibraryNames(), juce::StringArray ("a", "b", "c"));
}

TEST (DuzezavureSettings, TheStoredRouteIsReadAsStoredWithDefinedConversions)
{
    constexpr auto intMax = std::numeric_limits<int>::max();
    constexpr auto intMin = std::numeric_limits<int>::min();

    struct Case { const char* routing; AudioRoute expected; };
    const Case cases[] = {
        { "{}", { "", "", "", 48000.0, 256, 30 } },
        { "\"not an object\"", { "", "", "", 48000.0, 256, 30 } },
        { "{\"deviceType\": \"ALSA\", \"inputDevice\": \"Cable\", \"sampleRate\": \"44100\"}", { "ALSA", "Cable", "", 44100.0, 256, 30 } },
        { "{\"bufferSize\": 128.9, \"queueMs\": -5}", { "", "", "", 48000.0, 128, -5 } },
        { "{\"bufferSize\": -128.9, \"queueMs\": true, \"sampleRate\": 0}", { "", "", "", 0.0, -128, 1 } },
        { "{\"deviceType\": 42, \"inputDevice\": true, \"outputDevice\": null}", { "42", "1", "", 48000.0, 256, 30 } },
        // An object or an array is no name: its text would be a heap address.
        { "{\"deviceType\": {\"a\": 1}, \"inputDevice\": [\"Cable\"], \"outputDevice\": {}}", { "", "", "", 48000.0, 256, 30 } },
        { "{\"sampleRate\": null, \"bufferSize\": \"512\", \"queueMs\": [5]}", { "", "", "", 48000.0, 512, 0 } },
        // Beyond the int range the framework's own conversions are undefined or wrap.
        { "{\"bufferSize\": 1e10, \"queueMs\": -1e300}", { "", "", "", 48000.0, intMax, intMin } },
        { "{\"bufferSize\": 4294967552, \"queueMs\": -4294967296}", { "", "", "", 48000.0, intMax, intMin } },
        { "{\"bufferSize\": \"nan\", \"queueMs\": \"-inf\"}", { "", "", "", 48000.0, 0, intMin } },
    };

    for (const auto& c : cases)
    {
        SettingsFolder folder;
        folder.writeSettings (std::string ("{\"routing\": ") + c.routing + "}");
        const auto route = folder.loaded().getRouting();

        EXPECT_EQ (route.deviceType, c.expected.deviceType) << c.routing;
        EXPECT_EQ (route.inputDevice, c.expected.inputDevice) << c.routing;
        EXPECT_EQ (route.outputDevice, c.expected.outputDevice) << c.routing;
        EXPECT_EQ (route.sampleRate, c.expected.sampleRate) << c.routing;
        EXPECT_EQ (route.bufferSize, c.expected.bufferSize) << c.routing;
        EXPECT_EQ (route.queueMs, c.expected.queueMs) << c.routing;
    }
}

TEST (DuzezavureSettings, ASampleRateThatIsNotAFiniteNumberReadsAsTheDefault)
{
    struct Case { const char* sampleRate; double expected; };
    const Case cases[] = {
        { "{\"v\": 1}", 48000.0 }, { "true", 48000.0 }, { "false", 48000.0 }, { "null", 48000.0 },
        { "[44100]", 48000.0 }, { "\"\"", 48000.0 }, { "\"fast\"", 48000.0 }, { "\"44100 Hz\"", 48000.0 },
        { "\"nan\"", 48000.0 }, { "\"inf\"", 48000.0 }, { "1e400", 48000.0 }, { "-1e400", 48000.0 },
        // Numbers, and texts that hold one, are taken as they are (the route's clamp follows).
        { "44100", 44100.0 }, { "96000.0", 96000.0 }, { "\"44100\"", 44100.0 }, { "\"88200.5\"", 88200.5 },
        { "0", 0.0 }, { "-5", -5.0 }, { "4294967296", 4294967296.0 },
    };

    for (const auto& c : cases)
    {
        SettingsFolder folder;
        folder.writeSettings (std::string ("{\"routing\": {\"sampleRate\": ") + c.sampleRate + "}}");
        EXPECT_EQ (folder.loaded().getRouting().sampleRate, c.expected) << c.sampleRate;
    }
}

TEST (DuzezavureSettings, SetRoutingReplacesTheRouteWhereItStands)
{
    SettingsFolder folder;
    folder.writeSettings ("{\"routing\": {\"old\": 1}, \"version\": 1}");
    auto settings = folder.loaded();

    AudioRoute route;
    route.outputDevice = "Speakers";
    route.sampleRate = 44100.5;
    route.bufferSize = 512;
    settings.setRouting (route);

    EXPECT_EQ (settings.getRootObject().getProperties().getName (0).toString(), "routing");
    const auto back = settings.getRouting();
    EXPECT_EQ (back.outputDevice, "Speakers");
    EXPECT_EQ (back.sampleRate, 44100.5);
    EXPECT_EQ (back.bufferSize, 512);
    EXPECT_EQ (toJsonText (settings.getRootObject().getProperty ("routing")),
               "{\"deviceType\": \"\", \"inputDevice\": \"\", \"outputDevice\": \"Speakers\", \"sampleRate\": 44100.5, \"bufferSize\": 512, \"queueMs\": 30}");
}

TEST (DuzezavureSettings, TheStateIsStoredOnlyWhenItIsAnObject)
{
    SettingsFolder folder;
    auto settings = folder.loaded();
    EXPECT_TRUE (settings.getStateJson().isEmpty());

    settings.setStateJson ("{\"bands\":[{\"gainDb\":3,\"q\":1.0}],\"profileName\":\"Den\"}");
    const juce::String stored ("{\"bands\": [{\"gainDb\": 3, \"q\": 1.0}], \"profileName\": \"Den\"}");
    EXPECT_EQ (settings.getStateJson(), stored) << "numbers keep the kind the parser gave them";

    for (const char* ignored : { "", "[]", "null", "{\"bands\": [", "\"text\"" })
    {
        settings.setStateJson (ignored);
        EXPECT_EQ (settings.getStateJson(), stored) << ignored;
    }

    settings.getRootObject().setProperty ("state", "a text");
    EXPECT_TRUE (settings.getStateJson().isEmpty()) << "a state that is not an object reads as nothing";
}

TEST (DuzezavureSettings, LibraryEntriesAreStoredReplacedAndRemovedByExactName)
{
    SettingsFolder folder;
    folder.writeSettings ("{\"version\": 1, \"library\": [\"not an object\"]}");
    auto settings = folder.loaded();
    EXPECT_TRUE (settings.getLibraryNames().isEmpty());

    settings.putLibraryEntry ("beta", "{\"n\": 1}");
    settings.putLibraryEntry ("Alpha", "{\"n\": 2}");
    settings.putLibraryEntry ("alpha", "{\"n\": 3}");
    settings.putLibraryEntry ("beta", "{\"n\": 4}");
    settings.putLibraryEntry ("", "{\"n\": 5}");
    settings.putLibraryEntry ("gamma", "[1]");
    settings.putLibraryEntry ("delta", "");

    EXPECT_EQ (settings.getLibraryNames(), juce::StringArray ("Alpha", "alpha", "beta"));
    EXPECT_EQ (settings.getLibraryEntryJson ("beta"), "{\"n\": 4}");
    EXPECT_EQ (settings.getLibraryEntryJson ("Beta"), "") << "names are case-sensitive keys";
    EXPECT_EQ (settings.getLibraryEntryJson (""), "");

    auto& library = *settings.getRootObject().getProperty ("library").getDynamicObject();
    EXPECT_EQ (library.getProperties().getName (0).toString(), "beta") << "replaced in place";

    for (const char* name : { "Beta", "beta", "Alpha", "alpha", "missing" })
        settings.removeLibraryEntry (name);

    settings.save();
    EXPECT_EQ (fileBytes (folder.settingsFile()), "{\r\n  \"version\": 1,\r\n  \"library\": {\r\n  }\r\n}");
    expectPythonReadsEveryJsonFile (folder.folder.get());
}

TEST (DuzezavureSettings, TheLibraryIsSortedIgnoringCaseInEveryScript)
{
    SettingsFolder folder;
    auto settings = folder.loaded();

    for (const char* name : { "\xc3\xb6lfarbe", "beta", "_draft", "\xc3\x89tude", "Zimmer", "\xd0\xaf\xd0\xb1\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe",
                              "\xc3\xa9" "cran", "\xd0\xb1\xd0\xbe\xd1\x80\xd1\x89", "alpha", "\xc3\x96" "d\xc3\xb6n", "Alpha" })
        settings.putLibraryEntry (juce::String::fromUTF8 (name), "{}");

    juce::StringArray expected;
    for (const char* name : { "Alpha", "alpha", "beta", "Zimmer", "_draft", "\xc3\xa9" "cran", "\xc3\x89tude", "\xc3\x96" "d\xc3\xb6n",
                              "\xc3\xb6lfarbe", "\xd0\xb1\xd0\xbe\xd1\x80\xd1\x89", "\xd0\xaf\xd0\xb1\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe" })
        expected.add (juce::String::fromUTF8 (name));

    EXPECT_EQ (settings.getLibraryNames(), expected);
}

} // namespace brindle::test
