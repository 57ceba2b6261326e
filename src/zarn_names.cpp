#include "zarn_names.h"

#include <array>

namespace Zarn {

namespace {

// Keywords are case-sensitive: "Units" is an ordinary name.
constexpr std::array<std::string_view, 8> keywords = {
    "unit", "if", "import", "units", "profiles", "projects", "tools", "name",
};

}  // namespace

bool isValidIdentifier(std::string_view text)
{
    if (text.empty() || !isIdentifierStart(text.front()))
        return false;
    for (char c : text.substr(1))
        if (!isIdentifierChar(c))
            return false;
    for (auto keyword : keywords)
        if (text == keyword)
            return false;
    return true;
}

}  // namespace Zarn
