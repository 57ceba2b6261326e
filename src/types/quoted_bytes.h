// Bytes from a file or a program, made fit to quote in a message: short, and
// with nothing in them that a terminal would take for a control sequence.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Zarn {

// The characters a quote holds by default, not counting the "..." of a cut.
constexpr std::size_t quoteLimit = 40;

// The bytes a quote shows as they are: printable ASCII, the space included.
inline bool isPrintableAscii(char c)
{
    return c >= ' ' && c <= '~';
}

// Printable ASCII as it is and every other byte as "\xHH"; no escape is
// split, and the quote ends before it would pass `limit` characters. "..."
// follows when bytes were left out, or when `cut` says that the bytes given
// are only the start of the text.
std::string quotedBytes(std::string_view bytes, bool cut = false, std::size_t limit = quoteLimit);

}  // namespace Zarn
