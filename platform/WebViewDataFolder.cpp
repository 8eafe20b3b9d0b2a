#include "WebViewDataFolder.h"

#include "PrivateFolder.h"
#include "XdgBaseFolder.h"

namespace brindle
{

std::optional<juce::File> WebViewDataFolder::locate()
{
    if (const auto dataHome = locateXdgBaseFolder ("XDG_DATA_HOME", ".local/share"))
        return dataHome->getChildFile ("Tonwell").getChildFile ("duzezavure-web");

    return std::nullopt;
}

WebViewDataFolder WebViewDataFolder::prepare()
{
    const auto located = locate();

    if (! located.has_value())
        return { std::nullopt, "no data folder: neither XDG_DATA_HOME nor the home folder is an absolute path" };

    if (const auto made = makePrivateFolder (*located); made.failed())
        return { std::nullopt, made.getErrorMessage() };

    return { located, {} };
}

} // namespace brindle
