#include "platform/webview/WebViewAutomation.h"

#include <gtest/gtest.h>

namespace brindle::test
{

// The door opens only on this machine's loopback interface, at a port: an address that would
// let another machine drive the console, or that names no port, opens nothing.
TEST (WebViewAutomation, OnlyALoopbackAddressWithAPortOpensTheDoor)
{
    struct Case { const char* requested; bool opens; };
    const Case cases[] = {
        { "127.0.0.1:4444", true },
        { "127.1.2.3:65535", true },
        { "127.0.0.1:1", true },
        { "", false },
        { "127.0.0.1", false },
        { "127.0.0.1:", false },
        { ":4444", false },
        { "127.0.0.1:0", false },
        { "127.0.0.1:65536", false },
        { "127.0.0.1:123456", false },
        { "127.0.0.1:44a4", false },
        { "127.0.0.1:-1", false },
        { "127.0.0.1:4444 ", false },
        { " 127.0.0.1:4444", false },
        { "0.0.0.0:4444", false },
        { "192.168.1.10:4444", false },
        { "localhost:4444", false },
        { "127.0.0.256:4444", false },
        { "127.0.0:4444", false },
        { "127.0.0.1.1:4444", false },
        { "[::1]:4444", false },
        { "127.0.0.1:4444:5555", false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (WebViewAutomation::addressFrom (c.requested), c.opens ? juce::String (c.requested) : juce::String())
            << "\"" << c.requested << "\"";
}

} // namespace brindle::test
