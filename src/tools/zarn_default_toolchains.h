// The default "gnu-gcc" tool definitions: one per GNU toolchain found in the
// usual places, for `--find-compilers`.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "types/zarn_context_types.h"

namespace Zarn {

// "/usr/bin", "/usr/local/bin", "/opt/rh", "/opt", in this order.
const std::vector<std::filesystem::path>& defaultToolchainRoots();

// The text with every byte that is not an ASCII letter, digit, "_" or "-"
// replaced by "_"; "unknown" for an empty text.
std::string sanitizeToolName(const std::string& text);

// One definition per distinct complete toolchain below the roots, in the
// order found: a bin directory reached from two roots counts once, one that
// lacks gcc, ar or ld is left out, and one that PATH cannot hold (":") is
// left out with a warning. Each holds toolchain_name
// ("default_gnu_<version>_<arch>"), tool_type, toolchain_version ("0" when
// unknown), prefix, arch, os, abi and toolchain_path (the compiler's
// directory). Texts that a plain string would expand are raw strings.
// Writes nothing.
std::vector<std::shared_ptr<ContextTemplate>> createDefaultGnuTools(const std::vector<std::filesystem::path>& roots);

}  // namespace Zarn
