#pragma once

#include <cstddef>
#include <vector>

namespace brindle::bench
{

/** A sine of known frequency fitted to a signal by least squares (with an offset), and how far
    above what the fit leaves (noise and distortion) it stands. */
struct SineFit
{
    double amplitude = 0.0;
    double sinadDb = 0.0;
};

/** Fits over `count` samples from `first`; `cyclesPerSample` is the frequency over the rate. */
SineFit fitSine (const std::vector<float>& signal, std::size_t first, std::size_t count, double cyclesPerSample);

} // namespace brindle::bench
