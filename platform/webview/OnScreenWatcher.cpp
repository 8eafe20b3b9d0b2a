#include "OnScreenWatcher.h"

namespace brindle
{

OnScreenWatcher::OnScreenWatcher (juce::Component& componentToWatch, std::function<void()> onChangeToCall)
    : component (componentToWatch),
      onChange (std::move (onChangeToCall))
{
    watchChain();
}

OnScreenWatcher::~OnScreenWatcher()
{
    unwatchChain();
}

bool OnScreenWatcher::isInVisibleWindow() const
{
    for (auto* c = &component; c != nullptr; c = c->getParentComponent())
    {
        if (! c->isVisible())
            return false;

        if (c->getParentComponent() == nullptr)
            return c->isOnDesktop();
    }

    return false;
}

void OnScreenWatcher::componentVisibilityChanged (juce::Component&)
{
    onChange();
}

void OnScreenWatcher::componentParentHierarchyChanged (juce::Component&)
{
    watchChain();
    onChange();
}

void OnScreenWatcher::componentBeingDeleted (juce::Component& deleted)
{
    deleted.removeComponentListener (this);
    watched.removeAllInstancesOf (&deleted);
}

void OnScreenWatcher::watchChain()
{
    unwatchChain();

    for (auto* c = &component; c != nullptr; c = c->getParentComponent())
    {
        c->addComponentListener (this);
        watched.add (c);
    }
}

void OnScreenWatcher::unwatchChain()
{
    for (auto* c : watched)
        c->removeComponentListener (this);

    watched.clear();
}

} // namespace brindle
