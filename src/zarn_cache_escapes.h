// The escaped form of a cache item. The build language has no escapes: a
// text holding `)"`, or bytes that are not UTF-8 (a directory name the file
// system allows), has no literal that reads back. Such an item is marked on
// its "A" line, and every string and path text in it is written with "%HH"
// in place of each byte that could stand in the way.
#pragma once

#include <string>
#include <string_view>

#include "types/zarn_context_types.h"

namespace Zarn {

// The fourth word of an "A" line whose texts are escaped.
inline constexpr std::string_view escapedItemMark = "%";

// "%HH" (upper-case hex) for "%", the double quote, ")", control bytes and
// every byte from 0x7F up; any other byte as it is. The result has a literal
// in every string form and is plain ASCII.
std::string escapeCacheText(std::string_view text);

// The reverse; false when a "%" is not followed by two hex digits.
bool unescapeCacheText(std::string_view text, std::string& result);

// The cache's assignment text with every string and path text escaped.
std::string escapedCacheAssignmentText(const Assignment& assignment);

// Replaces the texts of a value read from an escaped item (strings and paths
// at any depth, also in lists and context values) by their unescaped form.
// False on a bad escape; the value is then unspecified.
bool unescapeCacheValue(ZarnValuePtr& value);

}  // namespace Zarn
