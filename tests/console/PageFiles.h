#pragma once

#include "FileBytes.h"

#include <juce_core/juce_core.h>

#include <string>

namespace brindle::test
{

/** The console page's files as the repository holds them, in file-name order: what the build
    must have embedded. */
struct PageFile
{
    const char* fileName;
    const char* resourceName;
    const char* folder;
};

inline constexpr PageFile pageFiles[] = {
    { "app.css",          "app_css",         "research/app" },
    { "arrival.js",       "arrival_js",      "ui/js" },
    { "biquad.js",        "biquad_js",       "ui/js" },
    { "demo-profile.js",  "demoprofile_js",  "plugin/ui" },
    { "eq-fit.js",        "eqfit_js",        "ui/js" },
    { "fabfilter-ffp.js", "fabfilterffp_js", "ui/js" },
    { "index.html",       "index_html",      "plugin/ui" },
    { "iso226.js",        "iso226_js",       "ui/js" },
    { "plugin.css",       "plugin_css",      "plugin/ui" },
    { "plugin.js",        "plugin_js",       "plugin/ui" },
    { "profile.js",       "profile_js",      "ui/js" },
    { "protocol.js",      "protocol_js",     "ui/js" },
    { "runtime.js",       "runtime_js",      "plugin/ui" },
};

/** The bytes of the page file of this name in the source tree (empty when there is none). */
inline std::string sourceBytesOf (const std::string& fileName)
{
    for (const auto& file : pageFiles)
        if (fileName == file.fileName)
            return fileBytes (juce::File (juce::String (BRINDLE_SOURCE_DIR) + "/" + file.folder + "/" + file.fileName));

    return {};
}

} // namespace brindle::test
