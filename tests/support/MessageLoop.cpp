#include "MessageLoop.h"

#include <juce_events/juce_events.h>

namespace brindle::test
{

bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
{
    auto* messageManager = juce::MessageManager::getInstance();
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= deadline)
            return condition();

        messageManager->runDispatchLoopUntil (5);
    }

    return true;
}

void pumpFor (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}

} // namespace brindle::test
