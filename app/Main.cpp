#include "DuzezavureApplication.h"

#if defined(__SANITIZE_ADDRESS__)
 #include <dlfcn.h>

namespace
{
    // The framework loads the X libraries itself and unloads them as the program ends; what
    // they hold for the whole run then looks leaked, from a module that is gone. Kept loaded,
    // that memory stays reachable, and only real leaks are reported.
    [[maybe_unused]] const bool xLibrariesStayLoaded = [] {
        for (const char* name : { "libX11.so.6", "libXext.so.6", "libXcursor.so.1", "libXinerama.so.1", "libXrandr.so.2", "libXrender.so.1" })
            dlopen (name, RTLD_NOW | RTLD_NODELETE);
        return true;
    }();
}
#endif

START_JUCE_APPLICATION (brindle::DuzezavureApplication)
