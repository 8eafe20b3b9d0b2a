#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <memory>

namespace brindle
{

/** A 32-bit float WAV file written as it grows (the simulated speakers' recording): after
    every append the header's lengths describe what is in the file, so a reader that opens it
    at any moment finds a whole WAV file.

    Threading: one thread at a time, never the audio thread (it allocates and does file I/O). */
class WavFileWriter
{
public:
    /** Replaces `file` with an empty recording of `numChannels` channels at `sampleRate`.
        isOpen() tells whether that worked; a writer that is not open writes nothing. */
    WavFileWriter (const juce::File& file, int numChannels, double sampleRate);

    bool isOpen() const noexcept { return out != nullptr; }
    int getNumChannels() const noexcept { return channels; }
    std::int64_t getFramesWritten() const noexcept { return frames; }

    /** Appends `numFrames` frames; channels beyond those given are silent. Returns whether they
        were written. */
    bool append (const float* const* source, int numSourceChannels, int numFrames);

    /** Appends `numFrames` frames of silence. */
    bool appendSilence (std::int64_t numFrames);

private:
    bool finishAppend();

    const int channels;
    std::unique_ptr<juce::FileOutputStream> out;
    std::int64_t frames = 0;
};

} // namespace brindle
