// Rewriting the plain members of a value that may be nested in lists and
// blocks, such as its texts when they are written out.
#pragma once

#include <functional>

#include "types/zarn_context_types.h"

namespace Zarn {

// A copy of the value in which every member that is neither a list nor a
// block (the value itself, when it is one) is replaced by what `member`
// makes of it. Lists and blocks are copied around the new members; a block
// without its context, and a null value, are kept as they are.
ZarnValuePtr mapPlainMembers(const ZarnValuePtr& value,
                             const std::function<ZarnValuePtr(const ZarnValuePtr&)>& member);

}  // namespace Zarn
