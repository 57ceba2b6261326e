// Fixed texts and helpers of the option parser (ZarnApplication::parseCommandLine).
#pragma once

#include <string>
#include <string_view>

namespace Zarn {

// Printed by -h: thirteen lines, each ending in a newline.
extern const char* const usageText;

// Printed by --version.
extern const char* const versionText;

// The option name within an argument that begins with "-": exactly one or
// two leading dashes are removed ("--v" and "-v" give "v", "---v" gives "-v").
std::string optionName(std::string_view argument);

}  // namespace Zarn
