#pragma once

namespace brindle
{

/** Closes every web view that is still open and ends the GTK thread, waiting for it. Call it
    once, at the end, before the framework closes its X display (the web views use their own
    display connection on that thread): in the application's shut-down after the window is
    gone, and at the end of a test run. Afterwards no web view can start again; one made later
    stays empty. Nothing happens when no web view was ever made.

    Threading: message thread. */
void shutDownWebViews();

} // namespace brindle
