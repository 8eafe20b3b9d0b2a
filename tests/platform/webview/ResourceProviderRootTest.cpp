#include "platform/webview/ResourceProviderRoot.h"

#include <gtest/gtest.h>

namespace brindle
{

TEST (ResourceProviderRoot, OnlyAddressesOfTheRootsHostAreUnderIt)
{
    const struct { const char* uri; bool under; } cases[] = {
        { "duzezavure://console/", true },
        { "duzezavure://console/?host=duzezavure", true },
        { "duzezavure://console/plugin.js?v=1", true },
        { "duzezavure://console", false },
        { "duzezavure://consoles/", false },
        { "duzezavure://console.example/", false },
        { "duzezavure://CONSOLE/", false },
        { "duzezavure://other/console/", false },
        { "https://console/", false },
        { "about:blank", false },
        { "data:text/html,duzezavure://console/", false },
        { "", false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (isUnderResourceProviderRoot (c.uri), c.under) << c.uri;
}

TEST (ResourceProviderRoot, TheRequestPathKeepsTheQueryAndDropsTheFragment)
{
    const struct { const char* uri; const char* path; } cases[] = {
        { "duzezavure://console/", "/" },
        { "duzezavure://console/?host=duzezavure", "/?host=duzezavure" },
        { "duzezavure://console/plugin.js?v=cce787c1e8ed", "/plugin.js?v=cce787c1e8ed" },
        { "duzezavure://console/js/plugin.js", "/js/plugin.js" },
        { "duzezavure://console/index.html#bands", "/index.html" },
        { "duzezavure://console/a?b=1#c", "/a?b=1" },
        { "duzezavure://consoles/index.html", "" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (getResourceRequestPath (c.uri), c.path) << c.uri;
}

} // namespace brindle
