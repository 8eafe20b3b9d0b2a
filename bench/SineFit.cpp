#include "SineFit.h"

#include <cmath>

namespace brindle::bench
{

namespace
{
    constexpr double pi = 3.141592653589793;

    // Solves the 3 x 3 system m c = v by Gaussian elimination (the normal equations are
    // symmetric and well conditioned over many cycles).
    void solve3 (double m[3][3], double v[3], double c[3])
    {
        for (int col = 0; col < 3; ++col)
            for (int row = col + 1; row < 3; ++row)
            {
                const double f = m[row][col] / m[col][col];
                for (int j = col; j < 3; ++j)
                    m[row][j] -= f * m[col][j];
                v[row] -= f * v[col];
            }

        for (int row = 2; row >= 0; --row)
        {
            double s = v[row];
            for (int j = row + 1; j < 3; ++j)
                s -= m[row][j] * c[j];
            c[row] = s / m[row][row];
        }
    }
}

SineFit fitSine (const std::vector<float>& signal, std::size_t first, std::size_t count, double cyclesPerSample)
{
    double m[3][3] {}, v[3] {}, c[3] {};

    for (std::size_t n = first; n < first + count; ++n)
    {
        const double w = 2.0 * pi * cyclesPerSample * (double) n;
        const double basis[3] = { std::sin (w), std::cos (w), 1.0 };

        for (int i = 0; i < 3; ++i)
        {
            v[i] += basis[i] * signal[n];
            for (int j = 0; j < 3; ++j)
                m[i][j] += basis[i] * basis[j];
        }
    }

    solve3 (m, v, c);

    double signalPower = 0.0, residualPower = 0.0;

    for (std::size_t n = first; n < first + count; ++n)
    {
        const double w = 2.0 * pi * cyclesPerSample * (double) n;
        const double sine = c[0] * std::sin (w) + c[1] * std::cos (w);
        const double residual = signal[n] - sine - c[2];
        signalPower += sine * sine;
        residualPower += residual * residual;
    }

    return { std::hypot (c[0], c[1]), 10.0 * std::log10 (signalPower / residualPower) };
}

} // namespace brindle::bench
