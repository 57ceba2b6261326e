// Whether a text can be written where the build language expects a name.
#pragma once

#include <string_view>

namespace Zarn {

// True when the lexer reads the text as one IDENTIFIER: a letter or "_",
// then letters, digits, "_" or "-", and not one of the reserved keywords.
bool isValidIdentifier(std::string_view text);

}  // namespace Zarn
