#include "DuzezavureApplication.h"

#include "platform/XLibrariesStayLoaded.h"

namespace
{
    [[maybe_unused]] const bool xLibrariesStayLoaded = [] {
        brindle::keepXLibrariesLoadedUnderSanitizers();
        return true;
    }();
}

START_JUCE_APPLICATION (brindle::DuzezavureApplication)
