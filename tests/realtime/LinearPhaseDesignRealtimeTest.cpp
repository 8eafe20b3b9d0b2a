#include "RealtimeGuard.h"

#include "engine/FirLength.h"
#include "engine/LinearPhaseDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace brindle::test
{

// The designer may allocate, but a prepared design has no need to: its scratch is sized for
// the longest kernel, and changing tier or rate only rebuilds the transform's tables in place.
TEST (LinearPhaseDesignRealtime, APreparedDesignAllocatesNothingAcrossTiersAndRates)
{
    CorrectionState state;
    for (int j = 0; j < 24; ++j)
    {
        auto& band = state.bands[(size_t) state.bandCount++];
        band.freqHz = 30 * std::pow (1.3, j);
        band.gainDb = j % 2 ? -3 : 2;
        band.q = 1 + j % 3;
        band.right = j != 5;
    }

    LinearPhaseDesign designer;
    designer.prepare();
    std::vector<double> left (LinearPhaseDesign::longestKernel), right (LinearPhaseDesign::longestKernel);
    const LinearPhaseDesign::ExitTest never = [] { return false; };

    const RealtimeGuard guard;

    for (double rate : { 44100.0, 192000.0, 96000.0 })
        for (auto quality : { FirQuality::low, FirQuality::high, FirQuality::medium })
            EXPECT_EQ (designer.design (state, rate, firLengthFor (quality, rate), left.data(), right.data(), never),
                       LinearPhaseDesign::Outcome::designed);

    EXPECT_EQ (guard.allocations(), 0u);
    EXPECT_EQ (guard.locks(), 0u);
}

} // namespace brindle::test
