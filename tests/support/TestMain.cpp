// The test binaries' main: hosts JUCE's message loop headless, so tests can use timers,
// change messages and callAsync by pumping the loop (see MessageLoop.h). Built a second time
// for binaries with web views (BRINDLE_TEST_MAIN_WITH_WEB_VIEWS), which close them at the end.
#include "platform/XLibrariesStayLoaded.h"

#if BRINDLE_TEST_MAIN_WITH_WEB_VIEWS
 #include "TemporaryFolder.h"
 #include "ThisBinaryAsChild.h"
 #include "platform/webview/WebViewShutdown.h"

 #include <cstdlib>
#endif

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

namespace
{
    // Marks the process as a standalone app without creating one. With it, JUCE's GUI layer
    // sets itself up for threads and installs its X error handlers; without it a bare X server
    // kills the process on the first window-manager atom it does not have.
    juce::JUCEApplicationBase* createNoApplication()
    {
        return nullptr;
    }
}

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    brindle::keepXLibrariesLoadedUnderSanitizers();

   #if BRINDLE_TEST_MAIN_WITH_WEB_VIEWS
    // What the web views keep goes to a folder of this run's, never the user's data folder. A
    // test that looks at it points XDG_DATA_HOME at one of its own; a child run keeps the
    // environment its parent test made for it (which holds a folder of the parent's).
    const brindle::test::TemporaryFolder webViewData;
    if (std::getenv (brindle::test::childRunVariable) == nullptr)
        setenv ("XDG_DATA_HOME", webViewData.get().getFullPathName().toRawUTF8(), 1);
   #endif

    juce::JUCEApplicationBase::createInstance = &createNoApplication;
    juce::ScopedJuceInitialiser_GUI juce;

    const int result = RUN_ALL_TESTS();

   #if BRINDLE_TEST_MAIN_WITH_WEB_VIEWS
    // The web views and their GTK thread go before the framework closes its display.
    brindle::shutDownWebViews();
   #endif

    return result;
}
