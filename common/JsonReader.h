#pragma once

#include "JsonLimits.h"

#include <juce_core/juce_core.h>

namespace brindle
{

/** Reads JSON text into a dynamic value: the settings file, the correction states and (later)
    the page's messages all go through here, so none of them can take the program down.

    - The text is one JSON document: an object or an array (as every JSON text this program
      reads), white space around it, nothing after it. The grammar is strict JSON: no comments,
      trailing commas, single quotes, leading zeros or raw control characters in texts.
    - Containers nest at most `maxJsonDepth` levels (the outermost is the first), the text is
      at most `maxJsonTextBytes` bytes of UTF-8, an object holds at most `maxJsonObjectMembers`
      members (a repeated name counts each time) and the whole text names at most
      `maxJsonMemberNames` different members. Any limit exceeded is malformed text, found
      before the work it would cost: reading stays within a few passes over the text.
    - Values come out as the framework's own parser gives them: a number without fraction or
      exponent is an int, or an int64 from 2^31 in magnitude on (a double beyond the int64
      range); any other number a double (beyond the double range, an infinity or zero); null a
      void value; an object a juce::DynamicObject whose members keep the text's order (a repeated
      name keeps its first place and its last value).
    - Texts: "\ud83d\ude00" gives the one character it stands for; a lone surrogate escape is
      kept as that code point, so that the writer gives the same escape back. A member name may
      not be empty, and "\u0000" is refused: a juce::String cannot hold either.

    On failure `value` is void and the result's message says what is wrong and where (line and
    column, counted from 1 in characters).

    Threading: pure functions; any thread (they allocate and make identifiers, which takes the
    framework's string-pool lock, so not the audio thread). */
juce::Result parseJson (const juce::String& text, juce::var& value);

/** A copy of an object's value for a key, or a void value when the key is missing or holds a
    method. */
juce::var readMember (const juce::DynamicObject& object, const juce::Identifier& key);

/** An object's value for a key as text: a string as it is, a number or a boolean in its text
    form (true as "1", false as "0"), anything else (a missing key, null, a method, an object,
    an array) as the empty text. The framework's own text of an object is its heap address. */
juce::String readMemberText (const juce::DynamicObject& object, const juce::Identifier& key);

} // namespace brindle
