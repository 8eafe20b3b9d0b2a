#pragma once

namespace brindle
{

/** Closes every web view on the web engine in this process (WebKitGtkBackend) that is still
    open and ends the GTK thread, waiting for it. Call it once, at the end, before the framework
    closes its X display (the web views use their own display connection on that thread): at
    the end of a test run or a benchmark that ran the engine in its own process. (The
    application runs the engine in its helper, which ends with its view.) Afterwards no web view can start again; one made later
    stays empty. Nothing happens when no web view was ever made.

    Threading: message thread. */
void shutDownWebViews();

} // namespace brindle
