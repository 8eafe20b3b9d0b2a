#include "VendorLink.h"

#include <cstring>
#include <optional>

namespace brindle
{

namespace
{
    // The text after "http://" or "https://", or nothing when the scheme is another.
    std::optional<juce::String> afterWebScheme (const juce::String& url)
    {
        for (const char* scheme : { "http://", "https://" })
            if (url.startsWithIgnoreCase (scheme))
                return url.substring ((int) std::strlen (scheme));

        return std::nullopt;
    }

    bool isPortOrNothing (const juce::String& afterHost)
    {
        if (afterHost.isEmpty())
            return true;

        const auto digits = afterHost.substring (1);
        return afterHost[0] == ':' && digits.length() >= 1 && digits.length() <= 5
            && digits.containsOnly ("0123456789");
    }
}

bool isAllowedVendorLink (const juce::String& url)
{
    const auto rest = afterWebScheme (url);

    if (! rest.has_value())
        return false;

    const auto authority = rest->upToFirstOccurrenceOf ("/", false, false)
                                .upToFirstOccurrenceOf ("?", false, false)
                                .upToFirstOccurrenceOf ("#", false, false);

    for (auto p = authority.getCharPointer(); ! p.isEmpty();)
    {
        // Printable ASCII only: a look-alike letter ("\u0130" for "I") would pass a Unicode
        // folding and then reach another host once the browser encodes it.
        const auto c = p.getAndAdvance();
        if (c == '@' || c == '\\' || c <= ' ' || c >= 0x7f)
            return false;
    }

    const auto host = authority.upToFirstOccurrenceOf (":", false, false).toLowerCase();

    if (! isPortOrNothing (authority.fromFirstOccurrenceOf (":", true, false)))
        return false;

    // The host is plain ASCII by now, so the framework's lower-casing is exact.
    for (const char* allowed : vendorHosts)
        if (host == allowed)
            return true;

    return false;
}

} // namespace brindle
