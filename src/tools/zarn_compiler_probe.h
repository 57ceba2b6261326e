// Learning about installed compilers: running a program and capturing what it
// prints, comparing dotted version numbers, canonical path texts for
// de-duplication, and probing one directory for GNU C or C++ compilers.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace Zarn {

// What a captured command gives back.
struct CaptureResult {
    // Standard output, trimmed of blanks, tabs, carriage returns and line
    // feeds at both ends; at most maxCapturedOutput bytes are kept.
    std::string output;
    // The exit code (0 to 255) after a normal exit; -1 when the program could
    // not be started, was killed by a signal or was ended for not answering.
    int32_t exitStatus = -1;
};

// One compiler found by the directory probe.
struct CompilerProbe {
    std::string version;  // possibly empty
    std::string machine;  // what "-dumpmachine" printed; never empty
    // The directory joined with the entry's name, symbolic links unresolved.
    std::filesystem::path exePath;
};

// Canonical path texts of files or directories already handled.
using CanonicalPathSet = std::set<std::string>;

// How long a probed program may take before it is ended.
constexpr std::chrono::milliseconds probeTimeout{10000};
// How much of a probed program's standard output is kept.
constexpr size_t maxCapturedOutput = 64 * 1024;
// The longest machine text a compiler is used with: its first three parts,
// joined by dashes (two more when it has fewer), make one directory level,
// which the file system limits to 255 bytes.
constexpr size_t maxMachineTextLength = 253;

// Runs the program directly with the given arguments (no shell is involved,
// so nothing in the path or the arguments is interpreted; a name without a
// "/" is looked up in PATH), with standard input and standard error on
// /dev/null, and captures its standard output. An executable text file that
// the system cannot start for lacking a "#!" line runs as
// "/bin/sh FILE ARGS...", as a shell would run it; a file that is no text
// (a program for another machine) fails.
// A program that has not ended within the timeout is killed together with
// the processes it started, a warning naming it is printed, and the result
// counts as failed (-1). Safe to call from several threads at once.
CaptureResult runCommandCapture(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                std::chrono::milliseconds timeout = probeTimeout);

// The dotted numbers of a version text; a piece that does not begin with a
// number counts as 0. "12.2.0" gives 12, 2, 0; "10.3-win32" gives 10, 3.
std::vector<uint32_t> parseVersion(const std::string& text);

// -1, 0 or 1 as a is lower than, equal to or higher than b; a missing part
// counts as 0, so "12" equals "12.0.0".
int compareVersions(const std::string& a, const std::string& b);

// Whether an installed version meets a requested minimum; an empty request
// or "0" accepts every version.
bool versionSatisfies(const std::string& installed, const std::string& requested);

// The path with its existing leading part resolved through symbolic links and
// the rest normalised; falls back to the absolute, then the given path,
// lexically normalised. Never throws a file-system error.
std::filesystem::path canonicalPath(const std::filesystem::path& path);
std::string canonicalPathText(const std::filesystem::path& path);

// Adds the path's canonical text; true when it was not in the set yet.
bool insertCanonical(CanonicalPathSet& seen, const std::filesystem::path& path);

// Whether the text can serve as one level of a path: not empty, not "." or
// "..", without "/" and without control characters.
bool isPlainName(const std::string& text);

// Probes one directory for compilers of one kind: namePattern "gcc" accepts
// gcc and cc, "g\\+\\+" accepts g++ and c++ (any other text is used as a
// regular expression as it stands), each with an optional "<prefix>-" and
// "-<version>" in the file name and an optional ".exe". Files of one
// directory reached under several names are probed once. A compiler whose
// machine text is no plain name, or too long for one, is left out with a
// warning. The questions run at the same time, but the result is in the
// order of the directory listing.
std::vector<CompilerProbe> probeCompilerDirectory(const std::string& namePattern,
                                                  const std::filesystem::path& directory);

// The "-<version>" ending of a compiler file's name without ".exe"
// ("gcc-12" gives "-12", "x86_64-linux-gnu-g++-10.2" gives "-10.2"), or "".
std::string compilerVersionSuffix(const std::filesystem::path& exePath);

}  // namespace Zarn
