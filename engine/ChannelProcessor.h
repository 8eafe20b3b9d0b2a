#pragma once

#include "BiquadSection.h"
#include "CorrectionState.h"
#include "FractionalDelay.h"
#include "KernelSlot.h"
#include "PartitionedConvolver.h"

#include <array>
#include <vector>

namespace brindle
{

/** One channel of the CorrectionEngine: its speaker delay, its 24-section cascade and the
    parameters the sections are designed from (the values in force and their glided values),
    and its linear-phase path: the convolver, the two kernel slots (the active one and the
    idle or incoming one) and the blocks and output ring between them.

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

    // Where the present process() call's glide step started, and what each section's
    // coefficients were last designed from: a section whose design is already that of the
    // values in force is not designed again.
    PerSlot startFreqHz {}, startGainDb {}, startQ {};
    PerSlot designedFreqHz {}, designedGainDb {}, designedQ {};
    std::array<BandType, slotCount> designedTypes {};

    // How much of each section's output is used, 1 = all of it, 0 = the section is passed by.
    // Gain shapes reach 0 dB by their glide, but the pass shapes (low-, high-, band-pass) do
    // not depend on the gain: a pass slot that leaves force is faded out along this ramp
    // instead, so that bypass really bypasses and nothing clicks.
    PerSlot targetMix {}, currentMix {};

    FractionalDelay delay;
    double targetDelayMs = 0.0;
    double currentDelayMs = 0.0;

    // The linear-phase path. Samples gather in inputBlock; each full block is convolved into
    // activeBlock (and, while a new kernel fades in, fadeBlock) and written to the ring that
    // the device block is read from. blockFill + ringPending stays one block.
    PartitionedConvolver convolver;
    std::array<KernelSlot, 2> kernelSlots {};
    std::vector<float> inputBlock, activeBlock, fadeBlock, outputRing;
    int blockFill = 0;
    int ringRead = 0;
    int ringPending = 0;

    // Samples the convolver has taken since the path last started from silence; its input
    // rises from 0 over the first few milliseconds, so the path starts without a step.
    int inputRampDone = 0;

    ChannelProcessor() noexcept
    {
        targetMix.fill (1.0);
        currentMix.fill (1.0);
    }
};

} // namespace brindle
