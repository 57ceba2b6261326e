// The journal of builds in progress, ".zarn_cache.journal" beside the cache
// file: the key of every target whose recipes were started since the cache
// file was last saved. The cache file and its journal are read and written
// under an flock on the directory that holds them (no lock file is added to
// the project). A run that dies while building (killed, interrupted,
// crashed) leaves its keys behind, and the next run reuses nothing of their
// records: a half-written output may well look newer than its inputs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "zarn_file_lock.h"

namespace Zarn {

class BuildJournal {
public:
    // The journal of the cache file; nothing is touched until it is used.
    explicit BuildJournal(const std::filesystem::path& cacheFile);

    // The keys listed now (none when there is no journal), which a save of
    // this run settles. nullopt when the journal exists but cannot be read,
    // ends in the middle of an entry or holds a line that is no key (read no
    // further than that line). Call with the cache's lock held.
    std::optional<std::vector<std::string>> readKeys();

    // Adds the key before the target's recipes start: one appended line,
    // with the cache's lock held for it; no sync, as the entry has to
    // outlive the process, not the machine. A journal that cannot be
    // written is reported once at level 6 and the build goes on.
    void recordStart(const std::string& key);

    // After the cache file was saved: drops the entries read by readKeys,
    // those this run added and every line that is no key. Entries that other
    // runs added meanwhile stay.
    // Call with the cache's lock held.
    void settle();

    const std::filesystem::path& file() const { return journalFile; }

    // Takes the lock of the cache file and its journal into the holder. A
    // lock that cannot be had is reported at level 1 (the work goes on
    // without it, `purpose` saying which) and leaves the holder empty.
    void lock(std::optional<FileLock>& holder, const char* purpose) const;

private:
    std::filesystem::path journalFile;
    std::filesystem::path directory;
    std::unordered_multiset<std::string> settled;  // entries the next save removes
    bool damaged = false;                          // readKeys found lines that are no key
    bool warned = false;
};

}  // namespace Zarn
