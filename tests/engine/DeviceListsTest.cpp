#include "engine/DeviceLists.h"

#include "platform/simulation/SimulatedDeviceManager.h"
#include "platform/simulation/SimulatedDeviceType.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <locale.h>

namespace brindle::test
{

namespace
{
    juce::StringArray names (std::initializer_list<const char*> list)
    {
        juce::StringArray array;
        for (const auto* name : list)
            array.add (juce::String::fromUTF8 (name));
        return array;
    }

    // A machine with a cable, a capture endpoint that records what it plays, a microphone, an
    // interface and speakers.
    std::shared_ptr<SimulatedAudioSystem> typicalMachine()
    {
        auto system = std::make_shared<SimulatedAudioSystem>();
        system->add (SimulatedDeviceConfig::output ("Speakers (High Definition Audio)"));
        system->add (SimulatedDeviceConfig::input ("Microphone (USB Audio Device)"));
        system->add (SimulatedDeviceConfig::cablePair ("CABLE Input (VB-Audio Virtual Cable)", "CABLE Output (VB-Audio Virtual Cable)"));
        system->add (SimulatedDeviceConfig::duplex ("Audio Interface"));
        system->add (SimulatedDeviceConfig::input ("Stereo Mix (Realtek High Definition Audio)"));
        return system;
    }

    // A manager that offers no device type at all.
    struct EmptyDeviceManager final : juce::AudioDeviceManager
    {
        void createAudioDeviceTypes (juce::OwnedArray<juce::AudioIODeviceType>&) override {}
    };
}

TEST (DeviceLists, LoopbackInputsAreFoundByTheirNamesInAnyLetterCase)
{
    struct Case { const char* name; bool loopback; };
    const Case cases[] = {
        { "CABLE Output (VB-Audio Virtual Cable)", true },
        { "cable output", true },
        { "Hi-Fi Cable Output (VB-Audio Hi-Fi Cable)", true },
        { "VB-Audio Point", true },
        { "VoiceMeeter Output (VB-Audio VoiceMeeter VAIO)", true },
        { "BlackHole 2ch", true },
        { "Existential Audio Device", true },
        { "Loopback Audio", true },
        { "Soundflower (2ch)", true },
        { "STEREO MIX (Realtek High Definition Audio)", true },
        { "What U Hear (Sound Blaster)", true },
        { "BLAC\xe2\x84\xaaHOLE 16ch", true },             // the Kelvin sign lower-cases to k
        { "STEREO M\xc4\xb0X", true },                     // so does the dotted capital I to i
        { "CABLE Input", false },                          // the playback end
        { "Cable-Output", false },
        { "StereoMix", false },
        { "Microphone (USB Audio Device)", false },
        { "Line In (R\xc3\xb8""de)", false },
        { "", false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (isLoopbackInputName (juce::String::fromUTF8 (c.name)), c.loopback) << c.name;
}

// Run once more by CTest with the installed locales hidden (engine/without-locales.sh): then
// the process has no UTF-8 locale at all, and this checks that it really has none.
TEST (DeviceLists, LoopbackMatchingRunsWhereTheTestSaysNoLocaleIsInstalled)
{
    if (std::getenv ("BRINDLE_EXPECT_NO_LOCALES") == nullptr)
        return;

    const auto locale = newlocale (LC_CTYPE_MASK, "C.UTF-8", (locale_t) nullptr);
    EXPECT_EQ (locale, (locale_t) nullptr) << "a UTF-8 locale was found after all";
    if (locale != (locale_t) nullptr)
        freelocale (locale);
}

TEST (DeviceLists, TheSimulatedTypeComesAfterTheFrameworksOwn)
{
    SimulatedDeviceManager manager (typicalMachine());
    const auto types = getDeviceTypeNames (manager);

    ASSERT_FALSE (types.isEmpty());
    EXPECT_EQ (types[types.size() - 1], SimulatedDeviceType::typeName);
    EXPECT_EQ (types.indexOf (SimulatedDeviceType::typeName), types.size() - 1) << "offered once";
   #if JUCE_LINUX && JUCE_ALSA
    EXPECT_EQ (types[0], "ALSA") << "the framework's types are kept";
   #endif
}

TEST (DeviceLists, ATypeIsFoundByItsExactNameElseTheFirstIsTaken)
{
    SimulatedDeviceManager manager (typicalMachine());
    auto* first = manager.getAvailableDeviceTypes().getFirst();
    auto* simulated = manager.getAvailableDeviceTypes().getLast();

    struct Case { const char* name; juce::AudioIODeviceType* expected; };
    const Case cases[] = {
        { "Simulated", simulated },
        { "simulated", first },
        { "Simulated ", first },
        { "", first },
        { "Windows Audio", first },
    };

    for (const auto& c : cases)
        EXPECT_EQ (findDeviceType (manager, c.name), c.expected) << "'" << c.name << "'";
}

TEST (DeviceLists, InputsAndLoopbackInputsComeFromAFreshScanInTheTypesOrder)
{
    auto system = typicalMachine();
    SimulatedDeviceManager manager (system);

    EXPECT_EQ (getInputDeviceNames (manager, "Simulated"),
               names ({ "Microphone (USB Audio Device)", "CABLE Output (VB-Audio Virtual Cable)", "Audio Interface",
                        "Stereo Mix (Realtek High Definition Audio)" }));
    EXPECT_EQ (getLoopbackInputNames (manager, "Simulated"),
               names ({ "CABLE Output (VB-Audio Virtual Cable)", "Stereo Mix (Realtek High Definition Audio)" }));

    // Nothing is cached: a device that appears shows in the next list.
    system->add (SimulatedDeviceConfig::input ("BlackHole 2ch"));
    system->remove ("Stereo Mix (Realtek High Definition Audio)");
    EXPECT_EQ (getLoopbackInputNames (manager, "Simulated"), names ({ "CABLE Output (VB-Audio Virtual Cable)", "BlackHole 2ch" }));
}

TEST (DeviceLists, ATypeWithoutInputsGivesEmptyLists)
{
    auto system = std::make_shared<SimulatedAudioSystem>();
    system->add (SimulatedDeviceConfig::output ("Speakers"));
    SimulatedDeviceManager manager (system);

    EXPECT_TRUE (getInputDeviceNames (manager, "Simulated").isEmpty());
    EXPECT_TRUE (getLoopbackInputNames (manager, "Simulated").isEmpty());
}

TEST (DeviceLists, WithoutAnyTypeThereIsNothingToFindOrList)
{
    EmptyDeviceManager manager;

    EXPECT_EQ (findDeviceType (manager, ""), nullptr);
    EXPECT_EQ (findDeviceType (manager, "Simulated"), nullptr);
    EXPECT_TRUE (getDeviceTypeNames (manager).isEmpty());
    EXPECT_TRUE (getInputDeviceNames (manager, "").isEmpty());
    EXPECT_TRUE (getLoopbackInputNames (manager, "").isEmpty());
}

} // namespace brindle::test
