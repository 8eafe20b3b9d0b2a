#include "WavFile.h"

#include <cstdint>

namespace brindle
{

namespace
{
    void put32 (juce::OutputStream& out, std::uint32_t v) { out.writeInt ((int) v); }      // little-endian
    void put16 (juce::OutputStream& out, std::uint16_t v) { out.writeShort ((short) v); }
}

bool writeWavFile (const juce::File& file, const std::vector<std::vector<float>>& channels, double sampleRate)
{
    if (channels.empty() || sampleRate <= 0)
        return false;

    const auto numChannels = (std::uint16_t) channels.size();
    const auto frames = (std::uint32_t) channels.front().size();
    const std::uint32_t dataBytes = frames * numChannels * 4u;

    juce::TemporaryFile temporary (file);
    {
        juce::FileOutputStream out (temporary.getFile());
        if (! out.openedOk())
            return false;

        out.write ("RIFF", 4);
        put32 (out, 36u + dataBytes);
        out.write ("WAVE", 4);
        out.write ("fmt ", 4);
        put32 (out, 16);
        put16 (out, 3);                                  // IEEE float
        put16 (out, numChannels);
        put32 (out, (std::uint32_t) sampleRate);
        put32 (out, (std::uint32_t) sampleRate * numChannels * 4u);
        put16 (out, (std::uint16_t) (numChannels * 4));
        put16 (out, 32);
        out.write ("data", 4);
        put32 (out, dataBytes);

        for (std::uint32_t f = 0; f < frames; ++f)
            for (const auto& channel : channels)
                out.writeFloat (f < channel.size() ? channel[f] : 0.0f);

        out.flush();
        if (out.getStatus().failed())
            return false;
    }

    return temporary.overwriteTargetFileWithTemporary();
}

} // namespace brindle
