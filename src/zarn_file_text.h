// Reading and writing a configuration file whole.
#pragma once

#include <filesystem>
#include <string>

namespace Zarn {

// The whole content of the file. False when it cannot be opened or read
// (a directory or a socket in its place included); text is then unchanged.
bool readFileText(const std::filesystem::path& file, std::string& text);

enum class WriteResult { Written, OpenFailed, WriteFailed };

// Writes the text into a new or truncated file; after a failed write the
// partial file is removed.
WriteResult writeFileText(const std::filesystem::path& file, const std::string& text);

// Where the new content of `file` is written first: beside it, so that a
// rename puts it in place in one step, and named for this process.
std::filesystem::path temporaryPathBeside(const std::filesystem::path& file);

// The absolute directory against which relative paths in the file are taken.
std::filesystem::path baseDirectoryOf(const std::filesystem::path& file);

}  // namespace Zarn
