#include "XdgConfigFolder.h"

#include "XdgBaseFolder.h"

namespace brindle
{

std::optional<juce::File> XdgConfigFolder::locate() const
{
    return locateXdgBaseFolder ("XDG_CONFIG_HOME", ".config");
}

} // namespace brindle
