#pragma once

#include "SingleInstance.h"

#include <atomic>
#include <memory>
#include <thread>

namespace brindle
{

/** The Linux single instance: an exclusive lock on a file in a folder only this user can
    reach ($XDG_RUNTIME_DIR/tonwell-duzezavure, else ~/.cache/tonwell-duzezavure, else a 0700
    folder of its own in /tmp), and a Unix socket beside it on which the running instance
    hears later starts. Where no such folder can be made, or its file system cannot lock, the
    program runs rather than refusing to start.

    A lock, unlike the mere presence of a file, goes with the process: a crashed instance never
    blocks the next start.

    Threading: acquire(), handOver() and the destructor on the message thread; one listening
    thread of its own while this is the running instance, which passes what it hears to the
    message thread. */
class UserSocketSingleInstance final : public SingleInstance
{
public:
    /** Uses `folder` for the lock and the socket; by default the per-user folder above. */
    explicit UserSocketSingleInstance (juce::File folder = defaultFolder());
    ~UserSocketSingleInstance() override;

    bool acquire() override;
    bool handOver (const juce::String& commandLine) override;

    /** $XDG_RUNTIME_DIR/tonwell-duzezavure, else ~/.cache/tonwell-duzezavure, else
        /tmp/tonwell-duzezavure-<uid>. */
    static juce::File defaultFolder();

private:
    void listen();
    void deliver (const juce::String& commandLine);

    juce::File folder;
    int lockFd = -1;
    int listenFd = -1;
    std::thread listener;
    std::atomic<bool> stopping { false };

    // Outlives this object in any message already posted, so a late delivery is dropped.
    std::shared_ptr<std::atomic<UserSocketSingleInstance*>> alive;
};

} // namespace brindle
