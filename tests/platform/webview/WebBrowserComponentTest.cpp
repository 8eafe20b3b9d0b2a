#include "FakeWebBrowserBackend.h"

#include "platform/webview/WebBrowserComponent.h"

#include <gtest/gtest.h>

namespace brindle
{

namespace
{
    WebBrowserComponent::Resource textResource (const juce::String& text, const juce::String& mimeType)
    {
        WebBrowserComponent::Resource resource;
        const auto* bytes = reinterpret_cast<const std::byte*> (text.toRawUTF8());
        resource.data.assign (bytes, bytes + text.getNumBytesAsUTF8());
        resource.mimeType = mimeType;
        return resource;
    }
}

TEST (WebBrowserComponent, PageEventsReachTheListenersOfTheirIdInTheOrderTheyWereAdded)
{
    juce::StringArray heard;
    FakeWebBrowserBackend* page = nullptr;

    WebBrowserComponent view (WebBrowserComponent::Options{}
                                  .withEventListener ("state", [&] (juce::var payload) { heard.add ("state 1: " + payload.toString()); })
                                  .withEventListener ("ready", [&] (juce::var) { heard.add ("ready"); })
                                  .withEventListener ("state", [&] (juce::var payload) { heard.add ("state 2: " + payload.toString()); })
                                  .withBackend (FakeWebBrowserBackend::factory (page)));
    ASSERT_NE (page, nullptr);

    page->postPageEvent ("state", "{\"bands\":[]}");
    page->postPageEvent ("ready");
    page->postPageEvent ("State", "other case");
    page->postPageEvent ("unknown", 1);

    EXPECT_EQ (heard, juce::StringArray ({ "state 1: {\"bands\":[]}", "state 2: {\"bands\":[]}", "ready" }));
}

TEST (WebBrowserComponent, AMalformedPageMessageReachesNoListener)
{
    int calls = 0;
    FakeWebBrowserBackend* page = nullptr;

    WebBrowserComponent view (WebBrowserComponent::Options{}
                                  .withEventListener ("ready", [&] (juce::var) { ++calls; })
                                  .withBackend (FakeWebBrowserBackend::factory (page)));

    for (const auto* text : { "ready", "{\"eventId\":\"ready\"", "[\"ready\"]", "{\"eventId\":1}" })
        page->postPageMessage (text);

    page->postPageMessage ("{\"eventId\": \"" + juce::String ("ready") + "\", \"payload\": "
                           + juce::String::repeatedString ("[", 100) + juce::String::repeatedString ("]", 100) + "}");

    EXPECT_EQ (calls, 0);

    page->postPageMessage ("{\"eventId\":\"ready\",\"payload\":{}}");
    EXPECT_EQ (calls, 1) << "the same listener takes a well-formed message";
}

TEST (WebBrowserComponent, EventsGoToThePageOnlyWhileItIsShowingAsSingleLineJson)
{
    FakeWebBrowserBackend* page = nullptr;
    WebBrowserComponent view (WebBrowserComponent::Options{}.withBackend (FakeWebBrowserBackend::factory (page)));

    auto meter = std::make_unique<juce::DynamicObject>();
    meter->setProperty ("running", true);
    meter->setProperty ("error", juce::String::fromUTF8 ("Caf\xc3\xa9 \xf0\x9f\x98\x80 \xe2\x80\xa8 \" \\ \x07"));
    const juce::var payload (meter.release());

    view.emitEventIfBrowserIsVisible ("meter", payload);
    EXPECT_TRUE (page->sent.empty()) << "dropped while not showing, not queued";
    EXPECT_FALSE (view.isBrowserShowing());

    page->setShowing (true);
    EXPECT_TRUE (view.isBrowserShowing());
    view.emitEventIfBrowserIsVisible ("meter", payload);
    view.emitEventIfBrowserIsVisible ("restore", "{\"bands\":[]}");

    ASSERT_EQ (page->sent.size(), 2u);
    EXPECT_EQ (page->sent[0].eventId, "meter");
    EXPECT_EQ (page->sent[0].json, juce::String::fromUTF8 ("{\"running\": true, \"error\": \"Caf\xc3\xa9 \xf0\x9f\x98\x80 \xe2\x80\xa8 \\\" \\\\ \\u0007\"}"));
    EXPECT_EQ (page->sent[0].payload["error"], payload["error"]);
    EXPECT_EQ (page->sent[1].json, "\"{\\\"bands\\\":[]}\"") << "a string payload stays a string: JSON inside JSON";
}

TEST (WebBrowserComponent, TheResourceProviderAnswersEveryPathWithItsQuery)
{
    juce::StringArray asked;
    FakeWebBrowserBackend* page = nullptr;

    WebBrowserComponent view (WebBrowserComponent::Options{}
                                  .withResourceProvider ([&] (const juce::String& path) -> std::optional<WebBrowserComponent::Resource>
                                  {
                                      asked.add (path);

                                      if (path.startsWith ("/app.css"))
                                          return textResource ("body {}\r\n", "text/css");

                                      return std::nullopt;
                                  })
                                  .withBackend (FakeWebBrowserBackend::factory (page)));

    const auto css = page->requestResource ("/app.css?v=2");
    ASSERT_TRUE (css.has_value());
    EXPECT_EQ (css->mimeType, "text/css");
    EXPECT_EQ (css->data.size(), 9u);

    EXPECT_FALSE (page->requestResource ("/missing.js").has_value());
    EXPECT_EQ (asked, juce::StringArray ({ "/app.css?v=2", "/missing.js" }));
}

TEST (WebBrowserComponent, WithoutAResourceProviderNothingIsServed)
{
    FakeWebBrowserBackend* page = nullptr;
    WebBrowserComponent view (WebBrowserComponent::Options{}.withBackend (FakeWebBrowserBackend::factory (page)));

    EXPECT_FALSE (page->requestResource ("/").has_value());
}

TEST (WebBrowserComponent, ThePageIsOpenedUnderTheResourceProviderRoot)
{
    FakeWebBrowserBackend* page = nullptr;
    WebBrowserComponent view (WebBrowserComponent::Options{}.withBackend (FakeWebBrowserBackend::factory (page)));

    EXPECT_EQ (WebBrowserComponent::getResourceProviderRoot(), "duzezavure://console/");

    view.goToURL (WebBrowserComponent::getResourceProviderRoot() + "?host=duzezavure");
    EXPECT_EQ (page->visitedURLs, juce::StringArray ("duzezavure://console/?host=duzezavure"));
}

} // namespace brindle
