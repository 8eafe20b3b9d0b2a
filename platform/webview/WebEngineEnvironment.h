#pragma once

namespace brindle
{

/** Sets the environment the web engine reads as it starts: no accelerated compositing (it
    costs some 80 MB in the web process and gives nothing to a page like ours), and the
    automation door as WebViewAutomation finds it asked for.

    Threading: once, before GTK and the web engine start, while no other thread reads the
    environment (it changes it). */
void prepareWebEngineEnvironment();

} // namespace brindle
