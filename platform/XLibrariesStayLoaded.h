#pragma once

#if defined(__SANITIZE_ADDRESS__)
 #include <dlfcn.h>
 #include <initializer_list>
#endif

namespace brindle
{

/** In builds with AddressSanitizer: keeps the X libraries loaded for the whole process.

    The framework loads them itself and unloads them as the process ends; what they hold for
    the whole run then looks leaked, from a module that is gone. Kept loaded, that memory
    stays reachable, and only real leaks are reported. In other builds this does nothing.
    Call once, before the framework starts its GUI. */
inline void keepXLibrariesLoadedUnderSanitizers()
{
   #if defined(__SANITIZE_ADDRESS__)
    for (const char* name : { "libX11.so.6", "libXext.so.6", "libXcursor.so.1", "libXinerama.so.1", "libXrandr.so.2", "libXrender.so.1" })
        dlopen (name, RTLD_NOW | RTLD_NODELETE);
   #endif
}

} // namespace brindle
