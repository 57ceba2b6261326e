// Writing a file that zarn keeps its state in (the build cache, the registry,
// a new project file) so that no reader ever sees it half written and no
// link planted in the directory is written through.
#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

namespace Zarn {

// What becomes of a file already at the destination.
enum class StatePlacement {
    Replace,       // renamed over it: the last writer wins
    KeepExisting,  // left as it is; the write fails with StateWriteStep::Exists
};

// The step at which a write stopped.
enum class StateWriteStep {
    Done,     // the new content is in place
    Open,     // no temporary file could be created
    Write,    // writing or closing the temporary file failed
    Exists,   // KeepExisting and the destination is there
    Replace,  // the temporary file could not be put in place
};

struct StateWriteResult {
    StateWriteStep step = StateWriteStep::Done;
    std::filesystem::path temporary;  // the temporary file used (gone again)
    std::error_code error;            // the system's reason, when there is one

    bool ok() const { return step == StateWriteStep::Done; }
};

// Writes the text to a fresh temporary file in the destination's directory,
// created exclusively (never through an existing name or link), and then
// moves it in place in one step; the destination is never removed first, so
// a reader sees the old content or the new one. A replaced regular file
// keeps its permissions. Whatever fails, the temporary file is removed.
StateWriteResult writeStateFile(const std::filesystem::path& file, std::string_view text,
                                StatePlacement placement = StatePlacement::Replace);

// Writes the whole text to the descriptor, going on after a signal; false,
// with the system's reason in error, when a write fails.
bool writeAll(int fd, std::string_view text, std::error_code& error);

}  // namespace Zarn
