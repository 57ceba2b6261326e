// Reading a configuration file whole.
#pragma once

#include <filesystem>
#include <string>

namespace Zarn {

// The whole content of the file. False when it cannot be opened or read
// (a directory or a socket in its place included); text is then unchanged.
bool readFileText(const std::filesystem::path& file, std::string& text);

}  // namespace Zarn
