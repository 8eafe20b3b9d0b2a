#pragma once

#include "WavFile.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace brindle
{

/** What a simulated output plays, written to a WAV file as it plays, on the output's own
    clock: frame n of the file is the frame the device's clock numbers n, counted from the
    moment the simulated sound system was made. So the file's time is the simulation's time:
    what played before the device first started, and between a stop and the next start, is
    silence, and a reader can tell when each frame played (frame n at n / (rate x (1 + clock
    offset)) seconds) while the file grows.

    The file is made when the device first starts (a program that never plays leaves any file
    of that name alone) at that start's rate; a later start at another rate ends the recording,
    as does reaching `maxSeconds`. Frames that reach the recorder after an overlap (a restart
    renders what an earlier run had rendered ahead) keep what was written first.

    The stream thread puts frames into a ring indexed by clock frame (allocation-free, no lock);
    a writer thread of the recorder moves them to the file every 20 ms. Should the writer fall
    more than four seconds behind, the frames it lost are written as silence.

    Threading: prepareToStart(), streamStarts() and finish() on the message thread while the
    device's stream is stopped; append() on the stream thread; getFramesWritten() from any
    thread. */
class OutputRecorder
{
public:
    OutputRecorder (const juce::File& file, int numChannels, double maxSeconds);
    ~OutputRecorder();

    /** [message thread, stream stopped] The device is about to start at `sampleRate`: makes the
        file at the first start, writes what the last run left, ends the recording at another
        rate. It may take a while (file I/O), so the device calls it before it takes the time
        its stream starts at. */
    void prepareToStart (double sampleRate);

    /** [message thread, stream stopped] The stream's first block begins at clock frame
        `firstClockFrame`. No lock, no I/O. */
    void streamStarts (std::int64_t firstClockFrame) noexcept;

    /** [stream thread] Frames `clockFrame` onwards of the running stream. */
    void append (std::int64_t clockFrame, const float* const* channels, int numChannels, int numFrames) noexcept;

    /** [message thread] Writes what is left and closes the file; nothing is recorded after. */
    void finish();

    const juce::File& getFile() const noexcept { return file; }

    /** [any thread] Frames in the file so far. */
    std::int64_t getFramesWritten() const noexcept { return framesWritten.load (std::memory_order_acquire); }

private:
    void run();
    void drain();                 // with `lock` held
    void endRecording();          // with `lock` held

    const juce::File file;
    const int channels;
    const double maxSeconds;

    std::mutex lock;              // the writer thread against the message thread, never the stream
    std::condition_variable wake;
    std::unique_ptr<WavFileWriter> writer;
    double rate = 0.0;
    std::int64_t maxFrames = 0;
    std::int64_t capacity = 0;
    std::unique_ptr<std::atomic<float>[]> ring;     // channels x capacity, by clock frame
    std::vector<float> scratch;                     // channels x scratchFrames
    std::vector<const float*> scratchPointers;
    bool stopping = false;
    std::thread thread;

    std::atomic<bool> accepting { false };          // a file is open: a stream may start
    std::atomic<bool> recording { false };          // append() takes frames
    std::atomic<std::int64_t> runStart { 0 };       // the running stream's first frame
    std::atomic<std::int64_t> writtenTo { 0 };      // one past the last frame of the running stream
    std::atomic<std::int64_t> framesWritten { 0 };

    static constexpr int scratchFrames = 4096;

    OutputRecorder (const OutputRecorder&) = delete;
    OutputRecorder& operator= (const OutputRecorder&) = delete;
};

} // namespace brindle
