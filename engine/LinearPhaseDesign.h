#pragma once

#include "ChannelSections.h"
#include "CorrectionState.h"
#include "DoubleFft.h"

#include <array>
#include <functional>
#include <vector>

namespace brindle
{

/** Designs the linear-phase kernels of both channels: FIR filters whose magnitude is that of
    the channel's biquad cascade (its bands in force) and whose phase is linear, each kernel
    symmetric about its centre tap, half its length from the start.

    For a kernel of L taps the cascade's magnitude is sampled at the M/2 frequencies i fs / M,
    M the first power of two at least 4 L, with the Nyquist bin 0, as a real zero-phase
    spectrum; its inverse transform is moved so that its centre lands on tap L/2, and a Tukey
    taper brings the first and the last (L - 1)/8 taps down to 0 at the ends. Nothing
    normalises the result: the kernel's gain is the sampled magnitude.

    A high-tier design samples 131072 frequencies per channel, so the work per frequency is
    kept small: each band is designed once per design, the magnitude at a frequency is the
    square root of the product of the sections' power ratios (one root, not a logarithm per
    band), the angles' cosines and sines are the transform's own twiddles, and a right channel
    whose bands in force equal the left's takes the left's kernel.

    The kernels go into buffers the caller owns, one per channel, so that the caller decides
    when and where they are loaded.

    Threading: one design at a time per object, on the kernel designer thread or on the
    message thread while that thread is stopped; never on a device thread. prepare() allocates;
    after it design() allocates nothing and takes no lock: a change of tier or rate rebuilds the
    transform's tables within the room prepare() made. Without prepare() the first designs
    allocate their scratch. */
class LinearPhaseDesign
{
public:
    static constexpr int longestKernel = 65536;

    enum class Outcome
    {
        designed,    // both kernels are written
        abandoned,   // the exit test said stop; the buffers hold nothing usable
        refused,     // a length or a rate the design does not take; nothing was written
    };

    /** Asked between the channels, every few thousand frequencies and every few thousand
        butterflies of the transform; true abandons the design. An empty test never stops it. */
    using ExitTest = DoubleFft::ExitTest;

    /** [designer thread, or message thread while it is stopped] Sizes the scratch and the
        transform for kernels up to the longest length. */
    void prepare();

    /** Designs the kernels of `taps` taps for the bands in force in a (sanitised) state at a
        sample rate into left and right, each with room for `taps` values. The length must be
        a multiple of firBlockSize from firBlockSize to longestKernel. */
    Outcome design (const CorrectionState& state, double sampleRate, int taps,
                    double* left, double* right, const ExitTest& shouldExit = {});

    /** The transform size for a kernel length: the smallest power of two, from 4 up, that is at
        least four times the taps (16384 taps design on 65536 points). */
    static int transformSizeFor (int taps) noexcept;

private:
    bool designChannel (const ChannelSections& bands, int taps, double* kernel, const ExitTest& shouldExit);
    bool sampleSpectrum (const ChannelSections& bands, int points, const ExitTest& shouldExit);
    void centreAndTaper (int taps, int points, double* kernel) const noexcept;
    void useTransformOfSize (int points);

    static constexpr int binsPerBlock = 1024;

    DoubleFft fft;
    std::vector<double> re, im;

    // One block of frequencies: their angles' cosines and sines, and the running product of
    // the sections' power ratios there.
    std::array<double, binsPerBlock> cos1 {}, sin1 {}, cos2 {}, sin2 {}, power {};
};

/** The kernel of a pure delay: `length` taps, all 0 but tap length/2, which is 1. */
void fillIdentityKernel (double* taps, int length) noexcept;

} // namespace brindle
