#pragma once

#include <array>
#include <cstdint>
#include <type_traits>

namespace juce
{
class String;
class var;
}

namespace brindle
{

struct StateParseResult;

/** Filter shape of one band. Values outside 0..5 can reach the record from outside (a parsed
    number, a corrupted copy); sanitising turns them into `bell`. */
enum class BandType : std::int32_t
{
    bell = 0,
    lowShelf = 1,
    highShelf = 2,
    lowPass = 3,   // gain not used
    highPass = 4,  // gain not used
    bandPass = 5,  // 0 dB at its peak; gain not used
};

/** How the correction is realised: a biquad cascade or a linear-phase FIR. */
enum class PhaseMode : std::int32_t
{
    minimum = 0,
    linear = 1,
};

/** FIR length tier of the linear-phase path. */
enum class FirQuality : std::int32_t
{
    low = 0,
    medium = 1,
    high = 2,
};

/** One equaliser band as the engine holds it. */
struct CorrectionBand
{
    double freqHz = 1000.0;       // centre of a bell or band-pass, midpoint of a shelf, cut-off of a pass
    double gainDb = 0.0;          // at full strength; `correctionPct` scales it when applied
    double q = 1.0;
    BandType type = BandType::bell;
    bool left = true;             // acts on the left channel
    bool right = true;            // acts on the right channel
};

/** The engine's form of a correction.

    Fixed-size plain data: no text, no pointer, no heap. It is always copied whole, as bytes,
    which is what lets the audio thread take, copy, sanitise and apply a state without touching
    the heap. Slots at or past `bandCount` are carried but never read.

    Thread safety: a value. Each thread works on its own copy; states cross threads only through
    a StateTripleBuffer. */
struct CorrectionState
{
    static constexpr int maxBands = 24;

    std::array<CorrectionBand, maxBands> bands {};
    std::int32_t bandCount = 0;       // 0..24 slots in use, in the order of the page's band list
    double correctionPct = 100.0;     // 0..100; a state read without an amount keeps 100
    double delayLeftMs = 0.0;         // 0..20
    double delayRightMs = 0.0;        // 0..20
    double outputDb = 0.0;            // -24..12
    bool safeHeadroom = true;
    bool bypass = false;
    PhaseMode phaseMode = PhaseMode::minimum;
    FirQuality firQuality = FirQuality::medium;

    /** The clamped copy of a state: non-finite values take their field's fallback, numbers are
        clamped to their ranges, unknown enumerations take `bell`, `minimum` and `medium`.
        Idempotent, pure, allocation-free: safe on every thread, the audio thread included. */
    static CorrectionState sanitized (CorrectionState state) noexcept;

    /** [message thread] Reads the JSON text of a state as the page sends it, through the
        common JSON reader: text it refuses (bad syntax, a top level that is no object or array,
        too deep or too long) gives "could not parse the state: " and its reason; empty text
        gives "state is not an object". Allocates, so it never runs on the audio thread. */
    static StateParseResult fromJson (const juce::String& text);

    /** [message thread] Reads a parsed JSON value as a state. */
    static StateParseResult fromVar (const juce::var& value);
};

static_assert (std::is_trivially_copyable_v<CorrectionBand>);
static_assert (std::is_trivially_copyable_v<CorrectionState>);
static_assert (std::is_standard_layout_v<CorrectionState>);

} // namespace brindle
