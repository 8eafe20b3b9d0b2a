#pragma once

#include <juce_core/juce_core.h>

#include <optional>
#include <string>

namespace brindle
{

/** How `toJson` lays its text out. */
enum class JsonLayout
{
    singleLine,   // no line breaks; ": " after a key, ", " between members and elements
    indented,     // a member or element per line, two blanks per level, CRLF line ends
};

/** Writes a dynamic value as JSON text: the settings file (indented) and every message to the
    page (single line) go through here, so both follow one set of rules.

    - Text is written as UTF-8, not escaped; quotation mark, backslash, \b, \t, \n, \f and \r
      are escaped with a backslash, every other control character as \u00xx (lower-case hex).
      A surrogate pair held as two code points (what the framework's parser makes of "\ud83d\ude00")
      is written as the one character it stands for; a lone surrogate as its \u escape, so the
      output is always valid UTF-8.
    - Integers without a decimal point; a floating-point number with at most 15 decimals and at
      least one (48000.0), rounded to 15 decimals when it needs more; magnitudes of 1e15 and
      above in exponent form (1e+20); a value that is not finite as null.
    - Objects keep their members' order. An empty array is "[]"; an empty object is "{}" on one
      line and "{", a line break and "}" at the object's indentation when indented.
    - Values that JSON cannot hold (void, undefined, methods, binary data, objects that are not
      a juce::DynamicObject) are written as null.
    - So is an array or object that would sit deeper than `maxJsonDepth` levels (the outermost
      is the first): the text stays one the reader takes back, and the writer never recurses
      deeper than that, not even into an object that holds itself.

    No line break follows the closing bracket of the outermost value.

    Threading: a pure function; any thread (it allocates, so not the audio thread). */
juce::String toJson (const juce::var& value, JsonLayout layout);

/** The same text as its UTF-8 bytes, for a file: no copy into a juce::String and back. */
std::string toJsonUtf8 (const juce::var& value, JsonLayout layout);

/** The same bytes when the reader (`parseJson`) takes them back as the value they came from,
    and nothing when it would refuse them or read back something else: a text longer than
    `maxJsonTextBytes`, an object of more than `maxJsonObjectMembers` members, more than
    `maxJsonMemberNames` different names, a container deeper than `maxJsonDepth` (which the
    plain writer cuts to null). Writing stops at the first value past a limit. */
std::optional<std::string> toReadableJsonUtf8 (const juce::var& value, JsonLayout layout);

} // namespace brindle
