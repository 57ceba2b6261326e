// What a run learns about the machine's toolchain directories, learned once:
// several tool definitions often search the same directory, and every probe
// starts a few processes per compiler file.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "tools/zarn_compiler_probe.h"

namespace Zarn {

// What one probe of a bin directory found.
struct ProbedBinDirectory {
    std::vector<CompilerProbe> cCompilers;    // probeCompilerDirectory("gcc", ...)
    std::vector<CompilerProbe> cppCompilers;  // probeCompilerDirectory("g\\+\\+", ...)
};

using BinDirectoryList = std::vector<std::filesystem::path>;

// The C and C++ compilers of the directory, each compiler's path spelled with
// binDir as given. The first call for a directory probes it; later calls for
// the same directory, however it is reached (by its device and inode, or by
// its path's text when it cannot be looked at), share that result (also its
// exception), and calls made meanwhile from other threads wait for it.
ProbedBinDirectory probeBinDirectoryOnce(const std::filesystem::path& binDir);

// The bin directories below a search root, collected by `collect` at the
// first call for the root's path text and shared in the same way.
std::shared_ptr<const BinDirectoryList> binDirectoriesOnce(
    const std::filesystem::path& root, const std::function<BinDirectoryList(const std::filesystem::path&)>& collect);

// Forgets every result, so that the next calls look again; for callers that
// expect the directories to have changed.
void forgetProbedBinDirectories();

}  // namespace Zarn
