#pragma once

#include "engine/CorrectionState.h"

#include <cstring>

namespace brindle::test
{

/** Field-by-field equality that treats two NaNs with the same bits as equal, so that records
    carrying NaN in unused slots can still be compared. */
inline bool sameBits (double a, double b) { return std::memcmp (&a, &b, sizeof a) == 0; }

inline bool sameBand (const CorrectionBand& a, const CorrectionBand& b)
{
    return sameBits (a.freqHz, b.freqHz) && sameBits (a.gainDb, b.gainDb) && sameBits (a.q, b.q)
        && a.type == b.type && a.left == b.left && a.right == b.right;
}

inline bool sameState (const CorrectionState& a, const CorrectionState& b)
{
    for (size_t i = 0; i < a.bands.size(); ++i)
        if (! sameBand (a.bands[i], b.bands[i]))
            return false;

    return a.bandCount == b.bandCount && sameBits (a.correctionPct, b.correctionPct)
        && sameBits (a.delayLeftMs, b.delayLeftMs) && sameBits (a.delayRightMs, b.delayRightMs)
        && sameBits (a.outputDb, b.outputDb) && a.safeHeadroom == b.safeHeadroom && a.bypass == b.bypass
        && a.phaseMode == b.phaseMode && a.firQuality == b.firQuality;
}

} // namespace brindle::test
