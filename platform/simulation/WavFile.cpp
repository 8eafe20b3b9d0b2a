#include "WavFile.h"

#include <algorithm>
#include <vector>

namespace brindle
{

namespace
{
    constexpr std::int64_t headerBytes = 44;
    constexpr std::int64_t riffSizeAt = 4;
    constexpr std::int64_t dataSizeAt = 40;

    void put32 (juce::OutputStream& out, std::uint32_t v) { out.writeInt ((int) v); }      // little-endian
    void put16 (juce::OutputStream& out, std::uint16_t v) { out.writeShort ((short) v); }

    void writeHeader (juce::OutputStream& out, int channels, double sampleRate)
    {
        const auto rate = (std::uint32_t) sampleRate;
        const auto frameBytes = (std::uint16_t) (channels * 4);

        out.write ("RIFF", 4);
        put32 (out, (std::uint32_t) (headerBytes - 8));
        out.write ("WAVE", 4);
        out.write ("fmt ", 4);
        put32 (out, 16);
        put16 (out, 3);                                  // IEEE float
        put16 (out, (std::uint16_t) channels);
        put32 (out, rate);
        put32 (out, rate * frameBytes);
        put16 (out, frameBytes);
        put16 (out, 32);
        out.write ("data", 4);
        put32 (out, 0);
    }
}

WavFileWriter::WavFileWriter (const juce::File& file, int numChannels, double sampleRate)
    : channels (std::max (1, numChannels))
{
    if (sampleRate <= 0 || file.isDirectory() || ! file.getParentDirectory().createDirectory() || ! file.deleteFile())
        return;

    auto stream = std::make_unique<juce::FileOutputStream> (file);

    if (! stream->openedOk())
        return;

    writeHeader (*stream, channels, sampleRate);
    stream->flush();

    if (! stream->getStatus().failed())
        out = std::move (stream);
}

bool WavFileWriter::append (const float* const* source, int numSourceChannels, int numFrames)
{
    if (out == nullptr || numFrames <= 0)
        return out != nullptr;

    std::vector<float> interleaved ((size_t) numFrames * (size_t) channels, 0.0f);

    for (int c = 0; c < std::min (channels, numSourceChannels); ++c)
        if (source[c] != nullptr)
            for (int f = 0; f < numFrames; ++f)
                interleaved[(size_t) f * (size_t) channels + (size_t) c] = source[c][f];

    for (auto sample : interleaved)
        out->writeFloat (sample);

    frames += numFrames;
    return finishAppend();
}

bool WavFileWriter::appendSilence (std::int64_t numFrames)
{
    if (out == nullptr || numFrames <= 0)
        return out != nullptr;

    for (std::int64_t i = 0; i < numFrames * channels; ++i)
        out->writeFloat (0.0f);

    frames += numFrames;
    return finishAppend();
}

bool WavFileWriter::finishAppend()
{
    // The lengths go in after the samples (a move hands what is buffered to the system), so a
    // reader never finds a length beyond them. Nothing is forced to the disk: a reader on this
    // machine sees what the system holds, and a sync at every append would load the disk.
    const auto dataBytes = (std::uint32_t) (frames * channels * 4);
    const auto end = out->getPosition();

    out->setPosition (riffSizeAt);
    put32 (*out, (std::uint32_t) (headerBytes - 8) + dataBytes);
    out->setPosition (dataSizeAt);
    put32 (*out, dataBytes);
    out->setPosition (end);

    if (out->getStatus().failed())
    {
        out.reset();
        return false;
    }

    return true;
}

} // namespace brindle
