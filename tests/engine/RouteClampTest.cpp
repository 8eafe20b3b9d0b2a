#include "engine/RouteClamp.h"

#include <gtest/gtest.h>

#include <limits>

namespace brindle::test
{

namespace
{
    constexpr auto nan = std::numeric_limits<double>::quiet_NaN();
    constexpr auto inf = std::numeric_limits<double>::infinity();
}

TEST (RouteClamp, EveryNumberLandsInItsRange)
{
    struct Case { double value; double sampleRateHz; int bufferSizeSamples; int queueMs; };
    const Case cases[] = {
        //   value     rate      buffer  queue
        {       0.0,   8000.0,       16,     5 },
        {      -3.0,   8000.0,       16,     5 },
        {       4.2,   8000.0,       16,     5 },
        {      15.5,   8000.0,       16,    15 },
        {      16.9,   8000.0,       16,    16 },
        {     256.0,   8000.0,      256,   256 },
        {     500.9,   8000.0,      500,   500 },
        {    8191.9,   8191.9,     8191,   500 },
        {    8192.7,   8192.7,     8192,   500 },
        {   10000.0,  10000.0,     8192,   500 },
        {   44100.5,  44100.5,     8192,   500 },
        {    1.0e6,  768000.0,     8192,   500 },
        {    1.0e7,  768000.0,     8192,   500 },  // a hand-edited queue of 1e7 ms
        {   1.0e300, 768000.0,     8192,   500 },
        {  -1.0e300,   8000.0,       16,     5 },
        { (double) std::numeric_limits<int>::max(), 768000.0, 8192, 500 },
        { (double) std::numeric_limits<int>::min(),   8000.0,   16,   5 },
        // Not a number at all: each takes the router's default.
        {       nan,  48000.0,      256,    30 },
        {       inf,  48000.0,      256,    30 },
        {      -inf,  48000.0,      256,    30 },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (clampSampleRateHz (c.value), c.sampleRateHz) << "value " << c.value;
        EXPECT_EQ (clampBufferSizeSamples (c.value), c.bufferSizeSamples) << "value " << c.value;
        EXPECT_EQ (clampQueueMs (c.value), c.queueMs) << "value " << c.value;
    }
}

TEST (RouteClamp, ARouteKeepsItsNamesAndGetsItsNumbersClamped)
{
    AudioRoute stored;
    stored.deviceType = "ALSA";
    stored.inputDevice = "Cable Output";
    stored.sampleRate = nan;
    stored.bufferSize = std::numeric_limits<int>::max();
    stored.queueMs = std::numeric_limits<int>::min();

    const auto clamped = clampRoute (stored);
    EXPECT_EQ (clamped.deviceType, "ALSA");
    EXPECT_EQ (clamped.inputDevice, "Cable Output");
    EXPECT_EQ (clamped.outputDevice, "") << "an empty output is not rejected here: audio start fills it in";
    EXPECT_EQ (clamped.sampleRate, 48000.0);
    EXPECT_EQ (clamped.bufferSize, 8192);
    EXPECT_EQ (clamped.queueMs, 5);

    const auto unchanged = clampRoute (AudioRoute {});
    EXPECT_EQ (unchanged.sampleRate, 48000.0);
    EXPECT_EQ (unchanged.bufferSize, 256);
    EXPECT_EQ (unchanged.queueMs, 30);
}

} // namespace brindle::test
