#pragma once

#include <functional>

namespace brindle::test
{

/** Runs the message loop until `condition` holds or `timeoutMs` passes; returns whether it
    held. Call from the test's own (message) thread. */
bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 2000);

/** Runs the message loop for a fixed time, delivering whatever falls due. */
void pumpFor (int milliseconds);

} // namespace brindle::test
