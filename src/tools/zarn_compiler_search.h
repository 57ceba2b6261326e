// Searching a directory tree for GNU C and C++ compilers and keeping those
// that fit what a toolchain definition asks for.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/zarn_compiler_probe.h"
#include "zarn_tool_tables.h"

namespace Zarn {

// What a tool definition's wants ask of a toolchain; an empty text asks for
// nothing.
struct ToolchainRequest {
    std::optional<std::filesystem::path> toolchainPath;  // the root to search, absolute; used by the caller
    std::string prefix;               // equals the record's prefix
    std::string arch;                 // equals the record's arch
    std::string os;                   // equals the record's os
    std::string abi;                  // equals the record's abi
    std::string toolchainVersion;     // equals the record's version as a whole, or "0" for any
    std::string toolchainMinVersion;  // the record's version is at least this
};

// The request of a wants map: "toolchain_path", "prefix", "arch", "os", "abi",
// "toolchain_version" and "toolchain_min_version", read as texts.
ToolchainRequest makeToolchainRequest(const KeySet& wants);

// One GNU toolchain found on the machine.
struct CompilerRecord {
    std::string version;  // as probed, possibly empty
    std::string prefix;   // the "-dumpmachine" text, e.g. x86_64-linux-gnu
    std::string arch;     // first dash-separated part of prefix
    std::string os;       // second part, or ""
    std::string abi;      // third part, or ""
    std::filesystem::path binDir;        // the directory holding the compiler file
    std::filesystem::path toolchainDir;  // the parent of the searched bin directory
    // The "-<version>" ending of the probed file's name ("-12" for gcc-12), so
    // that the toolchain can run the compiler of that version rather than
    // the directory's default one; "" when the name has none.
    std::string versionSuffix;
};

// The records of every compiler below root that fits the request: the bin
// directories (root itself when it is named "bin", else root/bin and
// root/usr/bin, then every directory named "bin" in the tree) are probed for
// C, then C++ compilers, each directory once per run (its probe is shared by
// every search). Missing or unreadable directories give nothing.
std::vector<CompilerRecord> findCompilers(const ToolchainRequest& request, const std::filesystem::path& root);

// Appends, in the probes' order, a record for every probe that fits.
void matchCompilers(const ToolchainRequest& request, const std::filesystem::path& toolchainDir,
                    const std::vector<CompilerProbe>& probes, std::vector<CompilerRecord>& out);

}  // namespace Zarn
