#pragma once

#include <juce_core/juce_core.h>

#include <array>

namespace brindle
{

/** The web sites the console may open in the browser: the download pages of the two loopback
    drivers the page recommends, each bare and with "www.". */
inline constexpr std::array<const char*, 4> vendorHosts {
    "vb-audio.com",
    "www.vb-audio.com",
    "existential.audio",
    "www.existential.audio",
};

/** Whether the page may have `url` opened in the browser: "http://" or "https://" (any letter
    case), then an authority of a vendor host (any letter case) with at most a port of one to
    five digits, then nothing or a path, query or fragment. An authority holding user
    information ("@"), a backslash, white space, a control character or anything beyond ASCII
    never passes, so an address that only begins with a vendor's name cannot lead elsewhere.
    Threading: pure; any thread. */
bool isAllowedVendorLink (const juce::String& url);

} // namespace brindle
