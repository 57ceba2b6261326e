// A toolchain definition's directory as its tools will use it: the commands
// run in the output directories, and the bin directory goes in front of PATH.
#pragma once

#include <filesystem>
#include <string>

#include "types/ci_string.h"

namespace Zarn {

// The text of a toolchain_path made absolute against the current directory,
// so that a compiler found there is the one that the commands run. Symbolic
// links stay as written; when the current directory is unknown the text is
// kept as it is.
std::filesystem::path absoluteToolchainPath(const std::string& text);

// Whether the directory can be one entry of PATH: a ":" would split it in
// two, and the part before it would be searched for the toolchain's programs.
bool searchPathCanHold(const std::filesystem::path& directory);

// Throws ZarnException naming the tool when the directory cannot be put in
// PATH (see searchPathCanHold).
void requireSearchPathDirectory(const Util::CiString& toolName, const std::filesystem::path& directory);

}  // namespace Zarn
