// Reading a file whole, and opening a file that zarn keeps its state in
// without waiting on whatever else stands in its place. State files are
// written with writeStateFile (zarn_state_file.h).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <system_error>

namespace Zarn {

// Which files a read takes.
enum class FileKinds {
    Any,          // whatever the name leads to; a FIFO waits for a writer
    RegularOnly,  // a regular file only; anything else is refused at once
};

// The whole content of the file. False when it cannot be opened or read
// (a directory or a socket in its place included), and with RegularOnly
// also when it is no regular file; text is then unchanged.
bool readFileText(const std::filesystem::path& file, std::string& text, FileKinds accepted = FileKinds::Any);
// The same, with the reason in error when it returns false: "not a regular
// file" for a directory, a socket or (with RegularOnly) a FIFO or a device,
// else what the system said.
bool readFileText(const std::filesystem::path& file, std::string& text, FileKinds accepted,
                  std::error_code& error);

// Appends up to `limit` bytes of the descriptor's file, from its position,
// to text; fewer only at the end of the file. False on a read error (errno
// says which), text then holding what was read before it.
bool readFileBytes(int fd, std::string& text, std::size_t limit);

// Opens the file with the flags (O_CREAT creates it with mode 0666 less the
// umask) and keeps the descriptor, close-on-exec, only when it is a regular
// file. The open never waits: a FIFO or a device in the file's place would
// hold it, or the reads after it, up for good. -1 with the reason in error
// when the file cannot be opened or is no regular file.
int openRegularFile(const std::filesystem::path& file, int flags, std::error_code& error);

// The absolute directory against which relative paths in the file are taken.
std::filesystem::path baseDirectoryOf(const std::filesystem::path& file);

}  // namespace Zarn
