#include "FileBytes.h"
#include "RecordingCallback.h"
#include "SimulatedRig.h"
#include "TemporaryFolder.h"

#include "platform/simulation/OutputRecorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace brindle::test
{

using namespace std::chrono_literals;

namespace
{
    /** The samples of a two-channel float WAV file as the recorder writes it. */
    struct Recording
    {
        explicit Recording (const juce::File& file) : bytes (fileBytes (file)) {}

        bool isWav() const { return bytes.size() >= 44 && bytes.substr (0, 4) == "RIFF" && bytes.substr (36, 4) == "data"; }
        std::uint32_t rate() const { return u32 (24); }
        std::int64_t frames() const { return (std::int64_t) u32 (40) / 8; }

        float sample (int channel, std::int64_t frame) const
        {
            float v;
            std::memcpy (&v, bytes.data() + 44 + (frame * 2 + channel) * 4, 4);
            return v;
        }

        std::uint32_t u32 (size_t at) const { std::uint32_t v; std::memcpy (&v, bytes.data() + at, 4); return v; }

        std::string bytes;
    };

    struct RecordedSpeakers
    {
        explicit RecordedSpeakers (double maxSeconds = 60)
            : recorder (std::make_shared<OutputRecorder> (folder.get().getChildFile ("speakers.wav"), 2, maxSeconds))
        {
            rig.system->add (SimulatedDeviceConfig::output ("Speakers").withRecorder (recorder));
        }

        /** Opens the speakers at `rate`, plays a ramp for `duration` of simulated time, and
            closes them; the frames played. */
        std::int64_t play (double rate, std::chrono::milliseconds duration)
        {
            auto device = rig.open ("Speakers", "", rate, 480);

            if (device == nullptr)
                return 0;

            RecordingCallback callback (rampPlayer());
            device->start (&callback);
            rig.system->advance (duration);
            device->close();
            return callback.frames.load();
        }

        TemporaryFolder folder;
        SimulatedRig rig;
        std::shared_ptr<OutputRecorder> recorder;
    };
}

TEST (OutputRecorder, EachFrameLandsAtItsClockFrameAndWhereNothingPlayedIsSilence)
{
    RecordedSpeakers s;
    s.rig.system->advance (100ms);   // the speakers first start at clock frame 4800
    ASSERT_NE (s.rig.open ("Speakers", "", 48000, 480), nullptr);
    EXPECT_FALSE (s.recorder->getFile().exists()) << "nothing is made before the first start";

    const auto firstRun = s.play (48000, 50ms);
    s.rig.system->advance (100ms);   // the second start begins at clock frame 12000
    const auto secondRun = s.play (48000, 20ms);
    s.recorder->finish();

    const Recording wav (s.recorder->getFile());
    ASSERT_TRUE (wav.isWav());
    EXPECT_EQ (wav.rate(), 48000u);
    ASSERT_GT (firstRun, 2400);
    ASSERT_LT (4800 + firstRun, 12000);
    ASSERT_EQ (wav.frames(), 12000 + secondRun);
    EXPECT_EQ (s.recorder->getFramesWritten(), wav.frames());

    for (std::int64_t f = 0; f < wav.frames(); ++f)
    {
        float expected = 0.0f;
        if (f >= 4800 && f < 4800 + firstRun)
            expected = (float) (f - 4800 + 1);
        else if (f >= 12000)
            expected = (float) (f - 12000 + 1);

        ASSERT_EQ (wav.sample (0, f), expected) << "frame " << f;
        ASSERT_EQ (wav.sample (1, f), -expected) << "frame " << f;
    }
}

TEST (OutputRecorder, TheFileGrowsWhileTheSpeakersPlayAndIsAWholeWavFileAtEveryMoment)
{
    RecordedSpeakers s;
    auto device = s.rig.open ("Speakers", "", 48000, 256);
    ASSERT_NE (device, nullptr);

    RecordingCallback callback (rampPlayer());
    device->start (&callback);

    for (int step = 1; step <= 5; ++step)
    {
        s.rig.system->advance (100ms);
        const auto played = callback.frames.load();

        // The writer catches up on its own, a few times a second.
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (s.recorder->getFramesWritten() < played && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for (5ms);

        const Recording wav (s.recorder->getFile());
        ASSERT_TRUE (wav.isWav()) << "step " << step;
        EXPECT_GE (wav.frames(), played) << "step " << step;
        EXPECT_EQ (wav.bytes.size(), 44u + (size_t) wav.frames() * 8) << "the header tells the samples there are";
        EXPECT_EQ (wav.sample (0, played - 1), (float) played);
    }

    device->stop();
}

TEST (OutputRecorder, EndsAtItsLengthAndAtAStartAtAnotherRate)
{
    {
        RecordedSpeakers s (0.1);
        EXPECT_GT (s.play (48000, 500ms), 4800);
        s.recorder->finish();

        EXPECT_EQ (Recording (s.recorder->getFile()).frames(), 4800) << "a tenth of a second at 48 kHz";
    }
    {
        RecordedSpeakers s;
        const auto played = s.play (48000, 50ms);
        EXPECT_GT (s.play (96000, 50ms), 0);
        s.recorder->finish();

        const Recording wav (s.recorder->getFile());
        EXPECT_EQ (wav.rate(), 48000u);
        EXPECT_EQ (wav.frames(), played) << "the second start, at 96 kHz, ended the recording";
    }
}

} // namespace brindle::test
