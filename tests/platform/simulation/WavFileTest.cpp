#include "FileBytes.h"
#include "TemporaryFolder.h"

#include "platform/simulation/WavFile.h"

#include <gtest/gtest.h>

#include <cstring>

namespace brindle::test
{

TEST (WavFile, WritesInterleavedFloatSamplesWithAHeaderThatDescribesThem)
{
    TemporaryFolder home;
    const auto file = home.get().getChildFile ("out.wav");
    ASSERT_TRUE (writeWavFile (file, { { 0.5f, -0.25f, 1.0f }, { 0.0f, 0.75f, -1.0f } }, 44100));

    const auto bytes = fileBytes (file);
    ASSERT_EQ (bytes.size(), 44u + 3 * 2 * 4);

    auto u32 = [&] (size_t at) { std::uint32_t v; std::memcpy (&v, bytes.data() + at, 4); return v; };
    auto u16 = [&] (size_t at) { std::uint16_t v; std::memcpy (&v, bytes.data() + at, 2); return v; };
    auto f32 = [&] (size_t at) { float v; std::memcpy (&v, bytes.data() + at, 4); return v; };

    EXPECT_EQ (bytes.substr (0, 4), "RIFF");
    EXPECT_EQ (u32 (4), bytes.size() - 8);
    EXPECT_EQ (bytes.substr (8, 8), "WAVEfmt ");
    EXPECT_EQ (u16 (20), 3) << "IEEE float";
    EXPECT_EQ (u16 (22), 2);
    EXPECT_EQ (u32 (24), 44100u);
    EXPECT_EQ (u32 (28), 44100u * 8);
    EXPECT_EQ (u16 (32), 8);
    EXPECT_EQ (u16 (34), 32);
    EXPECT_EQ (bytes.substr (36, 4), "data");
    EXPECT_EQ (u32 (40), 24u);

    const float expected[] = { 0.5f, 0.0f, -0.25f, 0.75f, 1.0f, -1.0f };
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ (f32 (44 + 4 * i), expected[i]) << i;
}

TEST (WavFile, NothingToWriteWritesNothing)
{
    TemporaryFolder home;
    const auto file = home.get().getChildFile ("out.wav");
    EXPECT_FALSE (writeWavFile (file, {}, 48000));
    EXPECT_FALSE (writeWavFile (file, { { 1.0f } }, 0));
    EXPECT_FALSE (file.exists());
}

} // namespace brindle::test
