#include "console/ResourceProvider.h"
#include "tests/console/PageFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace brindle::test
{

namespace
{
    std::string bytesOf (const WebResource& resource)
    {
        return { reinterpret_cast<const char*> (resource.data.data()), resource.data.size() };
    }
}

TEST (ResourceProvider, ServesARequestPathByThePlainFileNameOnly)
{
    struct Case { const char* path; const char* served; const char* mimeType; };
    const Case cases[] = {
        { "/",                          "index.html", "text/html" },
        { "/?host=duzezavure",          "index.html", "text/html" },
        { "/?x",                        "index.html", "text/html" },
        { "",                           "index.html", "text/html" },
        { "/index.html?",               "index.html", "text/html" },
        { "/plugin.js?v=cce787c1e8ed",  "plugin.js",  "text/javascript" },
        { "/app.css?v=cce787c1e8ed",    "app.css",    "text/css" },
        { "/plugin.css",                "plugin.css", "text/css" },
        { "/demo-profile.js?a?b",       "demo-profile.js", "text/javascript" },
        { "/Plugin.js",                 nullptr, nullptr },
        { "/Index.html",                nullptr, nullptr },
        { "/missing.js",                nullptr, nullptr },
        { "/js/plugin.js",              nullptr, nullptr },
        { "/ui/js/biquad.js",           nullptr, nullptr },
        { "/../index.html",             nullptr, nullptr },
        { "/%2e%2e/index.html",         nullptr, nullptr },
        { "//index.html",               nullptr, nullptr },
        { "/index.html/",               nullptr, nullptr },
        { "/plugin_js",                 nullptr, nullptr },
    };

    for (const auto& c : cases)
    {
        const auto resource = provideResource (c.path);

        if (c.served == nullptr)
        {
            EXPECT_FALSE (resource.has_value()) << "\"" << c.path << "\"";
            continue;
        }

        ASSERT_TRUE (resource.has_value()) << "\"" << c.path << "\"";
        EXPECT_EQ (resource->mimeType, c.mimeType) << "\"" << c.path << "\"";
        EXPECT_TRUE (bytesOf (*resource) == sourceBytesOf (c.served)) << "\"" << c.path << "\" is not " << c.served;
    }
}

TEST (ResourceProvider, ServesEveryPageFileAsStoredWithoutItsZeroByte)
{
    for (const auto& file : pageFiles)
    {
        const auto resource = provideResource (juce::String ("/") + file.fileName + "?v=cce787c1e8ed");
        ASSERT_TRUE (resource.has_value()) << file.fileName;
        EXPECT_TRUE (bytesOf (*resource) == sourceBytesOf (file.fileName)) << file.fileName;
        EXPECT_EQ (resource->mimeType, mimeTypeForName (file.fileName)) << file.fileName;
    }

    const auto appCss = provideResource ("/app.css");
    ASSERT_TRUE (appCss.has_value());
    EXPECT_NE (bytesOf (*appCss).find ("\r\n"), std::string::npos) << "served with its CR LF";
}

TEST (ResourceProvider, ChoosesTheMimeTypeByTheEndOfTheNameIgnoringCase)
{
    struct Case { const char* name; const char* mimeType; };
    const Case cases[] = {
        { "index.html", "text/html" },
        { "INDEX.HTML", "text/html" },
        { "app.css",    "text/css" },
        { "plugin.Js",  "text/javascript" },
        { "room.json",  "application/json" },
        { "logo.SVG",   "image/svg+xml" },
        { "tone.mp3",   "audio/mpeg" },
        { "page.htm",   "application/octet-stream" },
        { "plugin.js.map", "application/octet-stream" },
        { "html",       "application/octet-stream" },
        { "",           "application/octet-stream" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (mimeTypeForName (c.name), c.mimeType) << "\"" << c.name << "\"";
}

} // namespace brindle::test
