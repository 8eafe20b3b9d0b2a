#include "RouteFixtures.h"
#include "console/DeviceReport.h"
#include "console/StatusObject.h"
#include "common/JsonWriter.h"
#include "platform/simulation/SimulatedDeviceType.h"

#include <gtest/gtest.h>

#include <chrono>

namespace brindle::test
{

using namespace std::chrono_literals;
using Config = SimulatedDeviceConfig;

namespace
{
    /** A device type that only lists names: it stands for a second back end the user browses. */
    struct ListingOnlyType final : juce::AudioIODeviceType
    {
        ListingOnlyType() : juce::AudioIODeviceType ("Other back end") {}

        void scanForDevices() override {}
        juce::StringArray getDeviceNames (bool wantInputNames) const override
        {
            return wantInputNames ? juce::StringArray ("Line In", "Stereo Mix (Other)") : juce::StringArray ("Headphones");
        }
        int getDefaultDeviceIndex (bool) const override { return 0; }
        int getIndexOfDevice (juce::AudioIODevice*, bool) const override { return -1; }
        bool hasSeparateInputsAndOutputs() const override { return true; }
        juce::AudioIODevice* createDevice (const juce::String&, const juce::String&) override { return nullptr; }
    };

    /** A manager offering the simulated type (when given a system) and, on request, the
        listing-only type after it: the report's lists come out the same on every machine. */
    struct FixedTypesManager final : juce::AudioDeviceManager
    {
        FixedTypesManager (std::shared_ptr<SimulatedAudioSystem> systemToOffer, bool withOtherType)
            : system (std::move (systemToOffer)), other (withOtherType) {}

        void createAudioDeviceTypes (juce::OwnedArray<juce::AudioIODeviceType>& types) override
        {
            if (system != nullptr)
                types.add (new SimulatedDeviceType (system));

            if (other)
                types.add (new ListingOnlyType());
        }

        std::shared_ptr<SimulatedAudioSystem> system;
        bool other;
    };

    /** Speakers that offer two rates and two sizes, a microphone and a loopback cable. */
    struct ReportRig
    {
        explicit ReportRig (bool withOtherType = false)
            : system (std::make_shared<SimulatedAudioSystem> (SimulatedClock::Mode::manual)),
              router (std::make_unique<FixedTypesManager> (system, withOtherType))
        {
            auto speakers = Config::output ("Speakers").withSettledRate (44100);
            speakers.sampleRates = { 44100.0, 48000.0 };
            speakers.bufferSizes = { 256, 512 };
            system->add (speakers);
            system->add (Config::input ("Microphone"));
            system->add (Config::cablePair());
        }

        ~ReportRig() { router.closeDevices(); }

        std::shared_ptr<SimulatedAudioSystem> system;
        AudioRouter router;
    };

    juce::String text (const juce::var& value)
    {
        return toJson (value, JsonLayout::singleLine);
    }

}

TEST (DeviceReport, ListsTheShownTypeAndDescribesTheSelectedRouteInKeyOrder)
{
    ReportRig rig;
    const auto status = rig.router.getStatus();
    const auto selected = makeRoute ("Simulated", "CABLE Output", "Speakers", 44100.5, 480, 30);
    const auto shown = makeRoute ("Simulated", "", "Speakers");

    EXPECT_EQ (text (makeDeviceReport (rig.router, status, selected, shown)),
               R"({"types": ["Simulated"], "inputs": ["Microphone", "CABLE Output"], "outputs": ["Speakers", "CABLE Input"], )"
               R"("loopbackInputs": ["CABLE Output"], "platform": "windows", "canSetDefaultOutput": false, )"
               R"("rates": [44100.0, 48000.0], "bufferSizes": [256, 512], )"
               R"("selected": {"deviceType": "Simulated", "inputDevice": "CABLE Output", "outputDevice": "Speakers", )"
               R"("sampleRate": 44100.5, "bufferSize": 480, "queueMs": 30}, )"
               R"("status": {"running": false, "duplex": false, "error": "", "inputRate": 0.0, "outputRate": 0.0, )"
               R"("bufferSize": 0, "latencyMs": 0.0, "fillFrames": 0, "targetFrames": 0, "correctionPpm": 0.0, )"
               R"("dropouts": 0.0, "overruns": 0.0}, )"
               R"("sampleRate": 44100.5})");
}

TEST (DeviceReport, ItsSampleRateIsTheRunningOutputsElseTheSelectedRoutes)
{
    ReportRig rig;
    const auto route = makeRoute ("Simulated", "CABLE Output", "Speakers", 48000);
    const auto shown = makeRoute ("Simulated", "", "Speakers");

    const auto stopped = makeDeviceReport (rig.router, rig.router.getStatus(), route, shown);
    EXPECT_EQ ((double) stopped["sampleRate"], 48000.0);

    ASSERT_TRUE (rig.router.setRoute (route)) << rig.router.getLastError();
    const auto status = rig.router.getStatus();
    ASSERT_EQ (status.outputRate, 44100.0) << "the speakers settle on their own rate";

    const auto running = makeDeviceReport (rig.router, status, rig.router.getCurrentRoute(), shown);
    EXPECT_EQ ((double) running["sampleRate"], 44100.0);
    EXPECT_EQ ((double) running["selected"]["sampleRate"], 48000.0) << "what the route asked for";
    EXPECT_EQ (text (running["status"]), text (makeStatusObject (status))) << "the same snapshot";
    EXPECT_TRUE ((bool) running["status"]["running"]);
}

TEST (DeviceReport, BrowsingAnotherTypeChangesTheListsButNotTheTypesOrTheSelectedRoute)
{
    ReportRig rig (true);
    ASSERT_TRUE (rig.router.setRoute (makeRoute ("Simulated", "CABLE Output", "Speakers"))) << rig.router.getLastError();
    const auto selected = rig.router.getCurrentRoute();
    const auto status = rig.router.getStatus();

    const auto inForce = makeDeviceReport (rig.router, status, selected, selected);
    // What a rescan to the other type leaves shown: that type, no input, no output.
    const auto browsing = makeDeviceReport (rig.router, status, selected, makeRoute ("Other back end", "", ""));

    EXPECT_EQ (text (browsing["types"]), R"(["Simulated", "Other back end"])");
    EXPECT_EQ (text (browsing["types"]), text (inForce["types"]));
    EXPECT_EQ (text (browsing["selected"]), text (inForce["selected"]));
    EXPECT_EQ (text (browsing["inputs"]), R"json(["Line In", "Stereo Mix (Other)"])json");
    EXPECT_EQ (text (browsing["outputs"]), R"(["Headphones"])");
    EXPECT_EQ (text (browsing["loopbackInputs"]), R"json(["Stereo Mix (Other)"])json");
    EXPECT_EQ (text (browsing["rates"]), "[]");
    EXPECT_EQ (text (browsing["bufferSizes"]), "[]");
    EXPECT_EQ (text (inForce["rates"]), "[44100.0, 48000.0]") << "the shown output, not the selected one, is asked";
}

TEST (DeviceReport, AnOutputTheTypeCannotMakeOffersNoRatesOrSizes)
{
    ReportRig rig;

    for (const auto* output : { "", "Nowhere", "speakers", "Microphone", "CABLE Output" })
    {
        const auto report = makeDeviceReport (rig.router, rig.router.getStatus(), makeRoute ("Simulated", "", "Speakers"),
                                              makeRoute ("Simulated", "", output));
        EXPECT_EQ (text (report["rates"]), "[]") << output;
        EXPECT_EQ (text (report["bufferSizes"]), "[]") << output;
        EXPECT_EQ (text (report["outputs"]), R"(["Speakers", "CABLE Input"])") << output;
    }

    // A type named that does not exist lists the first type's devices.
    const auto report = makeDeviceReport (rig.router, rig.router.getStatus(), {}, makeRoute ("simulated", "", "Speakers"));
    EXPECT_EQ (text (report["outputs"]), R"(["Speakers", "CABLE Input"])");
    EXPECT_EQ (text (report["rates"]), "[44100.0, 48000.0]");
}

TEST (DeviceReport, WithoutAnyDeviceTypeTheListsAreEmptyAndTheFailedRouteIsStillReported)
{
    AudioRouter router (std::make_unique<FixedTypesManager> (nullptr, false));
    const auto route = makeRoute ("Windows Audio", "CABLE Output", "Speakers", 96000, 128, 40);
    ASSERT_FALSE (router.setRoute (route));

    EXPECT_EQ (text (makeDeviceReport (router, router.getStatus(), router.getCurrentRoute(), route)),
               R"({"types": [], "inputs": [], "outputs": [], "loopbackInputs": [], "platform": "windows", )"
               R"("canSetDefaultOutput": false, "rates": [], "bufferSizes": [], )"
               R"("selected": {"deviceType": "Windows Audio", "inputDevice": "CABLE Output", "outputDevice": "Speakers", )"
               R"("sampleRate": 96000.0, "bufferSize": 128, "queueMs": 40}, )"
               R"("status": {"running": false, "duplex": false, "error": "No audio device type available.", )"
               R"("inputRate": 0.0, "outputRate": 0.0, "bufferSize": 0, "latencyMs": 0.0, "fillFrames": 0, "targetFrames": 0, )"
               R"("correctionPpm": 0.0, "dropouts": 0.0, "overruns": 0.0}, )"
               R"("sampleRate": 96000.0})");
}

TEST (DeviceReport, BuildingOneLeavesNoDeviceBehindAndTheRouteInForceRunningAsItWas)
{
    ReportRig rig;
    const auto shown = makeRoute ("Simulated", "", "Speakers");

    makeDeviceReport (rig.router, rig.router.getStatus(), rig.router.getCurrentRoute(), shown);
    EXPECT_EQ (rig.system->getLiveDeviceCount(), 0) << "with nothing open";
    EXPECT_EQ (rig.system->getOpenDeviceCount(), 0);
    EXPECT_EQ (rig.system->getDeviceOpensSoFar(), 0);

    const auto route = makeRoute ("Simulated", "CABLE Output", "Speakers", 48000, 480, 25);
    ASSERT_TRUE (rig.router.setRoute (route)) << rig.router.getLastError();
    rig.system->advance (200ms);
    const auto& speakers = *rig.system->getEndpoint ("Speakers");
    const auto& cable = *rig.system->getEndpoint ("CABLE Output");
    ASSERT_EQ (rig.system->getLiveDeviceCount(), 2);
    ASSERT_EQ (rig.system->getOpenDeviceCount(), 2);
    const auto opensBefore = rig.system->getDeviceOpensSoFar();

    const auto report = makeDeviceReport (rig.router, rig.router.getStatus(), rig.router.getCurrentRoute(), shown);
    ASSERT_EQ (text (report["rates"]), "[44100.0, 48000.0]") << "the temporary device was made";

    EXPECT_EQ (rig.system->getLiveDeviceCount(), 2) << "only the router's two devices";
    EXPECT_EQ (rig.system->getOpenDeviceCount(), 2);
    EXPECT_EQ (rig.system->getDeviceOpensSoFar(), opensBefore) << "the temporary device is never opened";
    expectSameRoute (rig.router.getCurrentRoute(), route);
    EXPECT_TRUE (rig.router.isRunning());
    EXPECT_EQ (speakers.getStartCount(), 1) << "not reopened";
    EXPECT_EQ (cable.getStartCount(), 1);

    const auto framesBefore = speakers.getFramesRun();
    rig.system->advance (200ms);
    EXPECT_GT (speakers.getFramesRun(), framesBefore) << "the route in force keeps playing";
    EXPECT_TRUE (cable.isStreaming());
}

} // namespace brindle::test
