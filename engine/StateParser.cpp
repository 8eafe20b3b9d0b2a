#include "StateParser.h"

#include "common/JsonReader.h"

namespace brindle
{

namespace
{
    // Values go through the framework's own conversions: a missing key or null reads as 0, the
    // empty text or false; a text holding a number reads as that number; true reads as 1.

    BandType bandTypeFor (const juce::String& text)
    {
        if (text == "lowshelf")  return BandType::lowShelf;
        if (text == "highshelf") return BandType::highShelf;
        if (text == "lowpass")   return BandType::lowPass;
        if (text == "highpass")  return BandType::highPass;
        if (text == "bandpass")  return BandType::bandPass;
        return BandType::bell;
    }

    FirQuality firQualityFor (const juce::String& text)
    {
        if (text == "low")  return FirQuality::low;
        if (text == "high") return FirQuality::high;
        return FirQuality::medium;
    }

    bool isSwitchedOff (const juce::DynamicObject& band)
    {
        return band.hasProperty ("on") && ! static_cast<bool> (readProperty (band, "on"));
    }

    CorrectionBand readBand (const juce::DynamicObject& object)
    {
        CorrectionBand band;
        const auto stereo = readProperty (object, "stereo").toString();

        band.freqHz = readProperty (object, "freqHz");
        band.gainDb = readProperty (object, "gainDb");
        band.q = readProperty (object, "q");
        band.type = bandTypeFor (readProperty (object, "type").toString());
        band.left = stereo != "right";
        band.right = stereo != "left";
        return band;
    }

    void readBands (const juce::Array<juce::var>& list, CorrectionState& state)
    {
        for (const auto& element : list)
        {
            if (state.bandCount == CorrectionState::maxBands)
                break;

            const auto* object = element.getDynamicObject();

            if (object == nullptr || isSwitchedOff (*object))
                continue;

            state.bands[(size_t) state.bandCount++] = readBand (*object);
        }
    }

    void readGlobals (const juce::DynamicObject& object, CorrectionState& state)
    {
        // "correctionPct" gates the amount, the delays, the output and bypass: a state written
        // without it keeps all five at their defaults.
        if (object.hasProperty ("correctionPct"))
        {
            state.correctionPct = readProperty (object, "correctionPct");
            state.delayLeftMs = readProperty (object, "delayLeftMs");
            state.delayRightMs = readProperty (object, "delayRightMs");
            state.outputDb = readProperty (object, "outputDb");
            state.bypass = readProperty (object, "bypass");
        }

        if (object.hasProperty ("safeHeadroom"))
            state.safeHeadroom = readProperty (object, "safeHeadroom");

        if (object.hasProperty ("phaseMode"))
            state.phaseMode = readProperty (object, "phaseMode").toString() == "linear" ? PhaseMode::linear : PhaseMode::minimum;

        if (object.hasProperty ("firQuality"))
            state.firQuality = firQualityFor (readProperty (object, "firQuality").toString());
    }

    StateParseResult failure (const juce::String& error)
    {
        StateParseResult result;
        result.error = error;
        return result;
    }
}

juce::var readProperty (const juce::DynamicObject& object, const juce::Identifier& key)
{
    return readMember (object, key);
}

StateParseResult CorrectionState::fromJson (const juce::String& text)
{
    // No text at all is no state rather than bad JSON.
    if (! text.containsNonWhitespaceChars())
        return fromVar ({});

    juce::var parsed;
    const auto outcome = parseJson (text, parsed);

    if (outcome.failed())
        return failure ("could not parse the state: " + outcome.getErrorMessage());

    return fromVar (parsed);
}

StateParseResult CorrectionState::fromVar (const juce::var& value)
{
    const auto* object = value.getDynamicObject();

    if (object == nullptr)
        return failure ("state is not an object");

    const auto bands = readProperty (*object, "bands");

    if (! bands.isArray())
        return failure ("state has no bands array");

    CorrectionState state;
    readBands (*bands.getArray(), state);
    readGlobals (*object, state);

    StateParseResult result;
    result.state = CorrectionState::sanitized (state);
    result.ok = true;
    return result;
}

} // namespace brindle
