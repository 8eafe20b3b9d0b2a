#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <optional>

namespace brindle
{

/** One event the page sent: its id and its payload (void when the page sent none). */
struct PageEvent
{
    juce::String eventId;
    juce::var payload;
};

/** The largest page message taken, in bytes of UTF-8. The console's largest, a correction
    state of 24 bands, is a few kilobytes. */
constexpr size_t maxPageMessageBytes = (size_t) 1024 * 1024;

/** The deepest nesting of arrays and objects taken in a page message, the envelope counting as
    the first level. */
constexpr int maxPageMessageDepth = 64;    // the JSON reader's own limit

/** Reads the text the page's bridge posts, JSON of the form {"eventId": "...", "payload": ...}.
    Anything else gives nothing: text over maxPageMessageBytes, nested deeper than
    maxPageMessageDepth, not JSON, not an object, or without a string event id. The page is
    not trusted to be well-formed: none of these may cost more than a pass over the text.

    Threading: a pure function; any thread (it allocates). */
std::optional<PageEvent> parsePageMessage (const juce::String& text);

} // namespace brindle
