#pragma once

#include "platform/ApplicationDataFolder.h"

namespace brindle
{

/** A folder layer for tests: names the folder it was given, or none.

    Threading: immutable after construction; any thread. */
class FakeApplicationDataFolder final : public ApplicationDataFolder
{
public:
    explicit FakeApplicationDataFolder (std::optional<juce::File> folderToName)
        : folder (std::move (folderToName))
    {
    }

    std::optional<juce::File> locate() const override
    {
        return folder;
    }

private:
    std::optional<juce::File> folder;
};

} // namespace brindle
