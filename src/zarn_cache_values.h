// Values as the build cache writes and compares them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "types/zarn_context_types.h"

namespace Zarn {

// The literal the cache writes: the value's own literal, except that a
// context value (also inside a list) is written as a block
// "{ name = literal ... }", which reads back as a context value.
std::string cacheLiteral(const ZarnValue& value);

// The assignment's text as the cache stores it: name, operator text and the
// cache literal of the value.
std::string cacheAssignmentText(const Assignment& assignment);

// True when the cache text of the assignment reads back as written: a name
// that lexes as one identifier and a value that has a literal form.
bool isCacheWritable(const Assignment& assignment);

// True when the cache can keep the assignment at all, in the plain or the
// escaped form: names that lex as identifiers, no list member without a
// value and no block without its context. Texts do not matter.
bool isCacheHoldable(const Assignment& assignment);

// The cache's exact comparison. Values must be of one kind: strings and
// identifiers by their exact text, integers by value, lists member by
// member, context values by their cache literal, paths by the same
// normalised path or the same existing file. Never throws.
bool cacheValuesEqual(const ZarnValuePtr& a, const ZarnValuePtr& b);

// The files held inside the context values of a value (a dependency's
// outputs as a consumer sees them), in their variables' order, also through
// lists and nested contexts. The value's own top-level paths are not
// included: collectPaths gives those.
void collectContextPaths(const ZarnValuePtr& value, std::vector<std::filesystem::path>& paths);

// Names equal ignoring case, values by cacheValuesEqual.
bool cacheAssignmentsEqual(const Assignment& a, const Assignment& b);

}  // namespace Zarn
