#include "engine/FirLength.h"

#include <gtest/gtest.h>

#include <cmath>

namespace brindle::test
{

TEST (FirLength, TiersScaleWithTheRateWithinTheirBounds)
{
    struct Case { double sampleRate; int low, medium, high; };
    const Case cases[] = {
        { 22050, 4096, 16384, 65536 },
        { 44100, 4096, 16384, 65536 },
        { 48000, 4096, 16384, 65536 },
        { 88200, 8192, 30720, 65536 },
        { 96000, 8192, 32768, 65536 },
        { 192000, 16384, 65536, 65536 },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (firLengthFor (FirQuality::low, c.sampleRate), c.low) << c.sampleRate;
        EXPECT_EQ (firLengthFor (FirQuality::medium, c.sampleRate), c.medium) << c.sampleRate;
        EXPECT_EQ (firLengthFor (FirQuality::high, c.sampleRate), c.high) << c.sampleRate;
    }
}

TEST (FirLength, TruncatesBeforeRoundingUpAndTreatsUnknownTiersAsMedium)
{
    EXPECT_EQ (firLengthFor (FirQuality::low, 60005.859375), 5120) << "a scaled length of 5120.5";
    EXPECT_EQ (firLengthFor (FirQuality::low, 60011.71875), 6144) << "a scaled length of 5121";
    EXPECT_EQ (firLengthFor (static_cast<FirQuality> (7), 48000), 16384);
    EXPECT_EQ (firLengthFor (static_cast<FirQuality> (-1), 96000), 32768);
    EXPECT_EQ (firLengthFor (FirQuality::high, std::nan ("")), 65536);
}

} // namespace brindle::test
