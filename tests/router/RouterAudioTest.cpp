#include "AudioMeasures.h"
#include "RouterScenario.h"

#include "MessageLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace brindle::test
{

namespace
{
    double levelDb (const OutputCapture& capture, int channel, std::int64_t from, std::int64_t to)
    {
        return test::levelDb ([&] (std::int64_t f) { return capture.getSample (channel, f); }, from, to);
    }

    std::int64_t firstFrameAbove (const OutputCapture& capture, int channel, float threshold)
    {
        for (std::int64_t f = 0; f < capture.getNumFrames(); ++f)
            if (std::abs (capture.getSample (channel, f)) > threshold)
                return f;
        return -1;
    }

    CorrectionState cutAt1k (double gainDb)
    {
        CorrectionState state;
        state.bandCount = 1;
        state.bands[0].freqHz = 1000;
        state.bands[0].gainDb = gainDb;
        state.bands[0].q = 1;
        return state;
    }

    // One click at frame 4800 of the cable: the first sound the speakers hear.
    SimulatedSignal clickAt (std::int64_t frame)
    {
        std::vector<std::vector<float>> channels (2, std::vector<float> ((size_t) frame + 48000, 0.0f));
        channels[0][(size_t) frame] = channels[1][(size_t) frame] = 1.0f;
        return recordedSignal (std::move (channels));
    }
}

TEST (RouterAudio, ATonePlayedIntoTheCableLeavesTheSpeakersCorrected)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withSignal (sineSignal (1000, 0.5f)).withDefaultBufferSize (480));
    s.system->add (SimulatedDeviceConfig::output ("Speakers").withCapture (48000 * 3));
    s.router->applyState (cutAt1k (-6));

    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 480, 30)));
    s.advanceSeconds (3);

    const auto& capture = s.system->getEndpoint ("Speakers")->getCapture();
    ASSERT_EQ (capture.getNumFrames(), 48000 * 3);

    // A sine of amplitude 0.5 is -6 dB against full scale; the cut takes 6 dB more.
    EXPECT_NEAR (levelDb (capture, 0, 96000, 144000), -12.0, 0.05);
    EXPECT_NEAR (levelDb (capture, 1, 96000, 144000), -12.0, 0.05);

    const auto status = s.router->getStatus();
    EXPECT_EQ (status.dropouts, 0);
    EXPECT_EQ (status.overruns, 0);
    EXPECT_EQ (status.inputChannels, 2);
}

TEST (RouterAudio, TheMeasuredDelayMatchesTheLatencyEstimate)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withSignal (clickAt (4800)).withDefaultBufferSize (480));
    s.system->add (SimulatedDeviceConfig::output ("Speakers").withCapture (48000));

    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 480, 30)));
    s.advanceSeconds (0.5);

    const auto& capture = s.system->getEndpoint ("Speakers")->getCapture();
    const auto arrival = firstFrameAbove (capture, 0, 0.1f);
    ASSERT_GT (arrival, 0);

    // The simulated devices hand over each block the moment it is due, so the two device buffers
    // the estimate counts for real hardware (10 ms each) are not heard; the half input buffer of
    // the prefill (5 ms), which the estimate leaves out, is.
    const double measuredMs = (double) (arrival - 4800) * 1000.0 / 48000.0;
    const double estimateMs = s.router->getStatus().latencyMs;
    EXPECT_NEAR (measuredMs, estimateMs - 20.0 + 5.0, 0.5);
}

TEST (RouterAudio, InLinearPhaseTheMeasuredDelayMatchesTheLatencyEstimateToo)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withSignal (clickAt (4800)).withDefaultBufferSize (480));
    s.system->add (SimulatedDeviceConfig::output ("Speakers").withCapture (48000));

    CorrectionState state;
    state.phaseMode = PhaseMode::linear;
    s.router->applyState (state);
    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 480, 30)));
    s.advanceSeconds (0.6);

    const auto& capture = s.system->getEndpoint ("Speakers")->getCapture();
    const auto arrival = firstFrameAbove (capture, 0, 0.1f);
    ASSERT_GT (arrival, 0);

    // As above: the device buffers are not heard, the prefill's half buffer is.
    const double measuredMs = (double) (arrival - 4800) * 1000.0 / 48000.0;
    EXPECT_NEAR (s.router->getStatus().latencyMs, 242.64583, 1e-5);
    EXPECT_NEAR (measuredMs, 242.64583 - 20.0 + 5.0, 0.5);
}

// The route opening designs the waiting state before the devices start, so the identity
// kernel is never heard: the tone is cut from its first audible sample on.
TEST (RouterAudio, ARouteOpenedInLinearPhaseAtTheHighTierIsCorrectedFromItsFirstSound)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withSignal (sineSignal (1000, 0.5f)).withDefaultBufferSize (480));
    s.system->add (SimulatedDeviceConfig::output ("Speakers").withCapture (48000 * 2));

    auto state = cutAt1k (-12);
    state.correctionPct = 100;
    state.phaseMode = PhaseMode::linear;
    state.firQuality = FirQuality::high;
    state.safeHeadroom = false;
    s.router->applyState (state);
    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 480, 30)));
    s.advanceSeconds (1.5);

    const auto& capture = s.system->getEndpoint ("Speakers")->getCapture();
    ASSERT_GT (capture.getNumFrames(), 60000);
    const auto arrival = firstFrameAbove (capture, 0, 0.01f);
    ASSERT_GT (arrival, 0);

    // The tone's onset is broadband, so the cut shapes it only once it has passed; the
    // identity kernel, had it been heard, would play the tone uncut for half a second.
    EXPECT_GT (arrival, 32768 + 1024) << "the first sound is through the high-tier kernel";
    EXPECT_NEAR (levelDb (capture, 0, arrival + 2400, arrival + 7200), -18.0, 0.2) << "cut from the start";
    EXPECT_NEAR (levelDb (capture, 0, capture.getNumFrames() - 24000, capture.getNumFrames()), -18.0, 0.1);
}

// A state change within linear phase and one tier, through the cable and the speakers: the
// designer thread designs the new kernel while the devices wait, then the next block fades
// from the old kernel to the new. Both kernels are linear-phase and of one length, so through
// each the tone is the same sine at its own level; during the fade no step may exceed the
// tone's own step plus 1/1024 of the largest gap between the two kernels' outputs.
TEST (RouterAudio, AKernelChangeWithinATierFadesWithoutAClick)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withSignal (sineSignal (100, 0.5f)).withDefaultBufferSize (480));
    s.system->add (SimulatedDeviceConfig::output ("Speakers").withCapture (48000 * 4));

    auto bellAt100 = [] (double gainDb)
    {
        CorrectionState state;
        state.bandCount = 1;
        state.bands[0].freqHz = 100;
        state.bands[0].gainDb = gainDb;
        state.bands[0].q = 1;
        state.correctionPct = 100;
        state.phaseMode = PhaseMode::linear;
        state.firQuality = FirQuality::medium;
        state.safeHeadroom = false;   // the output gain stays at 0 dB through the change
        return state;
    };

    s.router->applyState (bellAt100 (9));
    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 480, 30)));
    s.advanceSeconds (2);

    const auto& engine = s.router->getEngine();
    ASSERT_EQ (engine.getDesignsFinished(), 1) << "the opening's pass";
    const int slotBefore = engine.getActiveKernelSlot();

    s.router->applyState (bellAt100 (-9));
    ASSERT_TRUE (pumpUntil ([&] { return engine.getDesignsFinished() == 2; }, 20000)) << "designed by the thread";
    s.advanceSeconds (2);
    EXPECT_NE (engine.getActiveKernelSlot(), slotBefore) << "faded in";
    EXPECT_FALSE (engine.isKernelReady());

    const auto& capture = s.system->getEndpoint ("Speakers")->getCapture();
    ASSERT_EQ (capture.getNumFrames(), 48000 * 4);

    // Each kernel's own output: its level and its largest step, where it alone plays.
    struct Steady { float peak = 0, step = 0; };
    auto steadyOver = [&] (std::int64_t from, std::int64_t to)
    {
        Steady steady;
        for (auto f = from; f < to; ++f)
        {
            steady.peak = std::max (steady.peak, std::abs (capture.getSample (0, f)));
            steady.step = std::max (steady.step, std::abs (capture.getSample (0, f) - capture.getSample (0, f - 1)));
        }
        return steady;
    };

    const auto before = steadyOver (48000, 96000);
    const auto after = steadyOver (3 * 48000, 4 * 48000);
    ASSERT_NEAR (20 * std::log10 (before.peak / after.peak), 18.0, 0.3) << "the two kernels' levels";

    const float toneStep = std::max (before.step, after.step);
    const float largestGap = before.peak - after.peak;
    const float limit = toneStep + largestGap / 1024.0f + 1e-5f;

    float largestStep = 0;
    for (std::int64_t f = 96000; f < 4 * 48000; ++f)
        largestStep = std::max (largestStep, std::abs (capture.getSample (0, f) - capture.getSample (0, f - 1)));

    EXPECT_LE (largestStep, limit) << "the tone steps by " << toneStep << ", the gap is " << largestGap;
}

TEST (RouterAudio, ADuplexDeviceCorrectsItsOwnInput)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::duplex ("Interface").withSignal (sineSignal (1000, 0.5f)).withCapture (48000 * 2));
    s.router->applyState (cutAt1k (-9));

    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("Interface", "Interface", 48000, 256)));
    s.advanceSeconds (2);

    const auto& capture = s.system->getEndpoint ("Interface")->getCapture();
    EXPECT_NEAR (levelDb (capture, 0, 48000, 96000), -15.0, 0.05);
    EXPECT_NEAR (levelDb (capture, 1, 48000, 96000), -15.0, 0.05);
}

TEST (RouterAudio, AMonoInputFeedsBothChannelsAndAMonoOutputGetsTheLeft)
{
    struct Case { int inputChannels, outputChannels; };
    for (const auto& c : { Case { 1, 2 }, Case { 2, 1 } })
    {
        RouterScenario s;
        // Left and right differ, so a swapped or dropped channel shows.
        auto signal = [] (float* const* channels, int numChannels, int numFrames, std::int64_t firstFrame, double) {
            for (int ch = 0; ch < numChannels; ++ch)
                for (int i = 0; i < numFrames; ++i)
                    channels[ch][i] = (float) ((ch + 1) * 0.1 * std::sin (2 * 3.141592653589793 * 440 * (double) (firstFrame + i) / 48000));
        };
        s.system->add (SimulatedDeviceConfig::input ("Capture", signal).withChannels (c.inputChannels, 0));
        s.system->add (SimulatedDeviceConfig::output ("Speakers").withChannels (0, c.outputChannels).withCapture (48000));

        ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("Capture", "Speakers", 48000, 256)));
        s.advanceSeconds (1);

        const auto& capture = s.system->getEndpoint ("Speakers")->getCapture();
        EXPECT_NEAR (levelDb (capture, 0, 24000, 48000), 20 * std::log10 (0.1), 0.05) << c.inputChannels << " in";
        if (c.outputChannels > 1)
        {
            EXPECT_NEAR (levelDb (capture, 1, 24000, 48000), 20 * std::log10 (c.inputChannels == 1 ? 0.1 : 0.2), 0.05);
        }
        EXPECT_EQ (s.router->getStatus().inputChannels, c.inputChannels);
    }
}

// The devices here pass only the channels the router asks for, so the rules for more channels
// than two, and for a missing right channel, are driven through the callbacks directly.
TEST (RouterAudio, TheCallbacksHandleAnyChannelLayout)
{
    struct Case
    {
        const char* name;
        int inputChannels;
        bool rightMissing;
        int outputChannels;
        float expectedLeft, expectedRight;
    };

    const Case cases[] = {
        { "four inputs: only the first two count", 4, false, 2, 0.1f, 0.2f },
        { "a missing right channel reads as the left", 2, true, 2, 0.1f, 0.1f },
        { "four outputs repeat the right", 2, false, 4, 0.1f, 0.2f },
    };

    for (const auto& c : cases)
    {
        RouterScenario s;
        s.system->add (SimulatedDeviceConfig::cablePair().withDefaultBufferSize (256));
        s.system->add (SimulatedDeviceConfig::output ("Speakers"));
        ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 256, 10)));

        AudioRouter::Tap input (*s.router, AudioRouter::Tap::Side::input), output (*s.router, AudioRouter::Tap::Side::output);
        const juce::AudioIODeviceCallbackContext context {};

        std::vector<std::vector<float>> in (4, std::vector<float> (256));
        for (int ch = 0; ch < 4; ++ch)
            std::fill (in[(size_t) ch].begin(), in[(size_t) ch].end(), (ch + 1) * 0.1f);
        std::vector<const float*> inPointers { in[0].data(), c.rightMissing ? nullptr : in[1].data(), in[2].data(), in[3].data() };

        // The input device's own outputs, if it has any, are silenced.
        std::vector<float> stray (256, 0.7f);
        float* strayPointers[] = { stray.data() };

        std::vector<std::vector<float>> out (4, std::vector<float> (256));
        std::vector<float*> outPointers { out[0].data(), out[1].data(), out[2].data(), out[3].data() };

        for (int block = 0; block < 30; ++block)
        {
            input.audioDeviceIOCallbackWithContext (inPointers.data(), c.inputChannels, strayPointers, 1, 256, context);
            output.audioDeviceIOCallbackWithContext (nullptr, 0, outPointers.data(), c.outputChannels, 256, context);
        }

        EXPECT_EQ (stray[100], 0.0f) << c.name;
        EXPECT_NEAR (out[0][255], c.expectedLeft, 1e-5f) << c.name;
        for (int ch = 1; ch < c.outputChannels; ++ch)
            EXPECT_NEAR (out[(size_t) ch][255], c.expectedRight, 1e-5f) << c.name << ", channel " << ch;
        EXPECT_EQ (s.router->getStatus().inputChannels, c.inputChannels) << c.name;
    }
}

TEST (RouterAudio, ABlockLongerThanTheLargestIsSilenceAndChangesNothing)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair());
    s.system->add (SimulatedDeviceConfig::output ("Speakers"));
    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers", 48000, 256, 30)));

    const int tooLong = s.router->getMaxBlock() + 1;
    std::vector<float> left ((size_t) tooLong, 0.5f), right ((size_t) tooLong, 0.5f);
    float* outputs[] = { left.data(), right.data() };
    const auto fillBefore = s.router->getFifo().getFill();

    AudioRouter::Tap output (*s.router, AudioRouter::Tap::Side::output);
    output.audioDeviceIOCallbackWithContext (nullptr, 0, outputs, 2, tooLong, {});

    EXPECT_TRUE (std::all_of (left.begin(), left.end(), [] (float x) { return x == 0.0f; }));
    EXPECT_EQ (s.router->getFifo().getFill(), fillBefore);
    EXPECT_LT (s.router->getDrift().smoothedFill, 0.0) << "the drift loop has not started";
}

TEST (RouterAudio, NothingIsQueuedOrPlayedWhileNotRunning)
{
    RouterScenario s;
    s.system->add (SimulatedDeviceConfig::cablePair().withSignal (sineSignal (1000, 0.5f)));
    s.system->add (SimulatedDeviceConfig::output ("Speakers").withCapture (4800));
    ASSERT_TRUE (s.router->setRoute (RouterScenario::route ("CABLE Output", "Speakers")));

    s.router->running = false;
    s.advanceSeconds (0.1);

    EXPECT_EQ (s.router->getStatus().inputFrames, 0);
    const auto& capture = s.system->getEndpoint ("Speakers")->getCapture();
    for (std::int64_t f = 0; f < capture.getNumFrames(); ++f)
        ASSERT_EQ (capture.getSample (0, f), 0.0f);
}

} // namespace brindle::test
