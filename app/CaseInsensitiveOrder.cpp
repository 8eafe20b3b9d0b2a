#include "CaseInsensitiveOrder.h"

#include "common/UnicodeCase.h"

namespace brindle
{

namespace
{
    int compareCodePoints (juce::String::CharPointerType a, juce::String::CharPointerType b, bool foldCase) noexcept
    {
        for (;;)
        {
            auto ca = a.getAndAdvance();
            auto cb = b.getAndAdvance();

            if (foldCase && ca != cb)
            {
                ca = toUpperCaseCodePoint (ca);
                cb = toUpperCaseCodePoint (cb);
            }

            if (ca != cb)
                return ca < cb ? -1 : 1;

            if (ca == 0)
                return 0;
        }
    }
}

int compareIgnoringCase (const juce::String& a, const juce::String& b) noexcept
{
    if (const auto folded = compareCodePoints (a.getCharPointer(), b.getCharPointer(), true); folded != 0)
        return folded;

    return compareCodePoints (a.getCharPointer(), b.getCharPointer(), false);
}

} // namespace brindle
