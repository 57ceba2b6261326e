// The factory of the tool type "gnu-gcc": finds the toolchain that a tool
// definition asks for and makes its tools.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "tools/zarn_compiler_search.h"
#include "zarn_tool.h"

namespace Zarn {

// The program file of a toolchain: with a version suffix, prefix-name-suffix
// and name-suffix first; then prefix-name, prefix-name.exe, name and
// name.exe. The first that exists, or an empty path.
std::filesystem::path findGnuToolExecutable(const std::filesystem::path& binDir, const std::string& prefix,
                                            const std::string& name, const std::string& versionSuffix = "");

// The first program that a toolchain of the compiler cannot do without
// (gcc of the compiler's version, ar, ld) and that its bin directory lacks,
// as the path createGnuMatcher names in "Required GNU tool missing"; an
// empty path when all are there.
std::filesystem::path missingRequiredGnuTool(const CompilerRecord& compiler);

// The matcher of the newest fitting compiler below the wanted
// toolchain_path, with gcc, ar and ld, and g++ and objcopy when present.
// A toolchain directory holding ":" is refused: PATH cannot hold it.
// Throws ZarnException when there is none.
std::unique_ptr<Matcher> createGnuMatcher(Util::CiString name, KeySet wants, KeySet variables);

}  // namespace Zarn
