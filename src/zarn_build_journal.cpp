#include "zarn_build_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

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

// The entries of the journal's text: its lines, and an unfinished last line
// as one more entry.
std::vector<std::string> splitEntries(const std::string& text)
{
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            entries.push_back(text.substr(start));
            break;
        }
        entries.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

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
    std::error_code error;
    if (!fs::exists(fs::symlink_status(journalFile, error)))
        return std::vector<std::string>{};
    std::string text;
    if (!readFileText(journalFile, text, FileKinds::RegularOnly))
        return std::nullopt;
    std::vector<std::string> entries = splitEntries(text);
    settled.insert(entries.begin(), entries.end());
    // An entry cut short names no key for sure.
    if (!text.empty() && text.back() != '\n')
        return std::nullopt;
    return entries;
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
    if (settled.empty())
        return;
    std::string text;
    if (!readFileText(journalFile, text, FileKinds::RegularOnly)) {
        settled.clear();
        return;
    }
    std::vector<std::string> remaining;
    for (std::string& entry : splitEntries(text)) {
        const auto mine = settled.find(entry);
        if (mine != settled.end())
            settled.erase(mine);
        else
            remaining.push_back(std::move(entry));
    }
    settled.clear();
    if (remaining.empty()) {
        std::error_code ignored;
        fs::remove(journalFile, ignored);
        return;
    }
    std::string rest;
    for (const std::string& entry : remaining)
        rest += entry + "\n";
    // A failure keeps the old journal: more is rebuilt, nothing stale reused.
    (void)writeStateFile(journalFile, rest);
}

}  // namespace Zarn
