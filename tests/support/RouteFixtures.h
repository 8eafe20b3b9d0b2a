#pragma once

#include "engine/AudioRoute.h"

#include <gtest/gtest.h>

namespace brindle::test
{

/** A route with these six fields. */
inline AudioRoute makeRoute (const juce::String& type, const juce::String& input, const juce::String& output,
                             double rateHz = 48000, int buffer = 480, int queueMs = 30)
{
    AudioRoute route;
    route.deviceType = type;
    route.inputDevice = input;
    route.outputDevice = output;
    route.sampleRate = rateHz;
    route.bufferSize = buffer;
    route.queueMs = queueMs;
    return route;
}

/** Each of the six route fields of `actual` equals that of `expected`. */
inline void expectSameRoute (const AudioRoute& actual, const AudioRoute& expected)
{
    EXPECT_EQ (actual.deviceType, expected.deviceType);
    EXPECT_EQ (actual.inputDevice, expected.inputDevice);
    EXPECT_EQ (actual.outputDevice, expected.outputDevice);
    EXPECT_EQ (actual.sampleRate, expected.sampleRate);
    EXPECT_EQ (actual.bufferSize, expected.bufferSize);
    EXPECT_EQ (actual.queueMs, expected.queueMs);
}

} // namespace brindle::test
