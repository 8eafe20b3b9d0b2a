#include "VarObject.h"
#include "WebKitProcesses.h"
#include "WebViewFixture.h"

#include <signal.h>

namespace brindle::test
{

namespace
{
    /** Runs xdotool against the test's display; its output, or an error text starting "!". */
    juce::String xdotool (const juce::StringArray& arguments)
    {
        juce::ChildProcess process;
        juce::StringArray command ("xdotool");
        command.addArray (arguments);

        if (! process.start (command))
            return "!xdotool did not start";

        const auto output = process.readAllProcessOutput();
        return process.getExitCode() == 0 ? output : "!" + output;
    }

    using WebKitGtkBackendTest = WebViewFixture;
}

TEST_F (WebKitGtkBackendTest, ThePageIsServedByTheProviderBootsWithTheBridgeAndSaysReady)
{
    const auto ready = showAndWaitForReady();

    EXPECT_EQ (ready["href"].toString(), pageURL());
    EXPECT_EQ (backend->getCommittedURL(), pageURL());
    EXPECT_EQ (view->getNumChildComponents(), 1) << "the embedding is the view's only child";
    EXPECT_NE (dynamic_cast<juce::XEmbedComponent*> (view->getChildComponent (0)), nullptr);

    // The query reaches the provider; a missing file is answered too (or the page, whose head
    // asks for one before its script, would never have booted).
    EXPECT_TRUE (requested.contains ("/?host=duzezavure")) << requested.joinIntoString (" ");
    EXPECT_TRUE (requested.contains ("/bridge-page.js?v=1")) << requested.joinIntoString (" ");
    EXPECT_TRUE (requested.contains ("/missing.js")) << requested.joinIntoString (" ");
}

TEST_F (WebKitGtkBackendTest, HostEventsReachThePagesListenersInOrderAndItsAnswersComeBackInOrder)
{
    showAndWaitForReady();

    view->emitEventIfBrowserIsVisible ("twice", "x");

    for (int i = 0; i < 50; ++i)
        view->emitEventIfBrowserIsVisible ("echo", i);

    ASSERT_TRUE (waitFor ("echoed", 50));
    EXPECT_EQ (all ("heard"), (std::vector<juce::var> { "first x", "second x" }));

    const auto echoed = all ("echoed");

    for (int i = 0; i < 50; ++i)
        EXPECT_EQ ((int) echoed[(size_t) i], i);
}

TEST_F (WebKitGtkBackendTest, TextArrivesInThePageUnchanged)
{
    showAndWaitForReady();

    const auto text = juce::String::fromUTF8 ("Caf\xc3\xa9 \xf0\x9f\x98\x80 \xe2\x80\xa8\xe2\x80\xa9 \" \\ \x07 </script> \t\r\n");
    view->emitEventIfBrowserIsVisible ("echo", object ({ { "text", text }, { "list", juce::Array<juce::var> { text, 1.5, true } } }));
    view->emitEventIfBrowserIsVisible ("echo", text);

    ASSERT_TRUE (waitFor ("echoed", 2));
    const auto echoed = all ("echoed");

    EXPECT_EQ (echoed[0]["text"].toString(), text);
    EXPECT_EQ (echoed[0]["list"][0].toString(), text);
    EXPECT_EQ ((double) echoed[0]["list"][1], 1.5);
    EXPECT_EQ (echoed[1].toString(), text) << "a string payload stays a string";
}

TEST_F (WebKitGtkBackendTest, FilesComeWithTheirContentTypeAndAMissingOneFailsAtOnce)
{
    showAndWaitForReady();

    view->emitEventIfBrowserIsVisible ("fetch", "data.json?v=7");
    view->emitEventIfBrowserIsVisible ("fetch", "missing.json");
    ASSERT_TRUE (waitFor ("fetched", 2, 5000)) << "a request without a resource must not be left pending";

    juce::var found, missing;

    for (const auto& fetched : all ("fetched"))
        (fetched["name"] == "missing.json" ? missing : found) = fetched;

    EXPECT_EQ ((int) found["status"], 200);
    EXPECT_EQ (found["type"].toString(), "application/json");
    EXPECT_EQ (found["text"].toString(), juce::String::fromUTF8 ("{\"room\": \"Caf\xc3\xa9\"}\n"));
    EXPECT_TRUE (missing.hasProperty ("failed")) << juce::JSON::toString (missing);
    EXPECT_TRUE (requested.contains ("/data.json?v=7"));
}

TEST_F (WebKitGtkBackendTest, HidingShowsTheBlankPageAndShowingBootsThePageAgain)
{
    const auto first = showAndWaitForReady()["instance"].toString();

    window.setVisible (false);
    EXPECT_EQ (view->getNumChildComponents(), 0) << "an embedded window does not hide with its parent";
    ASSERT_TRUE (waitForCommitted ("about:blank"));
    EXPECT_TRUE (ping (500).isVoid()) << "nothing reaches a hidden view";

    window.setVisible (true);
    ASSERT_TRUE (waitFor ("ready", 2));
    EXPECT_EQ (view->getNumChildComponents(), 1);

    const auto second = last ("ready")["instance"].toString();
    EXPECT_NE (second, first) << "the page booted again";
    EXPECT_EQ (ping()["instance"].toString(), second);
}

TEST_F (WebKitGtkBackendTest, NothingGoesToAPageOnItsWayOut)
{
    const auto first = showAndWaitForReady()["instance"].toString();

    // Shown again at once: the page is still there until the next one is committed.
    window.setVisible (false);
    window.setVisible (true);
    view->emitEventIfBrowserIsVisible ("ping", {});

    ASSERT_TRUE (waitFor ("ready", 2));
    pumpFor (300);

    for (const auto& pong : all ("pong"))
        EXPECT_NE (pong["instance"].toString(), first) << "a message went to the page that was being replaced";
}

TEST_F (WebKitGtkBackendTest, QuickHidesAndShowsEndInTheLastOnesState)
{
    showAndWaitForReady();

    for (int i = 0; i < 20; ++i)
        window.setVisible (i % 2 == 1);   // ends shown

    ASSERT_TRUE (waitFor ("ready", 2));
    pumpFor (1000);   // whatever else was on its way has arrived by now

    const auto settled = last ("ready")["instance"].toString();
    EXPECT_EQ (ping()["instance"].toString(), settled);
    EXPECT_EQ (backend->getCommittedURL(), pageURL());
    EXPECT_EQ (view->getNumChildComponents(), 1);

    for (int i = 0; i < 21; ++i)
        window.setVisible (i % 2 == 1);   // ends hidden

    EXPECT_TRUE (waitForCommitted ("about:blank"));
    pumpFor (1000);
    EXPECT_EQ (backend->getCommittedURL(), "about:blank");
    EXPECT_EQ (view->getNumChildComponents(), 0);
}

TEST_F (WebKitGtkBackendTest, NavigationAwayFromTheRootIsRefusedInEveryFrame)
{
    const auto instance = showAndWaitForReady()["instance"].toString();
    const juce::String framePosts ("window.webkit.messageHandlers.brindle.postMessage(JSON.stringify({eventId:'framed'}))");

    for (const auto* foreign : { "https://example.invalid/", "data:text/html,<p>foreign</p>", "about:blank",
                                 "duzezavure://elsewhere/", "file:///etc/hostname" })
    {
        view->emitEventIfBrowserIsVisible ("navigate", foreign);
        pumpFor (300);
        EXPECT_EQ (ping()["instance"].toString(), instance) << foreign << " replaced the page";
    }

    view->emitEventIfBrowserIsVisible ("frame", "data:text/html,<script>" + framePosts + "</script>");
    pumpFor (1000);
    EXPECT_EQ (count ("framed"), 0) << "a foreign frame loaded and reached the host";

    EXPECT_EQ (backend->getCommittedURL(), pageURL());
    EXPECT_EQ (ping()["instance"].toString(), instance);
}

TEST_F (WebKitGtkBackendTest, MessagesFromAPageNotUnderTheRootAreIgnored)
{
    showAndWaitForReady();
    const juce::String postsProbe ("window.webkit.messageHandlers.brindle.postMessage(JSON.stringify({eventId:'probe',payload:location.href}))");

    backend->runScriptInAnyPage (postsProbe);
    ASSERT_TRUE (waitFor ("probe", 1)) << "the script reaches the page's handler";

    window.setVisible (false);
    ASSERT_TRUE (waitForCommitted ("about:blank"));
    backend->runScriptInAnyPage (postsProbe);
    pumpFor (1000);

    EXPECT_EQ (count ("probe"), 1) << "the blank page's message was taken: " << last ("probe").toString();
}

TEST_F (WebKitGtkBackendTest, AKilledWebProcessIsReplacedAndThePageBootsAgain)
{
    const auto first = showAndWaitForReady()["instance"].toString();
    const auto webProcesses = runningWebKitChildren ("WebKitWebProces");
    ASSERT_FALSE (webProcesses.empty());

    for (auto pid : webProcesses)
        kill (pid, SIGKILL);

    ASSERT_TRUE (waitFor ("ready", 2));
    const auto second = last ("ready")["instance"].toString();
    EXPECT_NE (second, first);
    EXPECT_EQ (ping()["instance"].toString(), second);
}

TEST_F (WebKitGtkBackendTest, ResizingTheViewResizesThePage)
{
    EXPECT_EQ ((int) showAndWaitForReady()["width"], 640) << "the page fills the view from the start";

    window.setSize (500, 360);

    EXPECT_TRUE (pumpUntil ([&]
    {
        const auto size = ping();
        return (int) size["width"] == 500 && (int) size["height"] == 360;
    }, 10000)) << "the page is " << ping()["width"].toString() << " x " << ping()["height"].toString();
}

TEST_F (WebKitGtkBackendTest, AClickAndAKeyReachThePage)
{
    showAndWaitForReady();
    window.toFront (true);
    pumpFor (200);

    const auto at = window.getScreenPosition() + juce::Point<int> (40, 30);
    ASSERT_FALSE (xdotool ({ "mousemove", "--sync", juce::String (at.x), juce::String (at.y), "click", "1" }).startsWith ("!"));
    ASSERT_TRUE (waitFor ("click", 1, 5000));
    EXPECT_EQ ((int) last ("click")["x"], 40);
    EXPECT_EQ ((int) last ("click")["y"], 30);

    ASSERT_FALSE (xdotool ({ "key", "a" }).startsWith ("!"));
    ASSERT_TRUE (waitFor ("key", 1, 5000));
    EXPECT_EQ (last ("key").toString(), "a");
}

} // namespace brindle::test
