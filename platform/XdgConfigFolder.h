#pragma once

#include "ApplicationDataFolder.h"

namespace brindle
{

/** The XDG configuration folder: $XDG_CONFIG_HOME when it is an absolute path, otherwise
    ".config" in the home folder ($HOME when absolute, else the password database's entry);
    nothing when neither gives an absolute path.

    Threading: any thread; reads the environment each time (no caching, so a test can point it
    at a temporary folder). */
class XdgConfigFolder final : public ApplicationDataFolder
{
public:
    std::optional<juce::File> locate() const override;
};

} // namespace brindle
