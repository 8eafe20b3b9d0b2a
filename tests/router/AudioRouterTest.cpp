#include "RouterScenario.h"

#include "MessageLoop.h"

#include <gtest/gtest.h>

#include <cmath>

namespace brindle::test
{

namespace
{
    /** A manager that offers no device type at all. */
    struct NoTypesManager final : juce::AudioDeviceManager
    {
        void createAudioDeviceTypes (juce::OwnedArray<juce::AudioIODeviceType>&) override {}
    };

    void expectIdleAfterFailure (const RouterScenario& s, const AudioRoute& route, const char* name)
    {
        const auto& router = *s.router;
        const auto& current = router.getCurrentRoute();
        EXPECT_EQ (current.inputDevice, route.inputDevice) << name;
        EXPECT_EQ (current.outputDevice, route.outputDevice) << name;
        EXPECT_EQ (current.queueMs, route.queueMs) << name;
        EXPECT_FALSE (router.isRunning()) << name;
        EXPECT_FALSE (router.isDesignerRunning()) << name;

        const auto status = router.getStatus();
        EXPECT_EQ (status.dropouts, 0) << name;
        EXPECT_EQ (status.overruns, 0) << name;
        EXPECT_EQ (status.inputFrames, 0) << name;
        EXPECT_EQ (status.outputRate, 0.0) << name << ": no device is left open";
        EXPECT_EQ (status.inputRate, 0.0) << name;
        EXPECT_EQ (status.latencyMs, 0.0) << name;
        EXPECT_EQ (status.error, router.getLastError()) << name;
    }
}

TEST (AudioRouter, ATwoDeviceRouteIsSizedFromWhatTheDevicesRunAt)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withDefaultBufferSize (480));
    s.system->add (SimulatedDeviceConfig::output ("Speakers"));

    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 480, 30))) << s.router->getLastError();

    EXPECT_FALSE (s.router->isDuplex());
    EXPECT_TRUE (s.router->isRunning());
    EXPECT_TRUE (s.router->isDesignerRunning());
    EXPECT_EQ (s.router->getMaxBlock(), 2048);
    EXPECT_EQ (s.router->getTargetFrames(), 1440);
    EXPECT_EQ (s.router->getFifo().getCapacity(), 6849);
    EXPECT_EQ (s.router->getFifo().getFill(), 1680) << "the prefill: target plus half an input buffer";
    EXPECT_EQ (s.router->getRateRatio(), 1.0);
    EXPECT_TRUE (s.router->getLastError().isEmpty());
}

TEST (AudioRouter, AShortQueueIsRaisedToSixtyFourFrames)
{
    for (int queueMs : { 1, 0 })
    {
        RouterScenario s;
        s.system->add (SimulatedDeviceConfig::cablePair());
        s.system->add (SimulatedDeviceConfig::output ("Speakers"));
        ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 44100, 256, queueMs)));
        EXPECT_EQ (s.router->getTargetFrames(), 64) << queueMs;
    }
}

TEST (AudioRouter, DevicesThatSettleOnOtherRatesGiveTheNominalRatio)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::input ("Capture").withChannels (2, 0).withSettledRate (44100));
    s.system->add (SimulatedDeviceConfig::output ("Speakers").withSettledRate (48000));

    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("Capture", "Speakers", 96000, 256, 30)));
    EXPECT_DOUBLE_EQ (s.router->getRateRatio(), 0.91875);
    EXPECT_EQ (s.router->getTargetFrames(), 1323) << "input frames at 44.1 kHz";
    EXPECT_EQ (s.router->getDrift().sampleRate, 48000.0) << "the loop runs on the output clock";
    EXPECT_EQ (s.router->getEngine().getSampleRate(), 48000.0);
}

TEST (AudioRouter, EqualNamesOpenOneDuplexDevice)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::duplex ("Interface").withSettledBufferSize (480));

    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("Interface", "Interface")));
    EXPECT_TRUE (s.router->isDuplex());
    EXPECT_EQ (s.router->getTargetFrames(), 0);
    EXPECT_EQ (s.router->getRateRatio(), 1.0);
    EXPECT_EQ (s.system->getEndpoint ("Interface")->getStartCount(), 1) << "started once, with the output tap";

    const auto status = s.router->getStatus();
    EXPECT_EQ (status.inputRate, status.outputRate);
    EXPECT_EQ (status.inputBufferSize, status.bufferSize);
    EXPECT_NEAR (status.latencyMs, 10.3125, 1e-9);
}

TEST (AudioRouter, FailuresLeaveTheRouteInForceAndNothingOpen)
{
    struct Case
    {
        const char* name;
        juce::String input, output;
        juce::String expectedError;
        bool expectedDuplex;
    };

    const Case cases[] = {
        { "duplex device not created", "Nowhere", "Nowhere", "Could not open Nowhere.", true },
        { "duplex device fails to open", "Broken duplex", "Broken duplex", "duplex refused", true },
        { "output device not created", "CABLE Output", "Nowhere", "Could not open the output device.", false },
        { "no output named", "CABLE Output", "", "Could not open the output device.", false },
        { "output device fails to open", "CABLE Output", "Broken speakers", "speakers refused", false },
        { "input device not created", "Nowhere", "Speakers", "Could not open the input device.", false },
        { "no input named", "", "Speakers", "Could not open the input device.", false },
        { "input device fails to open", "Broken capture", "Speakers", "capture refused", false },
        { "names differing in case are two devices", "speakers", "Speakers", "Could not open the input device.", false },
    };

    for (const auto& c : cases)
    {
        RouterScenario s;
        s.system->add (SimulatedDeviceConfig::cablePair());
        s.system->add (SimulatedDeviceConfig::output ("Speakers"));
        s.system->add (SimulatedDeviceConfig::duplex ("Broken duplex").withOpenError ("duplex refused"));
        s.system->add (SimulatedDeviceConfig::output ("Broken speakers").withOpenError ("speakers refused"));
        s.system->add (SimulatedDeviceConfig::input ("Broken capture").withChannels (2, 0).withOpenError ("capture refused"));

        // A running route first, so that a failure is seen to close it.
        ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers")));
        s.advanceSeconds (0.1);

        const auto route = RouterScenario::route (c.input, c.output);
        EXPECT_FALSE (s.router->setRoute (route)) << c.name;
        EXPECT_EQ (s.router->getLastError(), c.expectedError) << c.name;
        EXPECT_EQ (s.router->isDuplex(), c.expectedDuplex) << c.name;
        expectIdleAfterFailure (s, route, c.name);

        for (const auto* name : { "Speakers", "CABLE Output", "Broken speakers", "Broken capture" })
            EXPECT_FALSE (s.system->getEndpoint (name)->isStreaming()) << c.name << ": " << name;
    }
}

TEST (AudioRouter, NoDeviceTypeAtAllIsReported)
{
    AudioRouter router (std::make_unique<NoTypesManager>());
    EXPECT_FALSE (router.setRoute (RouterScenario::route ("a", "b")));
    EXPECT_EQ (router.getLastError(), "No audio device type available.");
    EXPECT_EQ (router.getCurrentRoute().inputDevice, "a");
    EXPECT_FALSE (router.isDuplex()) << "keeps its earlier value";
}

TEST (AudioRouter, AnUnknownDeviceTypeOpensOnTheFirstAvailable)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::duplex ("Interface"));

    auto route = RouterScenario::route ("Interface", "Interface");
    route.deviceType = "No such back end";
    // The first type offered is the platform's own, which has no such device here.
    const bool opened = s.router->setRoute (route);
    const auto firstType = s.router->getDeviceManager().getAvailableDeviceTypes()[0]->getTypeName();

    if (firstType == "Simulated")
        EXPECT_TRUE (opened);
    else
        EXPECT_EQ (s.router->getLastError(), "Could not open Interface.") << "tried on " << firstType;
}

TEST (AudioRouter, AnInputWithoutAUsableDefaultBufferIsOpenedWithTheRoutesBuffer)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withDefaultBufferSize (0));
    s.system->add (SimulatedDeviceConfig::output ("Speakers"));

    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 128, 30)));
    EXPECT_EQ (s.router->getStatus().inputBufferSize, 128);
}

TEST (AudioRouter, ReopeningTheSameRouteResetsTheCounters)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withSignal (sineSignal (1000, 0.5f)));
    s.system->add (SimulatedDeviceConfig::output ("Speakers"));
    const auto route = RouterScenario::route ("CABLE Output", "Speakers");

    ASSERT_TRUE (s.router->setRoute (route));
    s.advanceSeconds (0.5);
    EXPECT_GT (s.router->getStatus().inputFrames, 20000);

    ASSERT_TRUE (s.router->setRoute (route));
    EXPECT_EQ (s.router->getStatus().inputFrames, 0);
    EXPECT_EQ (s.system->getEndpoint ("Speakers")->getStartCount(), 2);
}

TEST (AudioRouter, AStateAppliedBeforeAnyRouteTakesEffectOnceOneOpens)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::duplex ("Interface").withSignal (constantSignal (0.5f)).withCapture (48000));

    CorrectionState state;
    state.outputDb = -20;
    state.correctionPct = 100;
    s.router->applyState (state);

    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("Interface", "Interface")));
    EXPECT_EQ (s.router->getEngine().getDesignerState().outputDb, -20.0) << "taken by the design pass before the devices start";
    s.advanceSeconds (0.5);

    const auto& capture = s.system->getEndpoint ("Interface")->getCapture();
    ASSERT_GT (capture.getNumFrames(), 20000);
    EXPECT_NEAR (capture.getSample (0, capture.getNumFrames() - 1), 0.05f, 1e-4f);
    EXPECT_EQ (s.router->getEngine().getTargetOutputDb(), -20.0);
}

TEST (AudioRouter, ARouteChangeDuringAHighTierDesignStopsItAndOpens)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::duplex ("Interface").withSignal (constantSignal (0.5f)).withCapture (48000));
    const auto route = RouterScenario::route ("Interface", "Interface");
    ASSERT_TRUE (s.router->setRoute (route));

    CorrectionState state;
    state.firQuality = FirQuality::high;
    state.outputDb = -20;
    state.bandCount = 24;
    for (int j = 0; j < 24; ++j)
    {
        auto& band = state.bands[(size_t) j];
        band.freqHz = 30 * std::pow (1.3, j);
        band.gainDb = j % 2 ? -4 : 5;
        band.q = 1.5;
        band.right = j % 3 != 0;
    }
    s.router->applyState (state);

    const auto& engine = s.router->getEngine();
    for (int k = 0; k < 20000 && engine.getDesignsStarted() == 0; ++k)
        juce::Thread::sleep (1);
    ASSERT_EQ (engine.getDesignsStarted(), 1);

    EXPECT_TRUE (s.router->stopDesigner()) << "stopped, not ended by force";
    EXPECT_EQ (engine.getDesignsFinished(), 0) << "the design was abandoned";
    EXPECT_FALSE (engine.isKernelReady());

    ASSERT_TRUE (s.router->setRoute (route));
    EXPECT_TRUE (s.router->isDesignerRunning());
    s.advanceSeconds (0.5);

    const auto& capture = s.system->getEndpoint ("Interface")->getCapture();
    ASSERT_GT (capture.getNumFrames(), 20000);
    EXPECT_GT (capture.getSample (0, capture.getNumFrames() - 1), 0.01f) << "it plays";
}

// The designer idles for a minute at a time here, so only the wake-up that applyState sends
// can start the design within the limit; a stop wakes the idle designer as well.
TEST (AudioRouter, AStateAppliedWhileTheDesignerIdlesIsDesignedAtOnce)
{
    RouterScenario s (SimulatedClock::Mode::manual, 60000);
    s.system->add (SimulatedDeviceConfig::duplex ("Interface").withSignal (constantSignal (0.5f)));
    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("Interface", "Interface")));

    const auto& engine = s.router->getEngine();
    ASSERT_TRUE (pumpUntil ([&] { return s.router->getDesigner().getIdleWaitsBegun() > 0; }, 20000)) << "the designer went idle";
    ASSERT_EQ (engine.getDesignsStarted(), 0);

    CorrectionState state;
    state.phaseMode = PhaseMode::linear;
    state.firQuality = FirQuality::low;
    s.router->applyState (state);
    EXPECT_TRUE (pumpUntil ([&] { return engine.getDesignsFinished() == 1; }, 20000)) << "woken by the state, not after its idle wait";

    // The kernel waits (no device block has faded it in), so the designer idles again.
    ASSERT_TRUE (pumpUntil ([&] { return s.router->getDesigner().getIdleWaitsBegun() > 1; }, 20000));
    EXPECT_TRUE (s.router->stopDesigner()) << "the stop wakes the idle designer";
}

TEST (AudioRouter, StatusBeforeAnyRouteIsAllZero)
{
    RouterScenario s;
    const auto status = s.router->getStatus();
    EXPECT_FALSE (status.running);
    EXPECT_FALSE (status.duplex);
    EXPECT_TRUE (status.error.isEmpty());
    EXPECT_EQ (status.inputRate, 0.0);
    EXPECT_EQ (status.outputRate, 0.0);
    EXPECT_EQ (status.bufferSize, 0);
    EXPECT_EQ (status.latencyMs, 0.0);
    EXPECT_EQ (status.fillFrames, 0);
    EXPECT_EQ (status.targetFrames, 0);
    EXPECT_EQ (status.correctionPpm, 0.0);
    EXPECT_EQ (status.inputChannels, 0);
    EXPECT_EQ (status.inputBufferSize, 0);
}

TEST (AudioRouter, TheLatencyEstimateAddsUpThePath)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withDefaultBufferSize (480));
    s.system->add (SimulatedDeviceConfig::output ("Speakers"));
    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 480, 30)));

    EXPECT_NEAR (s.router->getStatus().latencyMs, 50.64583, 1e-5);

    // A speaker delay adds to it once the audio thread has taken the state.
    CorrectionState state;
    state.correctionPct = 100;
    state.delayLeftMs = 2;
    s.router->applyState (state);
    s.advanceSeconds (0.05);
    EXPECT_NEAR (s.router->getStatus().latencyMs, 52.64583, 1e-5);
}

TEST (AudioRouter, DeviceListChangesReachTheApplication)
{
    RouterScenario s;
    int changes = 0;
    s.router->onDevicesChanged = [&] { ++changes; };
    s.router->getDeviceManager().getAvailableDeviceTypes(); // the first scan

    s.system->add (SimulatedDeviceConfig::output ("Headphones"));
    EXPECT_TRUE (pumpUntil ([&] { return changes > 0; }));
}

TEST (AudioRouter, DeviceErrorsAreDeliveredOnTheMessageThread)
{
    RouterScenario s (SimulatedClock::Mode::realTime);
    s.system->add (SimulatedDeviceConfig::cablePair());
    s.system->add (SimulatedDeviceConfig::output ("Speakers").withStreamError (4800));

    bool onMessageThread = false;
    int errors = 0;
    s.router->onDeviceError = [&] {
        onMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
        ++errors;
    };

    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers")));
    EXPECT_TRUE (pumpUntil ([&] { return errors > 0; }, 5000));
    EXPECT_TRUE (onMessageThread);
    EXPECT_TRUE (s.router->isRunning()) << "nothing closes or reopens by itself";
}

} // namespace brindle::test
