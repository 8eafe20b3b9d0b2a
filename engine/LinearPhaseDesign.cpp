#include "LinearPhaseDesign.h"

#include "FirLength.h"

#include <algorithm>
#include <cmath>

namespace brindle
{

namespace
{
    constexpr double pi = 3.141592653589793;

    // How many frequencies are sampled between two questions to the exit test.
    constexpr int binsPerExitCheck = 4096;

    bool toldToExit (const LinearPhaseDesign::ExitTest& shouldExit)
    {
        return shouldExit && shouldExit();
    }

    int log2Of (int powerOfTwo) noexcept
    {
        int order = 0;
        while ((1 << order) < powerOfTwo)
            ++order;
        return order;
    }
}

int LinearPhaseDesign::transformSizeFor (int taps) noexcept
{
    int points = 4;
    while (points < 4 * taps)
        points *= 2;
    return points;
}

void LinearPhaseDesign::prepare()
{
    const int points = transformSizeFor (longestKernel);
    re.assign ((size_t) points, 0.0);
    im.assign ((size_t) points, 0.0);
    fft.prepare (log2Of (points));
}

void LinearPhaseDesign::useTransformOfSize (int points)
{
    if ((int) re.size() < points)
    {
        re.resize ((size_t) points);
        im.resize ((size_t) points);
    }

    if (fft.getSize() != points)
        fft.prepare (log2Of (points));
}

LinearPhaseDesign::Outcome LinearPhaseDesign::design (const CorrectionState& state, double sampleRate, int taps,
                                                      double* left, double* right, const ExitTest& shouldExit)
{
    const bool lengthTaken = taps >= firBlockSize && taps <= longestKernel && taps % firBlockSize == 0;

    if (! lengthTaken || ! (std::isfinite (sampleRate) && sampleRate > 0.0) || left == nullptr || right == nullptr)
        return Outcome::refused;

    const auto leftBands = ChannelSections::of (state, Channel::left, sampleRate);
    const auto rightBands = ChannelSections::of (state, Channel::right, sampleRate);

    if (! designChannel (leftBands, taps, left, shouldExit))
        return Outcome::abandoned;

    if (toldToExit (shouldExit))
        return Outcome::abandoned;

    // Equal sections give the same kernel to the last bit, so it is not designed twice.
    if (rightBands.sameAs (leftBands))
        std::copy (left, left + taps, right);
    else if (! designChannel (rightBands, taps, right, shouldExit))
        return Outcome::abandoned;

    return Outcome::designed;
}

bool LinearPhaseDesign::designChannel (const ChannelSections& bands, int taps, double* kernel, const ExitTest& shouldExit)
{
    const int points = transformSizeFor (taps);
    useTransformOfSize (points);

    if (! sampleSpectrum (bands, points, shouldExit) || toldToExit (shouldExit))
        return false;

    // The inverse transform from the forward one: conjugate, transform, conjugate and scale.
    // Only the real part is read afterwards, so only it is scaled (in centreAndTaper).
    for (int i = 0; i < points; ++i)
        im[(size_t) i] = -im[(size_t) i];

    if (! fft.forward (re.data(), im.data(), shouldExit))
        return false;

    centreAndTaper (taps, points, kernel);
    return true;
}

bool LinearPhaseDesign::sampleSpectrum (const ChannelSections& bands, int points, const ExitTest& shouldExit)
{
    const int half = points / 2;
    const int quarter = points / 4;
    const double* cosines = fft.getCosTable().data();
    const double* sines = fft.getSinTable().data();

    std::fill (im.begin(), im.begin() + points, 0.0);

    for (int first = 0; first < half; first += binsPerBlock)
    {
        if (first % binsPerExitCheck == 0 && toldToExit (shouldExit))
            return false;

        const int count = std::min (binsPerBlock, half - first);

        // Bin i lies at w = 2 pi i / points, whose twiddle is e^(-jw); e^(-2jw) is the twiddle
        // of 2i, which past the table's half turn is minus the twiddle of 2i - half.
        for (int j = 0; j < count; ++j)
        {
            const int i = first + j;
            const bool inTable = i < quarter;
            const int twice = inTable ? 2 * i : 2 * i - half;
            const double sign = inTable ? 1.0 : -1.0;

            cos1[(size_t) j] = cosines[i];
            sin1[(size_t) j] = sines[i];
            cos2[(size_t) j] = sign * cosines[twice];
            sin2[(size_t) j] = sign * sines[twice];
            power[(size_t) j] = 1.0;
        }

        for (int s = 0; s < bands.count; ++s)
        {
            // Locals, so that the loop over the block keeps them in registers.
            const auto [b0, b1, b2, a1, a2] = bands.sections[(size_t) s];

            for (int j = 0; j < count; ++j)
            {
                // The twiddles' sines are those of -w and -2w, so these are the imaginary
                // parts of N(e^jw) and D(e^jw) with their own signs.
                const double nRe = b0 + b1 * cos1[(size_t) j] + b2 * cos2[(size_t) j];
                const double nIm = b1 * sin1[(size_t) j] + b2 * sin2[(size_t) j];
                const double dRe = 1.0 + a1 * cos1[(size_t) j] + a2 * cos2[(size_t) j];
                const double dIm = a1 * sin1[(size_t) j] + a2 * sin2[(size_t) j];

                power[(size_t) j] *= (nRe * nRe + nIm * nIm) / (dRe * dRe + dIm * dIm);
            }
        }

        for (int j = 0; j < count; ++j)
        {
            const int i = first + j;
            const double magnitude = std::sqrt (power[(size_t) j]);

            re[(size_t) i] = magnitude;
            if (i > 0)
                re[(size_t) (points - i)] = magnitude;
        }
    }

    // The Nyquist bin is left out: a real kernel cannot give it a phase other than 0 or pi.
    re[(size_t) half] = 0.0;
    return true;
}

void LinearPhaseDesign::centreAndTaper (int taps, int points, double* kernel) const noexcept
{
    const int centre = taps / 2;
    const double scale = 1.0 / points;
    const double last = taps - 1;
    const double edge = last * 0.25 * 0.5;

    for (int n = 0; n < taps; ++n)
    {
        // The zero-phase response is centred on tap L/2; its negative times wrap from the end.
        const int source = n >= centre ? n - centre : n - centre + points;
        double tap = re[(size_t) source] * scale;

        if (n < edge)
            tap *= 0.5 * (1.0 + std::cos (pi * (n / edge - 1.0)));
        else if (n > last - edge)
            tap *= 0.5 * (1.0 + std::cos (pi * (n - (last - edge)) / edge));

        kernel[n] = tap;
    }
}

void fillIdentityKernel (double* taps, int length) noexcept
{
    std::fill (taps, taps + length, 0.0);

    if (length > 0)
        taps[length / 2] = 1.0;
}

} // namespace brindle
