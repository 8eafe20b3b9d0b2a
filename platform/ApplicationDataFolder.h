#pragma once

#include <juce_core/juce_core.h>

#include <optional>

namespace brindle
{

/** Where the user's per-application configuration lives: the folder that holds the program's
    settings folder (and, on Linux, the autostart folder). The folder may not exist yet.

    Threading: implementations are stateless readers of the environment; any thread. */
class ApplicationDataFolder
{
public:
    virtual ~ApplicationDataFolder() = default;

    /** The folder, or nothing when the system names none; then nothing is to be written. */
    virtual std::optional<juce::File> locate() const = 0;
};

} // namespace brindle
