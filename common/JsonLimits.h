#pragma once

#include <cstddef>

namespace brindle
{

/** How far a JSON text may go. The reader refuses whatever goes further; the writer keeps to
    the depth on its own and tells when a document would go past the other limits
    (`toReadableJsonUtf8`), so that a file it writes is one the reader takes back.

    - Depth: the settings file nests six levels at most (document, library, room, baseline,
      bands, band), the page's messages fewer. Sixty-four is far above that, yet keeps the
      reader's and the writer's recursion a few kilobytes of stack.
    - Size: a room of 24 bands with a baseline of 24 takes under 13 kB in the settings file,
      so 8 MiB holds some 650 of them. Beyond that the text is not one this program wrote, and
      reading it could take far more memory (8 MiB of "[]," already take about 170 MB, each
      short "[]" becoming a whole array).
    - Members: each member name becomes a juce::Identifier, which the framework keeps in one
      sorted pool where a new name moves every name after it, and an object finds a member by
      going through its members one by one. So n different names cost some n² steps, in one
      object or spread over many (60 000 of them took seconds), and so do n members of one
      object. The largest object this program writes is the library, one member per room (the
      size above already stops it near 650 rooms); any other holds 13 members at most, and a
      file or a message names about 30 different members besides the rooms. An object of 1024
      members (a repeated name counted each time it is written) and a text of 2048 different
      names are far past that and cost milliseconds. */
constexpr int maxJsonDepth = 64;
constexpr size_t maxJsonTextBytes = (size_t) 8 * 1024 * 1024;
constexpr int maxJsonObjectMembers = 1024;
constexpr int maxJsonMemberNames = 2048;

/** The longest correction state taken from the page, as its text. The page's own state (24
    bands, a baseline of 24, a name of 120 characters) stays under 8 kB on one line; this is
    eight times that, and the settings file still holds some 50 rooms of this size. */
constexpr size_t maxStateJsonBytes = (size_t) 64 * 1024;

} // namespace brindle
