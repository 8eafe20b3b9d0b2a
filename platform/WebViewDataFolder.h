#pragma once

#include <juce_core/juce_core.h>

#include <optional>

namespace brindle
{

/** The one folder where the console's web view keeps what it keeps from one start to the next:
    the page's local storage (the console's zoom, the rooms the measuring application left)
    and, in "cache" inside it, the web engine's cache. It is "Tonwell/duzezavure-web" in the XDG
    data folder ($XDG_DATA_HOME, else ~/.local/share), not in the cache folder, which the user
    may empty at any time: what the page stores is the user's. Only this user can enter it
    (see makePrivateFolder).

    Whatever runs the web engine asks here, so that the choice is made in this one place.

    Threading: any thread; reads the environment each time. */
struct WebViewDataFolder
{
    std::optional<juce::File> folder;   // made and private; none: keep nothing
    juce::String problem;               // why there is none, for a person to read

    /** Where the folder is, made or not; nothing when the system names no data folder. */
    static std::optional<juce::File> locate();

    /** The folder made ready for use, or why it cannot be. */
    static WebViewDataFolder prepare();
};

} // namespace brindle
