#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** The full path of the running program's file. The framework builds it from the working
    folder and the name the program was started by, which for a start by name through $PATH
    names a file that does not exist; the kernel's own link to the image does not have that
    fault. Threading: any thread. */
juce::File runningExecutable();

} // namespace brindle
