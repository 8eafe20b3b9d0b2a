#include "ApplicationFixture.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (AudioStart, TheStoredRouteOpensAsStoredOrOnTheDefaultPlaybackDevice)
{
    struct Case
    {
        const char* name;
        juce::String input, output;
        bool opens;
        juce::String openedOutput;
    };

    const Case cases[] = {
        { "input set, output empty: the default playback device", "CABLE Output", "", true, SimulatedSoundCard::speakersName },
        { "a stored output is used as it is", "CABLE Output", "CABLE Input", true, "CABLE Input" },
        { "no input: nothing opens", "", "", false, "" },
        { "a device that is gone: the route fails", "Old cable", "", false, SimulatedSoundCard::speakersName },
    };

    for (const auto& c : cases)
    {
        ApplicationFixture f;
        f.writeSettings (ApplicationFixture::routeJson (c.input, c.output, ",\"state\":{\"bands\":[],\"correctionPct\":100,\"outputDb\":-7,\"safeHeadroom\":false}"));
        f.app->initialise ({});

        EXPECT_EQ (f.app->getRouter().isRunning(), c.opens) << c.name << ": " << f.app->getRouter().getLastError();
        EXPECT_EQ (f.app->getRouter().getCurrentRoute().outputDevice, c.openedOutput) << c.name;
        f.audio->advance (std::chrono::milliseconds (50));
        EXPECT_EQ (f.app->getRouter().getEngine().getTargetOutputDb(), c.opens ? -7.0 : 0.0)
            << c.name << ": the stored state is applied only when the route opened";
        f.app->shutdown();
    }
}

TEST (AudioStart, WithoutADefaultPlaybackDeviceNothingOpens)
{
    auto onlyACable = std::make_shared<SimulatedAudioSystem> (SimulatedClock::Mode::manual);
    onlyACable->add (SimulatedDeviceConfig::input ("CABLE Output").withChannels (2, 0));

    ApplicationFixture f (true, onlyACable);
    f.writeSettings (ApplicationFixture::routeJson ("CABLE Output", ""));
    f.app->initialise ({});

    EXPECT_FALSE (f.app->getRouter().isRunning());
    EXPECT_EQ (f.app->getRouter().getCurrentRoute().inputDevice, "") << "the route was never handed over";
    f.app->shutdown();
}

TEST (AudioStart, TheStoredStateIsAppliedOnlyWhenItReads)
{
    struct Case { const char* name; juce::String stateMember; double expectedOutputDb; };
    const Case cases[] = {
        { "a state", ",\"state\":{\"bands\":[],\"correctionPct\":100,\"outputDb\":-7,\"safeHeadroom\":false}", -7.0 },
        { "no bands array", ",\"state\":{\"outputDb\":-7,\"correctionPct\":100}", 0.0 },
        { "no state", "", 0.0 },
    };

    for (const auto& c : cases)
    {
        ApplicationFixture f;
        f.writeSettings (ApplicationFixture::routeJson ("CABLE Output", "", c.stateMember));
        f.app->initialise ({});
        ASSERT_TRUE (f.app->getRouter().isRunning()) << c.name;

        f.audio->advance (std::chrono::milliseconds (50));
        EXPECT_EQ (f.app->getRouter().getEngine().getTargetOutputDb(), c.expectedOutputDb) << c.name;
        f.app->shutdown();
    }
}

TEST (AudioStart, AHandEditedRouteIsHeldToTheRouteLimits)
{
    ApplicationFixture f;
    f.writeSettings ("{\"routing\":{\"deviceType\":\"Simulated\",\"inputDevice\":\"CABLE Output\",\"outputDevice\":\"\","
                     "\"sampleRate\":48000,\"bufferSize\":1e9,\"queueMs\":1e7}}");
    f.app->initialise ({});

    EXPECT_TRUE (f.app->getRouter().isRunning());
    EXPECT_EQ (f.app->getRouter().getCurrentRoute().queueMs, 500);
    EXPECT_EQ (f.app->getRouter().getCurrentRoute().bufferSize, 8192);
    EXPECT_LT (f.app->getRouter().getTargetFrames(), 48000) << "no queue of gigabytes";
    f.app->shutdown();
}

} // namespace brindle::test
