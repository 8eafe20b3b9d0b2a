// The test binaries' main: hosts JUCE's message loop headless, so tests can use timers,
// change messages and callAsync by pumping the loop (see MessageLoop.h). Built a second time
// for binaries with web views (BRINDLE_TEST_MAIN_WITH_WEB_VIEWS), which close them at the end.
#include "platform/XLibrariesStayLoaded.h"

#if BRINDLE_TEST_MAIN_WITH_WEB_VIEWS
 #include "platform/WebViewShutdown.h"
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

    juce::JUCEApplicationBase::createInstance = &createNoApplication;
    juce::ScopedJuceInitialiser_GUI juce;

    const int result = RUN_ALL_TESTS();

   #if BRINDLE_TEST_MAIN_WITH_WEB_VIEWS
    // The web views and their GTK thread go before the framework closes its display.
    brindle::shutDownWebViews();
   #endif

    return result;
}
