#pragma once

#include "CorrectionState.h"

namespace brindle
{

/** One second-order section, already divided by a0:
    y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2]. */
struct BiquadCoefficients
{
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

/** The section for a band, by the Audio EQ Cookbook formulas (shelves in their Q form), the
    same formulas the page draws its curves with. Pure, clamps nothing: callers put the
    frequency and Q through the design clamp first. The gain is used by bells and shelves only;
    a type outside 1..5 is designed as a bell. */
BiquadCoefficients designBiquad (BandType type, double freqHz, double sampleRate, double q, double gainDb) noexcept;

/** The design clamp: at most 0.49 of the sample rate, at least 1 Hz. */
double clampDesignFrequency (double freqHz, double sampleRate) noexcept;

/** The design clamp: Q between 0.05 and 40. */
double clampDesignQ (double q) noexcept;

/** The cosines and sines of w and 2w at one normalised angular frequency w = 2 pi f / fs, worked
    out once and shared by every section evaluated there. */
struct FrequencyPoint
{
    double c1, s1, c2, s2;

    static FrequencyPoint at (double w) noexcept;
};

/** Magnitude in dB of a section at the normalised angular frequency w = 2 pi f / fs. */
double magnitudeDbAt (const BiquadCoefficients& section, double w) noexcept;
double magnitudeDbAt (const BiquadCoefficients& section, const FrequencyPoint& point) noexcept;

} // namespace brindle
