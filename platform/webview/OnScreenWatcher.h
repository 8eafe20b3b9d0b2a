#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace brindle
{

/** Tells when a component may have come onto the screen or gone off it: it or one of its
    parents was shown or hidden, or its chain of parents up to a window changed (a window put
    on or taken off the desktop among them). Unlike the framework's movement watcher it does
    not filter by isShowing, which counts a minimised window as hidden: a view must not drop
    its page when its window is minimised, and X11 says nothing when the window comes back.

    Threading: message thread; `onChange` is called on it. */
class OnScreenWatcher final : private juce::ComponentListener
{
public:
    OnScreenWatcher (juce::Component& component, std::function<void()> onChange);
    ~OnScreenWatcher() override;

    /** True when the component and every parent are visible and the outermost one is on the
        desktop, minimised or not. */
    bool isInVisibleWindow() const;

private:
    void componentVisibilityChanged (juce::Component&) override;
    void componentParentHierarchyChanged (juce::Component&) override;
    void componentBeingDeleted (juce::Component&) override;

    void watchChain();
    void unwatchChain();

    juce::Component& component;
    std::function<void()> onChange;
    juce::Array<juce::Component*> watched;
};

} // namespace brindle
