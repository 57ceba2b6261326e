// The compilers of one bin directory, probed once per run: several tool
// definitions often search the same directory, and every probe starts a few
// processes per compiler file.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "tools/zarn_compiler_probe.h"

namespace Zarn {

// What one probe of a bin directory found.
struct ProbedBinDirectory {
    std::vector<CompilerProbe> cCompilers;    // probeCompilerDirectory("gcc", ...)
    std::vector<CompilerProbe> cppCompilers;  // probeCompilerDirectory("g\\+\\+", ...)
};

// The C and C++ compilers of the directory. The first call for a path text
// probes it; later calls with the same text share that result (also its
// exception), and calls made meanwhile from other threads wait for it.
std::shared_ptr<const ProbedBinDirectory> probeBinDirectoryOnce(const std::filesystem::path& binDir);

// Forgets every result, so that the next call probes again; for callers that
// expect the directories to have changed.
void forgetProbedBinDirectories();

}  // namespace Zarn
