// The journal of builds in progress, ".zarn_cache.journal" beside the cache
// file: the key of every target whose recipes were started since the cache
// file was last saved. A run that dies while building (killed, interrupted,
// crashed) leaves its keys behind, and the next run reuses nothing of their
// records: a half-written output may well look newer than its inputs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace Zarn {

class BuildJournal {
public:
    // The journal of the cache file; nothing is touched until it is used.
    explicit BuildJournal(const std::filesystem::path& cacheFile);

    // The keys listed now (none when there is no journal), which a save of
    // this run settles. nullopt when the journal exists but cannot be read
    // or ends in the middle of an entry. Call with the cache's lock held.
    std::optional<std::vector<std::string>> readKeys();

    // Adds the key before the target's recipes start: one appended line,
    // with the cache's lock held for it; no sync, as the entry has to
    // outlive the process, not the machine. A journal that cannot be
    // written is reported once at level 6 and the build goes on.
    void recordStart(const std::string& key);

    // After the cache file was saved: drops the entries read by readKeys and
    // those this run added. Entries that other runs added meanwhile stay.
    // Call with the cache's lock held.
    void settle();

    const std::filesystem::path& file() const { return journalFile; }
    const std::filesystem::path& lockFile() const { return cacheLockFile; }

private:
    std::filesystem::path journalFile;
    std::filesystem::path cacheLockFile;
    std::unordered_multiset<std::string> settled;  // entries the next save removes
    bool warned = false;
};

}  // namespace Zarn
