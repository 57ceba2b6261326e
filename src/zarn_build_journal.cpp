#include "zarn_build_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>

#include "types/quoted_bytes.h"
#include "types/zarn_log.h"
#include "zarn_file_text.h"
#include "zarn_state_file.h"

namespace Zarn {

namespace fs = std::filesystem;

namespace {

fs::path withSuffix(const fs::path& file, const char* suffix)
{
    fs::path result = file;
    result += suffix;
    return result;
}

// A key is made of names: a line longer than this, or one holding a byte
// that is not printable ASCII, is damage, never an entry.
constexpr std::size_t maxEntryBytes = 64 * 1024;
constexpr std::size_t readChunk = 64 * 1024;

// What a line of the journal turned out to be.
enum class Line {
    Entry,
    Unfinished,  // an entry that the end of the file cut short
    Damaged,     // no key
    End,
    Failed,      // the journal cannot be opened or read
};

// Reads the journal a line at a time in pieces, so that a journal of
// anything else is refused at its first line that is no key instead of
// being read whole.
class EntryReader {
public:
    explicit EntryReader(const fs::path& file)
    {
        std::error_code ignored;
        fd = openRegularFile(file, O_RDONLY, ignored);
    }
    ~EntryReader()
    {
        if (fd >= 0)
            ::close(fd);
    }
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;

    // The next line, and for an entry its text. A damaged line is reported
    // as soon as it shows, and the next call first passes over the rest of
    // it without keeping it.
    Line next(std::string& entry)
    {
        entry.clear();
        if (fd < 0)
            return Line::Failed;
        bool started = false;
        for (;;) {
            if (position == buffer.size()) {
                buffer.clear();
                position = 0;
                if (!readFileBytes(fd, buffer, readChunk))
                    return Line::Failed;
                if (buffer.empty())
                    return started ? Line::Unfinished : Line::End;
            }
            const std::size_t newline = buffer.find('\n', position);
            const std::size_t stop = newline == std::string::npos ? buffer.size() : newline;
            const std::string_view piece(buffer.data() + position, stop - position);
            position = newline == std::string::npos ? stop : stop + 1;
            if (skipping) {
                skipping = newline == std::string::npos;
                continue;
            }
            started = true;
            if (piece.size() > maxEntryBytes - entry.size() ||
                !std::all_of(piece.begin(), piece.end(), isPrintableAscii)) {
                skipping = newline == std::string::npos;
                entry.clear();
                return Line::Damaged;
            }
            entry.append(piece);
            if (newline != std::string::npos)
                return Line::Entry;
        }
    }

private:
    int fd = -1;
    std::string buffer;
    std::size_t position = 0;
    bool skipping = false;  // within a damaged line
};

bool appendLine(const fs::path& file, const std::string& line, std::error_code& error)
{
    const int fd = openRegularFile(file, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW, error);
    if (fd < 0)
        return false;
    const std::string text = line + "\n";
    // One write: an entry is there whole or not at all.
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written != static_cast<ssize_t>(text.size()))
        error = std::error_code(written < 0 ? errno : EIO, std::generic_category());
    if (::close(fd) != 0 && !error)
        error = std::error_code(errno, std::generic_category());
    return !error;
}

}  // namespace

BuildJournal::BuildJournal(const fs::path& cacheFile)
    : journalFile(withSuffix(cacheFile, ".journal")),
      directory(cacheFile.has_parent_path() ? cacheFile.parent_path() : fs::path("."))
{
}

void BuildJournal::lock(std::optional<FileLock>& holder, const char* purpose) const
{
    try {
        holder.emplace(directory, FileLock::Directory);
    } catch (const std::system_error& error) {
        logMessage(LogLevel::Debug, "{}; {} without it.\n", error.what(), purpose);
    }
}

std::optional<std::vector<std::string>> BuildJournal::readKeys()
{
    settled.clear();
    damaged = false;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(journalFile, error)))
        return std::vector<std::string>{};
    EntryReader reader(journalFile);
    std::vector<std::string> entries;
    std::string entry;
    Line line = Line::Entry;
    while ((line = reader.next(entry)) == Line::Entry)
        entries.push_back(entry);
    if (line == Line::Failed)
        return std::nullopt;
    if (line == Line::Unfinished)
        entries.push_back(entry);
    settled.insert(entries.begin(), entries.end());
    if (line == Line::End)
        return entries;
    // An entry cut short names no key for sure, and after a line that is
    // no key nothing is known. The next save clears what was read and every
    // line that is no key.
    damaged = true;
    return std::nullopt;
}

void BuildJournal::recordStart(const std::string& key)
{
    // Without the lock the entry may be lost to a concurrent save; written
    // all the same, it is still the better bet.
    std::optional<FileLock> held;
    lock(held, "recording the build");
    std::error_code error;
    if (appendLine(journalFile, key, error)) {
        settled.insert(key);
        return;
    }
    if (!warned)
        logMessage(LogLevel::Warning,
                   "Unable to record the build of '{}' in '{}': {}. Should this run be interrupted, the next one "
                   "may take its outputs as up to date.\n",
                   key, journalFile.string(), error.message());
    warned = true;
}

void BuildJournal::settle()
{
    if (settled.empty() && !damaged)
        return;
    damaged = false;
    EntryReader reader(journalFile);
    std::vector<std::string> remaining;
    std::string entry;
    Line line = Line::Entry;
    while ((line = reader.next(entry)) != Line::End && line != Line::Failed) {
        if (line == Line::Damaged)
            continue;  // it would make the journal unreadable again
        const auto mine = settled.find(entry);
        if (mine != settled.end())
            settled.erase(mine);
        else
            remaining.push_back(entry);
    }
    settled.clear();
    if (line == Line::Failed)
        return;
    if (remaining.empty()) {
        std::error_code ignored;
        fs::remove(journalFile, ignored);
        return;
    }
    std::string rest;
    for (const std::string& kept : remaining)
        rest += kept + "\n";
    // A failure keeps the old journal: more is rebuilt, nothing stale reused.
    (void)writeStateFile(journalFile, rest);
}

}  // namespace Zarn
