// Reading a configuration file whole. State files are written with
// writeStateFile (zarn_state_file.h).
#pragma once

#include <filesystem>
#include <string>

namespace Zarn {

// The whole content of the file. False when it cannot be opened or read
// (a directory or a socket in its place included); text is then unchanged.
bool readFileText(const std::filesystem::path& file, std::string& text);

// The absolute directory against which relative paths in the file are taken.
std::filesystem::path baseDirectoryOf(const std::filesystem::path& file);

}  // namespace Zarn
