// The build cache: per target instance, the recipes that were built with
// their inputs and outputs, and the environment they were built under. A
// claim protocol lets one visit at a time own the work on a record.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "types/ci_string.h"
#include "types/zarn_context_types.h"
#include "zarn_build_journal.h"
#include "zarn_recipe.h"

namespace Zarn {

class Builder;

// Recipes under their input fingerprints, in the order they were inserted,
// so that job order and output lists follow the plan.
class InputFingerprintMap {
public:
    using Entry = std::pair<uint64_t, RecipeIO>;

    // False, and nothing changes, when the fingerprint is already present.
    bool insert(uint64_t fingerprint, RecipeIO recipe);
    RecipeIO* find(uint64_t fingerprint);
    const RecipeIO* find(uint64_t fingerprint) const;

    std::size_t size() const { return entries.size(); }
    bool empty() const { return entries.empty(); }
    void clear();

    std::vector<Entry>::iterator begin() { return entries.begin(); }
    std::vector<Entry>::iterator end() { return entries.end(); }
    std::vector<Entry>::const_iterator begin() const { return entries.begin(); }
    std::vector<Entry>::const_iterator end() const { return entries.end(); }

private:
    std::vector<Entry> entries;
    std::unordered_map<uint64_t, std::size_t> index;
};

// FNV-1a 64 over each input's name and value text (not the intermediates,
// not the outputs), with separators so that different splits of the same
// characters differ.
uint64_t fingerprintInputs(const RecipeIO& recipe);

// The map's recipes in its order; the pointers stay valid until the map
// changes.
std::vector<RecipeIO*> collectMapValues(InputFingerprintMap& map);
std::vector<const RecipeIO*> collectMapValues(const InputFingerprintMap& map);

// A copy whose values share nothing with the source.
InputFingerprintMap deepCopyRecipes(const InputFingerprintMap& recipes);
std::vector<Assignment> deepCopyAssignments(const std::vector<Assignment>& assignments);

// One cached target instance. All fields are guarded by mutex.
struct RuntimeRecord {
    InputFingerprintMap recipes;
    std::vector<Assignment> environment;
    bool ready = false;       // stored in this run; false for a record read from the file
    int32_t pending = 0;      // 1 while a claim is held
    uint64_t claimToken = 0;  // token of the claim held, 0 when none
    std::condition_variable released;  // notified when a claim ends
    std::mutex mutex;
};

using RuntimeRecordPtr = std::shared_ptr<RuntimeRecord>;
// Keyed by TargetContext::key, without regard to case.
using RuntimeRecordMap = std::unordered_map<Util::CiString, RuntimeRecordPtr>;

class RuntimeCache;

// A claim on a record, held by the visit that builds it. When the visit
// leaves without storing (a failed build, any exception) the claim is given
// up and the record dropped, so nobody waits for it and the half-done work
// is never reused or written to the cache file.
class CacheClaim {
public:
    CacheClaim() = default;
    CacheClaim(RuntimeCache* cache, Util::CiString key, RuntimeRecordPtr record, uint64_t token);
    CacheClaim(CacheClaim&& other) noexcept;
    CacheClaim& operator=(CacheClaim&& other) noexcept;
    CacheClaim(const CacheClaim&) = delete;
    CacheClaim& operator=(const CacheClaim&) = delete;
    ~CacheClaim();

    uint64_t token() const { return claimToken; }

private:
    // Gives the claim up unless a store already ended it.
    void release() noexcept;

    RuntimeCache* cache = nullptr;
    Util::CiString key;
    RuntimeRecordPtr record;
    uint64_t claimToken = 0;
};

// What the cache step hands to the target visitor.
struct CacheLookupResult {
    uint64_t claimToken = 0;  // non-zero: store the result with upsert
    InputFingerprintMap recipes;  // every recipe of the plan, built or reused
    std::vector<Assignment> environment;
    std::vector<std::shared_ptr<TargetContext>> jobContexts;  // empty: nothing to build
    CacheClaim claim;  // given up when the result is dropped without a store
};

// A record as the cache writer sees it.
struct CacheRecordSnapshot {
    std::string key;
    InputFingerprintMap recipes;
    std::vector<Assignment> environment;
};

class RuntimeCache {
public:
    explicit RuntimeCache(std::filesystem::path cacheFile);
    RuntimeCache(const RuntimeCache&) = delete;
    RuntimeCache& operator=(const RuntimeCache&) = delete;

    // The cache step of one visit: plans the target, compares the plan with
    // the record and decides what to build. jobCount is the -j count.
    CacheLookupResult lookupOrClaim(Builder& builder, const TargetContext& target, int jobCount);

    // Stores a finished build under the key. A present record takes it only
    // with its claim's token; an absent key is inserted without a check.
    // The values are deep-copied.
    void upsert(const Util::CiString& key, const InputFingerprintMap& recipes,
                const std::vector<Assignment>& environment, uint64_t token);

    // Replaces every record (loading the cache file) and restarts the tokens.
    void replaceRecords(RuntimeRecordMap newRecords);
    // Drops every record and restarts the tokens.
    void clear();

    // Every record except those claimed and not stored, sorted by key.
    std::vector<CacheRecordSnapshot> snapshot();

    std::filesystem::path cacheFile;
    BuildJournal journal;  // builds started since the file was saved
    std::mutex mutex;  // guards records; taken before a record's mutex
    RuntimeRecordMap records;
    std::atomic<uint64_t> nextClaimToken{1};

private:
    friend class CacheClaim;

    uint64_t drawToken() { return nextClaimToken.fetch_add(1); }
    void abandonClaim(const Util::CiString& key, const RuntimeRecordPtr& record, uint64_t token);
};

}  // namespace Zarn
