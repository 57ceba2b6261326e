// A direct reader for the assignment texts that the cache writer produces,
// so that loading a cache does not run the full parser once per item.
#pragma once

#include <string_view>

#include "types/zarn_context_types.h"

namespace Zarn {

// Reads a text of exactly the writer's shapes: "name", or "name = value",
// "name += value", "name ?= value" where the value is a quoted string, a raw
// string, a path literal (short or parenthesised), an integer, or a flat list
// "[]" / "[ v, v ]" of those. On success the assignment holds the name and the
// value (relative paths without a base directory), with every string final,
// exactly as the build language's parser would give them after the short path
// rewrite; its operator and flags are left to the caller. Any other text is
// false, and the caller must take the general path: the reader never guesses.
bool readWrittenAssignmentText(std::string_view text, Assignment& assignment);

}  // namespace Zarn
