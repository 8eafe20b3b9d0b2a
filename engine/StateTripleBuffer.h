#pragma once

#include "CorrectionState.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace brindle
{

/** Hands the newest CorrectionState from one writer thread to one reader thread, with no lock,
    no allocation and no waiting on either side. States published between two takes are
    overwritten: the reader always gets the most recent complete one.

    The three slots play three roles, named by the bits of `index`:
      bits 0-1 back    the slot the writer fills next (writer only)
      bits 2-3 middle  the slot that changes hands; the last published state when fresh
      bits 4-5 front   the slot the reader copies out (reader only)
      bit  6   fresh   a state was published since the last take
    The roles are always three different slots, so the two sides never touch the same one, and
    `index` is only ever changed by compare-exchange.

    Threading: exactly one thread calls publish() and exactly one (other) thread calls
    takeLatest(); each side may be any thread, the audio thread included. */
class StateTripleBuffer
{
public:
    /** All three slots hold the default state; back 0, middle 1, front 2, nothing fresh. */
    StateTripleBuffer() noexcept = default;

    /** [writer] Copies the state into the back slot and swaps it into the middle, fresh. */
    void publish (const CorrectionState& state) noexcept;

    /** [reader] When a state was published since the last take, copies the newest one into
        `out` and returns true; otherwise returns false and leaves `out` unchanged. */
    bool takeLatest (CorrectionState& out) noexcept;

    /** The raw role bits, for diagnostics and tests. */
    std::uint8_t indexBits() const noexcept { return index.load(); }

private:
    static constexpr std::uint8_t backMask = 0x03;
    static constexpr std::uint8_t middleMask = 0x0C;
    static constexpr std::uint8_t frontMask = 0x30;
    static constexpr std::uint8_t freshBit = 0x40;

    std::array<CorrectionState, 3> slots {};
    std::atomic<std::uint8_t> index { 0x24 };
};

} // namespace brindle
