#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace brindle
{

/** Writes channels of samples as a 32-bit float WAV file (the simulated speakers' recording).
    Replaces the file only once it is whole. Returns whether it was written.
    Threading: any thread but the audio thread (it allocates and does file I/O). */
bool writeWavFile (const juce::File& file, const std::vector<std::vector<float>>& channels, double sampleRate);

} // namespace brindle
