#pragma once

#include <juce_core/juce_core.h>

#include <cstdlib>
#include <string>

namespace brindle::test
{

/** Sets an environment variable (or removes it, given no value) for one scope and puts the
    earlier value back afterwards. Tests only: setenv is not safe while other threads read the
    environment. */
class ScopedEnvironmentVariable
{
public:
    ScopedEnvironmentVariable (const char* nameToSet, const char* value)
        : name (nameToSet)
    {
        if (const char* earlier = std::getenv (name))
            previous = earlier;

        hadPrevious = std::getenv (name) != nullptr;

        if (value != nullptr)
            setenv (name, value, 1);
        else
            unsetenv (name);
    }

    ~ScopedEnvironmentVariable()
    {
        if (hadPrevious)
            setenv (name, previous.c_str(), 1);
        else
            unsetenv (name);
    }

    ScopedEnvironmentVariable (const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator= (const ScopedEnvironmentVariable&) = delete;

private:
    const char* name;
    std::string previous;
    bool hadPrevious = false;
};

} // namespace brindle::test
