// Finding the C3 compiler for a tool definition: what the definition asks
// for, asking one compiler file for its version, and collecting every
// acceptable compiler below a toolchain path.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/zarn_compiler_probe.h"
#include "zarn_tool_tables.h"

namespace Zarn {

// What a "c3c" tool definition asks of its compiler.
struct C3ToolchainRequest {
    std::optional<std::filesystem::path> toolchainPath;  // absolute; absent when the text is empty
    std::string toolchainVersion;                        // "" accepts any
    std::string toolchainMinVersion;                     // "" accepts any
};

// One compiler found.
struct C3CompilerProbe {
    std::string version;
    std::filesystem::path compilerPath;  // as found, not made canonical
    std::filesystem::path binDir;        // the compiler file's directory
};

// The request read from a definition's wants (toolchain_path,
// toolchain_version, toolchain_min_version).
C3ToolchainRequest readC3ToolchainRequest(const KeySet& wants);

// Whether the file is named c3c or c3c.exe, ignoring case.
bool isC3Compiler(const std::filesystem::path& file);

// The version in the compiler's "--version" output: the first dotted number,
// else the first number; "" when there is none. The banner's label
// "C3 Compiler Version:" holds a digit itself, so a plain first number
// would be taken from the label.
std::string c3VersionFromOutput(const std::string& output);

// Runs the file with "--version" (no shell, bounded in time). None when it is
// no regular file, fails, or prints no version.
std::optional<C3CompilerProbe> probeC3Compiler(const std::filesystem::path& file,
                                               std::chrono::milliseconds timeout = probeTimeout);

// A wanted version must be "0", the version itself (ignoring case) or, when
// it has no dot, the version's leading part ("1" accepts 1.2.3, not 12.0);
// then the version must meet the minimum.
bool acceptsC3Version(const C3ToolchainRequest& request, const std::string& version);

// Every acceptable compiler for the request, in the order found: the path
// itself when it names a compiler file; else c3c and c3c.exe in it and in its
// bin directory, then every compiler file of the tree below it. Each file is
// probed once, however many names lead to it.
std::vector<C3CompilerProbe> findC3Compilers(const C3ToolchainRequest& request,
                                             std::chrono::milliseconds timeout = probeTimeout);

// The first of the newest versions; none for an empty list.
std::optional<C3CompilerProbe> chooseNewestC3Compiler(const std::vector<C3CompilerProbe>& found);

}  // namespace Zarn
