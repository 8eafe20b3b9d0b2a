#pragma once

#include "platform/webview/WebResource.h"

#include <juce_core/juce_core.h>

#include <optional>

namespace brindle
{

/** Serves the console page's embedded files to the web view.

    The bundle is flat: a request names a file by its plain name after the leading "/", any
    query from "?" on is ignored, and an empty name is the page itself, "index.html". Names are
    compared exactly (case and all) with the bundle's file names; anything else, a directory
    part included, gets nothing. Nothing is ever read from disk.

    Threading: any thread; it reads only the bundle's constant data and keeps no state. */

/** The file that the web view's request path names, or nothing when the bundle has no file
    of that name. */
std::optional<WebResource> provideResource (const juce::String& requestPath);

/** The MIME type for a file of this name, by the end of the name, ignoring case:
    "application/octet-stream" for an ending it does not know. */
juce::String mimeTypeForName (const juce::String& fileName);

} // namespace brindle
