#include "StateTripleBuffer.h"

namespace brindle
{

void StateTripleBuffer::publish (const CorrectionState& state) noexcept
{
    auto current = index.load();

    // Only the writer moves the back slot, so it cannot change while we fill it.
    slots[current & backMask] = state;

    for (;;)
    {
        const auto next = static_cast<std::uint8_t> (((current << 2) & middleMask)    // back becomes middle
                                                     | ((current >> 2) & backMask)    // middle becomes back
                                                     | freshBit
                                                     | (current & frontMask));

        // Release on success orders the copy above before the hand-over; a failure only means
        // the reader has just swapped front and middle.
        if (index.compare_exchange_weak (current, next))
            return;
    }
}

bool StateTripleBuffer::takeLatest (CorrectionState& out) noexcept
{
    auto current = index.load();

    if ((current & freshBit) == 0)
        return false;

    std::uint8_t next = 0;

    for (;;)
    {
        // Only the reader clears the fresh bit, so it need not be tested again after a failure.
        next = static_cast<std::uint8_t> (((current >> 2) & middleMask)       // front becomes middle
                                          | ((current & middleMask) << 2)     // middle becomes front
                                          | (current & backMask));

        if (index.compare_exchange_weak (current, next))
            break;
    }

    // Acquire on success: the writer's copy into this slot is visible now.
    out = slots[static_cast<std::size_t> (next >> 4)];
    return true;
}

} // namespace brindle
