// Whether a text can be written where the build language expects a name.
#pragma once

#include <string_view>

namespace Zarn {

// The characters of the lexer's IDENTIFIER token: a letter or "_" first, then
// letters, digits, "_" or "-".
inline bool isIdentifierStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

inline bool isIdentifierChar(char c)
{
    return isIdentifierStart(c) || (c >= '0' && c <= '9') || c == '-';
}

// True when the lexer reads the text as one IDENTIFIER: a letter or "_",
// then letters, digits, "_" or "-", and not one of the reserved keywords.
bool isValidIdentifier(std::string_view text);

}  // namespace Zarn
