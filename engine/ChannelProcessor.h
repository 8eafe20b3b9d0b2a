#pragma once

#include "BiquadSection.h"
#include "CorrectionState.h"
#include "FractionalDelay.h"

#include <array>

namespace brindle
{

/** One channel of the CorrectionEngine: its speaker delay, its 24-section cascade and the
    parameters the sections are designed from (the values in force and their glided values).

    Threading: owned by the engine; prepared on the message thread while no device runs, used
    only by the device thread that runs the engine after that. */
struct ChannelProcessor
{
    static constexpr int slotCount = CorrectionState::maxBands;
    using PerSlot = std::array<double, slotCount>;

    std::array<BiquadSection, slotCount> sections {};

    PerSlot targetFreqHz {}, targetGainDb {}, targetQ {};
    PerSlot currentFreqHz {}, currentGainDb {}, currentQ {};
    std::array<BandType, slotCount> types {};   // not glided: a change of shape is immediate

    // How much of each section's output is used, 1 = all of it, 0 = the section is passed by.
    // Gain shapes reach 0 dB by their glide, but the pass shapes (low-, high-, band-pass) do
    // not depend on the gain: a pass slot that leaves force is faded out along this ramp
    // instead, so that bypass really bypasses and nothing clicks.
    PerSlot targetMix {}, currentMix {};

    FractionalDelay delay;
    double targetDelayMs = 0.0;
    double currentDelayMs = 0.0;

    ChannelProcessor() noexcept
    {
        targetMix.fill (1.0);
        currentMix.fill (1.0);
    }
};

} // namespace brindle
