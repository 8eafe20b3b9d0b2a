#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** Makes `folder` a folder that only this user can reach: made with mode 0700 when missing
    (and so are its missing parents, as the XDG rules ask of folders made to write in); an
    existing one of this user's that others could reach is narrowed to 0700. Refused, and left
    as it is: a symbolic link (whoever could put it there chose where it points), anything that
    is not a folder, and a folder that belongs to someone else. The failure says why, for a
    person to read.

    Threading: any thread. */
juce::Result makePrivateFolder (const juce::File& folder);

} // namespace brindle
