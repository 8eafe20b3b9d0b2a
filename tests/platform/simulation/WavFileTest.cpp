#include "FileBytes.h"
#include "TemporaryFolder.h"

#include "platform/simulation/WavFile.h"

#include <gtest/gtest.h>

#include <cstring>

namespace brindle::test
{

namespace
{
    struct WavBytes
    {
        std::string bytes;

        std::uint32_t u32 (size_t at) const { std::uint32_t v; std::memcpy (&v, bytes.data() + at, 4); return v; }
        std::uint16_t u16 (size_t at) const { std::uint16_t v; std::memcpy (&v, bytes.data() + at, 2); return v; }
        float f32 (size_t at) const { float v; std::memcpy (&v, bytes.data() + at, 4); return v; }
    };
}

TEST (WavFile, WritesInterleavedFloatSamplesWithAHeaderThatDescribesThem)
{
    TemporaryFolder home;
    const auto file = home.get().getChildFile ("out.wav");
    WavFileWriter writer (file, 2, 44100);
    ASSERT_TRUE (writer.isOpen());

    const float left[] = { 0.5f, -0.25f, 1.0f }, right[] = { 0.0f, 0.75f, -1.0f };
    const float* channels[] = { left, right };
    ASSERT_TRUE (writer.append (channels, 2, 3));

    const WavBytes wav { fileBytes (file) };
    ASSERT_EQ (wav.bytes.size(), 44u + 3 * 2 * 4);
    EXPECT_EQ (wav.bytes.substr (0, 4), "RIFF");
    EXPECT_EQ (wav.u32 (4), wav.bytes.size() - 8);
    EXPECT_EQ (wav.bytes.substr (8, 8), "WAVEfmt ");
    EXPECT_EQ (wav.u16 (20), 3) << "IEEE float";
    EXPECT_EQ (wav.u16 (22), 2);
    EXPECT_EQ (wav.u32 (24), 44100u);
    EXPECT_EQ (wav.u32 (28), 44100u * 8);
    EXPECT_EQ (wav.u16 (32), 8);
    EXPECT_EQ (wav.u16 (34), 32);
    EXPECT_EQ (wav.bytes.substr (36, 4), "data");
    EXPECT_EQ (wav.u32 (40), 24u);

    const float expected[] = { 0.5f, 0.0f, -0.25f, 0.75f, 1.0f, -1.0f };
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ (wav.f32 (44 + 4 * i), expected[i]) << i;
}

TEST (WavFile, IsAWholeFileAfterEveryAppendAndReplacesWhatWasThere)
{
    TemporaryFolder home;
    const auto file = home.get().getChildFile ("out.wav");
    ASSERT_TRUE (file.replaceWithText ("an older recording, much longer than the new one will be"));

    WavFileWriter writer (file, 1, 48000);
    ASSERT_TRUE (writer.isOpen());
    EXPECT_EQ (fileBytes (file).size(), 44u) << "an empty recording at first";

    const float one[] = { 0.25f };
    const float* channels[] = { one };

    for (int i = 1; i <= 3; ++i)
    {
        ASSERT_TRUE (i == 2 ? writer.appendSilence (1) : writer.append (channels, 1, 1));
        const WavBytes wav { fileBytes (file) };
        ASSERT_EQ (wav.bytes.size(), 44u + 4u * (size_t) i);
        EXPECT_EQ (wav.u32 (4), wav.bytes.size() - 8);
        EXPECT_EQ (wav.u32 (40), 4u * (unsigned) i);
        EXPECT_EQ (wav.f32 (44 + 4 * (size_t) (i - 1)), i == 2 ? 0.0f : 0.25f);
    }

    EXPECT_EQ (writer.getFramesWritten(), 3);
}

TEST (WavFile, AWriterThatCannotOpenItsFileWritesNothing)
{
    TemporaryFolder home;
    const auto folder = home.get().getChildFile ("a folder");
    ASSERT_TRUE (folder.createDirectory());

    WavFileWriter overAFolder (folder, 2, 48000);
    WavFileWriter withoutARate (home.get().getChildFile ("out.wav"), 2, 0);

    const float one[] = { 1.0f };
    const float* channels[] = { one };
    EXPECT_FALSE (overAFolder.isOpen());
    EXPECT_FALSE (overAFolder.append (channels, 1, 1));
    EXPECT_FALSE (withoutARate.isOpen());
    EXPECT_FALSE (home.get().getChildFile ("out.wav").exists());
    EXPECT_TRUE (folder.isDirectory());
}

} // namespace brindle::test
