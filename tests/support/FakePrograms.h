#pragma once

#include "FileBytes.h"
#include "MessageLoop.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace brindle::test
{

/** A folder of fake programs to put on $PATH. Each records how it was started in a file of its
    own name: its arguments one a line, "fd 77 inherited" when descriptor 77 of the starting
    process reached it, then "end". The record appears whole (renamed into place). */
class FakePrograms
{
public:
    /** Adds a program that records its start. */
    void add (const juce::String& name) const
    {
        const auto target = "'" + record (name).getFullPathName() + "'";
        write (name, "#!/bin/sh\n"
                     "{ for argument in \"$@\"; do printf '%s\\n' \"$argument\"; done\n"
                     "  [ -e /proc/self/fd/77 ] && echo 'fd 77 inherited'\n"
                     "  echo end; } > " + target + ".part\n"
                     "/bin/mv " + target + ".part " + target + "\n");
    }

    /** Adds an executable file of that name that the kernel cannot run. */
    void addBroken (const juce::String& name) const
    {
        write (name, "\x7f" "ELF, but not really");
    }

    juce::File bin() const { return folder.get().getChildFile ("bin"); }
    juce::File record (const juce::String& name) const { return folder.get().getChildFile (name + ".record"); }

    /** The record of a program, once it appears (empty when it does not within the time). */
    std::string waitForRecord (const juce::String& name, int timeoutMs = 5000) const
    {
        pumpUntil ([&] { return record (name).existsAsFile(); }, timeoutMs);
        return fileBytes (record (name));
    }

private:
    void write (const juce::String& name, const juce::String& text) const
    {
        bin().createDirectory();
        const auto file = bin().getChildFile (name);
        ASSERT_TRUE (file.replaceWithText (text, false, false, "\n"));
        ASSERT_EQ (chmod (file.getFullPathName().toRawUTF8(), 0755), 0);
    }

    TemporaryFolder folder;
};

} // namespace brindle::test
