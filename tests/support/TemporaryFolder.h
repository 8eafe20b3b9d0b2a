#pragma once

#include <juce_core/juce_core.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace brindle::test
{

/** A fresh, empty folder in the system's temporary folder, removed with everything in it when
    this goes. */
class TemporaryFolder
{
public:
    TemporaryFolder()
        : folder (makeUniqueFolder())
    {
    }

    ~TemporaryFolder()
    {
        folder.deleteRecursively();
    }

    TemporaryFolder (const TemporaryFolder&) = delete;
    TemporaryFolder& operator= (const TemporaryFolder&) = delete;

    const juce::File& get() const
    {
        return folder;
    }

private:
    /** mkdtemp, because test processes run in parallel and a name merely not taken yet may be
        taken by another one a moment later. */
    static juce::File makeUniqueFolder()
    {
        auto pattern = juce::File::getSpecialLocation (juce::File::tempDirectory)
                           .getChildFile ("brindle-test-XXXXXX").getFullPathName().toStdString();

        if (mkdtemp (pattern.data()) == nullptr)
            throw std::runtime_error ("cannot create a temporary folder");

        return juce::File (pattern);
    }

    juce::File folder;
};

} // namespace brindle::test
