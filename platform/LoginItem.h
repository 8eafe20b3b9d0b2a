#pragma once

#include <juce_core/juce_core.h>

namespace brindle
{

/** The system's record that starts the program when the user logs in. It counts as enabled
    whenever it exists, whoever wrote it and whatever it holds.

    Threading: message thread (implementations touch files or the registry synchronously). */
class LoginItem
{
public:
    virtual ~LoginItem() = default;

    virtual bool isEnabled() const = 0;

    /** Makes the item start `executable` without arguments, replacing an earlier item; true
        when it was written. */
    virtual bool enable (const juce::File& executable) = 0;

    /** Removes the item; true when no item is left (also when there was none). */
    virtual bool disable() = 0;
};

} // namespace brindle
