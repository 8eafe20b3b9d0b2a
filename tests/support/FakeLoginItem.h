#pragma once

#include "platform/LoginItem.h"

namespace brindle
{

/** A login item in memory, for tests: remembers the executable it was last enabled for, and
    can be told to refuse writes.

    Threading: the test's thread only. */
class FakeLoginItem final : public LoginItem
{
public:
    bool isEnabled() const override
    {
        return enabled;
    }

    bool enable (const juce::File& executable) override
    {
        if (refuseWrites)
            return false;

        enabled = true;
        enabledFor = executable;
        return true;
    }

    bool disable() override
    {
        if (refuseWrites)
            return ! enabled;

        enabled = false;
        return true;
    }

    bool enabled = false;
    bool refuseWrites = false;
    juce::File enabledFor;
};

} // namespace brindle
