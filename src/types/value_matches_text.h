// Case-insensitive test of a value's text, used by tool matchers.
#pragma once

#include <string>

#include "types/zarn_value.h"

namespace Zarn {

// False for a null value; a list matches when any member does, at any depth;
// any other value when its text equals the given text ignoring case.
bool valueMatchesText(const ZarnValuePtr& value, const std::string& text);

}  // namespace Zarn
