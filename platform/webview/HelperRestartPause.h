#pragma once

namespace brindle
{

/** How long to wait before starting the web view's helper again after it failed: 1 s, then
    twice the last pause each time, at most 30 s; back to 1 s after a helper that lasted. A
    helper that cannot start thus costs a start every 30 s, not a busy machine.

    Threading: one thread. */
class HelperRestartPause
{
public:
    static constexpr int firstMs = 1000;
    static constexpr int longestMs = 30000;

    /** A helper that runs this long counts as one that lasted. */
    static constexpr int lastedMs = 30000;

    /** The pause after a failure of a helper that ran `ranForMs`. */
    int afterFailure (double ranForMs)
    {
        if (ranForMs >= lastedMs)
            next = firstMs;

        const auto pause = next;
        next = next >= longestMs / 2 ? longestMs : next * 2;
        return pause;
    }

private:
    int next = firstMs;
};

} // namespace brindle
