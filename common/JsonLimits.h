#pragma once

#include <cstddef>

namespace brindle
{

/** How far a JSON text may go, for the reader and the writer alike: whatever the writer puts
    out whole, the reader takes back.

    - Depth: the settings file nests six levels at most (document, library, room, baseline,
      bands, band), the page's messages fewer. Sixty-four is far above that, yet keeps the
      reader's and the writer's recursion a few kilobytes of stack.
    - Size: a room of 24 bands with a baseline of 24 takes under 13 kB in the settings file,
      so 8 MiB holds some 650 of them. Beyond that the text is not one this program wrote, and
      reading it could take far more memory (8 MiB of "[]," already take about 170 MB, each
      short "[]" becoming a whole array). */
constexpr int maxJsonDepth = 64;
constexpr size_t maxJsonTextBytes = (size_t) 8 * 1024 * 1024;

} // namespace brindle
