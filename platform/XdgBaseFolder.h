#pragma once

#include <juce_core/juce_core.h>

#include <optional>

namespace brindle
{

/** One of the XDG base folders: the environment variable `variable` ("XDG_CONFIG_HOME") when
    it holds an absolute path, otherwise `underHome` (".config") in the home folder ($HOME when
    absolute, else the password database's entry); nothing when neither gives an absolute
    path. The folder may not exist yet.

    Threading: any thread; reads the environment each time (no caching, so a test can point it
    at a temporary folder). */
std::optional<juce::File> locateXdgBaseFolder (const char* variable, const char* underHome);

} // namespace brindle
