#include "zarn_build_cache.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "types/zarn_log.h"
#include "types/zarn_value_types.h"
#include "zarn_build_jobs.h"
#include "zarn_cache_values.h"
#include "zarn_target_visitor.h"
#include "zarn_tool.h"

namespace Zarn {

namespace fs = std::filesystem;

// ---- InputFingerprintMap ----------------------------------------------------

bool InputFingerprintMap::insert(uint64_t fingerprint, RecipeIO recipe)
{
    if (index.count(fingerprint) != 0)
        return false;
    index.emplace(fingerprint, entries.size());
    entries.emplace_back(fingerprint, std::move(recipe));
    return true;
}

RecipeIO* InputFingerprintMap::find(uint64_t fingerprint)
{
    auto it = index.find(fingerprint);
    return it == index.end() ? nullptr : &entries[it->second].second;
}

const RecipeIO* InputFingerprintMap::find(uint64_t fingerprint) const
{
    auto it = index.find(fingerprint);
    return it == index.end() ? nullptr : &entries[it->second].second;
}

void InputFingerprintMap::clear()
{
    entries.clear();
    index.clear();
}

uint64_t fingerprintInputs(const RecipeIO& recipe)
{
    uint64_t hash = 0xcbf29ce484222325ULL;
    auto mix = [&hash](const std::string& text) {
        for (unsigned char byte : text) {
            hash ^= byte;
            hash *= 0x100000001b3ULL;
        }
    };
    static const std::string nameEnd(1, '\x1f');
    static const std::string inputEnd(1, '\x1e');
    for (const RecipeInput& input : recipe.inputs) {
        mix(input.input.name);
        mix(nameEnd);
        if (input.input.value)
            mix(input.input.value->toString());
        mix(inputEnd);
    }
    return hash;
}

std::vector<RecipeIO*> collectMapValues(InputFingerprintMap& map)
{
    std::vector<RecipeIO*> values;
    values.reserve(map.size());
    for (auto& entry : map)
        values.push_back(&entry.second);
    return values;
}

std::vector<const RecipeIO*> collectMapValues(const InputFingerprintMap& map)
{
    std::vector<const RecipeIO*> values;
    values.reserve(map.size());
    for (const auto& entry : map)
        values.push_back(&entry.second);
    return values;
}

namespace {

Assignment deepCopy(const Assignment& assignment)
{
    Assignment copy = assignment;
    if (copy.value)
        copy.value = copy.value->deepClone();
    return copy;
}

}  // namespace

std::vector<Assignment> deepCopyAssignments(const std::vector<Assignment>& assignments)
{
    std::vector<Assignment> copies;
    copies.reserve(assignments.size());
    for (const Assignment& assignment : assignments)
        copies.push_back(deepCopy(assignment));
    return copies;
}

InputFingerprintMap deepCopyRecipes(const InputFingerprintMap& recipes)
{
    InputFingerprintMap copies;
    for (const auto& [fingerprint, recipe] : recipes) {
        RecipeIO copy;
        copy.inputs.reserve(recipe.inputs.size());
        for (const RecipeInput& input : recipe.inputs)
            copy.inputs.push_back(RecipeInput{deepCopy(input.input), deepCopy(input.intermediate), input.upToDate});
        copy.outputs = deepCopyAssignments(recipe.outputs);
        copies.insert(fingerprint, std::move(copy));
    }
    return copies;
}

// ---- CacheClaim ---------------------------------------------------------------

CacheClaim::CacheClaim(RuntimeCache* cache, Util::CiString key, RuntimeRecordPtr record, uint64_t token)
    : cache(cache), key(std::move(key)), record(std::move(record)), claimToken(token)
{
}

CacheClaim::CacheClaim(CacheClaim&& other) noexcept
    : cache(std::exchange(other.cache, nullptr)),
      key(std::move(other.key)),
      record(std::move(other.record)),
      claimToken(std::exchange(other.claimToken, 0))
{
}

CacheClaim& CacheClaim::operator=(CacheClaim&& other) noexcept
{
    if (this != &other) {
        release();
        cache = std::exchange(other.cache, nullptr);
        key = std::move(other.key);
        record = std::move(other.record);
        claimToken = std::exchange(other.claimToken, 0);
    }
    return *this;
}

CacheClaim::~CacheClaim()
{
    release();
}

void CacheClaim::release() noexcept
{
    if (cache && record && claimToken != 0) {
        try {
            cache->abandonClaim(key, record, claimToken);
        } catch (...) {
            // A mutex that cannot be locked here leaves nothing better to do.
        }
    }
    cache = nullptr;
    record.reset();
    claimToken = 0;
}

// ---- RuntimeCache ---------------------------------------------------------------

RuntimeCache::RuntimeCache(std::filesystem::path cacheFile)
    : cacheFile(std::move(cacheFile)), journal(this->cacheFile)
{
}

namespace {

using FileTime = fs::file_time_type;

// The file's modification time; none when it does not exist or cannot be
// examined.
std::optional<FileTime> modificationTime(const fs::path& path)
{
    std::error_code error;
    if (!fs::exists(path, error) || error)
        return std::nullopt;
    const FileTime time = fs::last_write_time(path, error);
    if (error)
        return std::nullopt;
    return time;
}

bool containsPath(const std::vector<fs::path>& paths, const fs::path& path)
{
    const fs::path normal = path.lexically_normal();
    return std::any_of(paths.begin(), paths.end(),
                       [&](const fs::path& other) { return other.lexically_normal() == normal; });
}

// The files a recipe's outputs and inputs name. A dependency's outputs reach
// an input inside a context value; with a "+" dependency the same files are
// also outputs of the recipe, passed on.
struct RecipeFiles {
    std::vector<fs::path> outputs;
    std::vector<std::vector<fs::path>> inputs;          // per input: its own paths
    std::vector<std::vector<fs::path>> dependencyFiles;  // per input: paths inside its context values
    std::vector<fs::path> passedOn;                     // dependency files that are outputs too
};

RecipeFiles collectRecipeFiles(const RecipeIO& recipe)
{
    RecipeFiles files;
    for (const Assignment& output : recipe.outputs)
        collectPaths(output.value, files.outputs);
    for (const RecipeInput& input : recipe.inputs) {
        files.inputs.emplace_back();
        collectPaths(input.input.value, files.inputs.back());
        files.dependencyFiles.emplace_back();
        collectContextPaths(input.input.value, files.dependencyFiles.back());
        for (const fs::path& path : files.dependencyFiles.back())
            if (containsPath(files.outputs, path))
                files.passedOn.push_back(path);
    }
    return files;
}

// The outputs' stamp: the oldest modification time of the output files;
// none when there is no output path or one cannot be examined. Files passed
// on from dependencies are inputs as well, so only the files the recipe
// makes itself count, when it makes any.
struct OutputsStamp {
    std::optional<FileTime> time;
    bool ownFiles = false;  // the stamp comes from files the recipe makes itself
};

OutputsStamp outputsStamp(const RecipeFiles& files)
{
    std::optional<FileTime> all;
    std::optional<FileTime> own;
    for (const fs::path& path : files.outputs) {
        const std::optional<FileTime> time = modificationTime(path);
        if (!time)
            return {};
        if (!all || *time < *all)
            all = time;
        if (!containsPath(files.passedOn, path) && (!own || *time < *own))
            own = time;
    }
    return own ? OutputsStamp{own, true} : OutputsStamp{all, false};
}

// Every file exists and, when times are compared, is strictly older than the
// stamp.
bool filesUnchanged(const std::vector<fs::path>& paths, const std::optional<FileTime>& stamp, bool compareTimes)
{
    for (const fs::path& path : paths) {
        const std::optional<FileTime> time = modificationTime(path);
        if (!time)
            return false;
        if (compareTimes && (!stamp || !(*time < *stamp)))
            return false;
    }
    return true;
}

bool filesUnchanged(const ZarnValuePtr& value, const std::optional<FileTime>& stamp, bool compareTimes)
{
    std::vector<fs::path> paths;
    collectPaths(value, paths);
    return filesUnchanged(paths, stamp, compareTimes);
}

// A dependency's files are unchanged when they are older than the recipe's
// own outputs; files passed on as the recipe's only outputs cannot be older
// than themselves and need only exist.
bool dependencyFilesUnchanged(const std::vector<fs::path>& paths, const RecipeFiles& files,
                              const OutputsStamp& stamp)
{
    for (const fs::path& path : paths) {
        const bool compareTimes = stamp.ownFiles || !containsPath(files.passedOn, path);
        if (!filesUnchanged(std::vector<fs::path>{path}, stamp.time, compareTimes))
            return false;
    }
    return true;
}

bool assignmentListsEqual(const std::vector<Assignment>& a, const std::vector<Assignment>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!cacheAssignmentsEqual(a[i], b[i]))
            return false;
    return true;
}

void clearUpToDate(RecipeIO& recipe)
{
    for (RecipeInput& input : recipe.inputs)
        input.upToDate = false;
}

// Sets each input's upToDate flag against the recorded recipe; true when the
// whole recipe can be reused.
bool compareRecipe(RecipeIO& planned, const RecipeIO& recorded)
{
    const RecipeFiles files = collectRecipeFiles(planned);
    const OutputsStamp stamp = outputsStamp(files);
    bool reusable = stamp.time.has_value() && recorded.inputs.size() == planned.inputs.size();
    for (std::size_t i = 0; i < planned.inputs.size(); ++i) {
        RecipeInput& input = planned.inputs[i];
        bool upToDate = i < recorded.inputs.size();
        if (upToDate) {
            const RecipeInput& old = recorded.inputs[i];
            const bool hasIntermediate = input.intermediate.value != nullptr;
            upToDate = cacheAssignmentsEqual(input.input, old.input) &&
                       hasIntermediate == (old.intermediate.value != nullptr) &&
                       (!hasIntermediate || cacheAssignmentsEqual(input.intermediate, old.intermediate)) &&
                       // an intermediate stands in for its input only when its files are there
                       (!hasIntermediate || filesUnchanged(input.intermediate.value, stamp.time, false)) &&
                       filesUnchanged(files.inputs[i], stamp.time, true) &&
                       dependencyFilesUnchanged(files.dependencyFiles[i], files, stamp);
        }
        input.upToDate = upToDate;
        reusable = reusable && upToDate;
    }
    return reusable;
}

enum class Outcome { Hit, Miss, Claim };

}  // namespace

CacheLookupResult RuntimeCache::lookupOrClaim(Builder& builder, const TargetContext& target, int jobCount)
{
    const std::string displayName = displayNameOf(target.name);
    BuildPlan plan = builder.createBuildPlan(target);
    CacheLookupResult result;
    if (plan.recipes.empty()) {
        logMessage(LogLevel::Detail, "Target '{}' not suitable for caching. Using the original context.\n",
                   displayName);
        result.jobContexts.push_back(std::make_shared<TargetContext>(target));
        return result;
    }

    for (RecipeIO& recipe : plan.recipes) {
        const uint64_t fingerprint = fingerprintInputs(recipe);
        result.recipes.insert(fingerprint, std::move(recipe));
    }
    result.environment = std::move(plan.environment);

    const Util::CiString key(target.key());
    Outcome outcome = Outcome::Hit;
    std::vector<RecipeIO*> work;
    uint64_t token = 0;
    RuntimeRecordPtr record;
    bool claimedNew = false;
    {
        std::lock_guard<std::mutex> tableLock(mutex);
        auto it = records.find(key);
        if (it == records.end()) {
            record = std::make_shared<RuntimeRecord>();
            record->ready = true;
            record->pending = 1;
            token = drawToken();
            record->claimToken = token;
            records.emplace(key, record);
            claimedNew = true;
        } else {
            record = it->second;
        }
    }

    bool invalidAfterWait = false;  // the claim waited for ended without a store
    if (claimedNew) {
        outcome = Outcome::Claim;
        work = collectMapValues(result.recipes);
    } else {
        std::unique_lock<std::mutex> recordLock(record->mutex);
        bool wait = false;
        if (record->ready) {
            wait = record->pending == 1;
        } else if (!assignmentListsEqual(record->environment, result.environment)) {
            for (auto& [fingerprint, recipe] : result.recipes) {
                clearUpToDate(recipe);
                work.push_back(&recipe);
            }
        } else {
            for (auto& [fingerprint, recipe] : result.recipes) {
                const RecipeIO* recorded = record->recipes.find(fingerprint);
                if (!recorded || !assignmentListsEqual(recorded->outputs, recipe.outputs)) {
                    clearUpToDate(recipe);
                    work.push_back(&recipe);
                } else if (!compareRecipe(recipe, *recorded)) {
                    work.push_back(&recipe);
                }
            }
        }
        if (!record->ready && !work.empty()) {
            if (record->pending == 0) {
                record->pending = 1;
                token = drawToken();
                record->claimToken = token;
                outcome = Outcome::Claim;
            } else {
                wait = true;
                work.clear();
            }
        }
        if (wait) {
            record->released.wait(recordLock, [&] { return record->pending != 1; });
            outcome = record->ready ? Outcome::Hit : Outcome::Miss;
            invalidAfterWait = !record->ready;
        }
    }

    CacheClaim claim;
    if (outcome == Outcome::Claim)
        claim = CacheClaim(this, key, record, token);

    if (invalidAfterWait)
        logMessage(LogLevel::Detail,
                   "Cache record for '{}' was claimed but resulted in invalid recipes upon completion.\n",
                   key.str());
    switch (outcome) {
    case Outcome::Hit:
        logMessage(LogLevel::Debug, "Cache hit for '{}'.\n", displayName);
        return result;
    case Outcome::Miss:
        logMessage(LogLevel::Debug, "Cache miss for '{}'. Building...\n", displayName);
        work = collectMapValues(result.recipes);
        for (RecipeIO* recipe : work)  // nothing was found up to date by this visit
            clearUpToDate(*recipe);
        break;
    case Outcome::Claim:
        logMessage(LogLevel::Debug, "Cache claimed for '{}'.\n", displayName);
        break;
    }

    const auto jobs = static_cast<uint64_t>(static_cast<int64_t>(jobCount));
    const uint64_t groups = computeJobParallelism(jobs, plan.limit, work.size());
    result.jobContexts = splitTargetContexts(target, work, result.environment, groups);
    result.claimToken = claim.token();
    result.claim = std::move(claim);
    return result;
}

void RuntimeCache::upsert(const Util::CiString& key, const InputFingerprintMap& recipes,
                          const std::vector<Assignment>& environment, uint64_t token)
{
    RuntimeRecordPtr record;
    {
        std::lock_guard<std::mutex> tableLock(mutex);
        auto it = records.find(key);
        if (it == records.end()) {
            auto fresh = std::make_shared<RuntimeRecord>();
            fresh->recipes = deepCopyRecipes(recipes);
            fresh->environment = deepCopyAssignments(environment);
            fresh->ready = true;
            records.emplace(key, std::move(fresh));
        } else {
            record = it->second;
        }
    }
    if (!record) {
        logMessage(LogLevel::Trace, "Inserted new cache record for '{}'.\n", key.str());
        return;
    }

    bool accepted = false;
    {
        std::lock_guard<std::mutex> recordLock(record->mutex);
        if (token != 0 && token == record->claimToken) {
            record->recipes = deepCopyRecipes(recipes);
            record->environment = deepCopyAssignments(environment);
            record->pending = 0;
            record->ready = true;
            record->claimToken = 0;
            record->released.notify_all();
            accepted = true;
        }
    }
    if (!accepted)
        logMessage(LogLevel::Error, "Cache upsert rejected for '{}': claim token mismatch.\n", key.str());
}

void RuntimeCache::abandonClaim(const Util::CiString& key, const RuntimeRecordPtr& record, uint64_t token)
{
    {
        std::lock_guard<std::mutex> recordLock(record->mutex);
        if (record->pending != 1 || record->claimToken != token)
            return;  // stored already
        record->recipes.clear();
        record->environment.clear();
        record->ready = false;
        record->pending = 0;
        record->claimToken = 0;
        record->released.notify_all();
    }
    std::lock_guard<std::mutex> tableLock(mutex);
    auto it = records.find(key);
    if (it != records.end() && it->second == record)
        records.erase(it);
}

void RuntimeCache::replaceRecords(RuntimeRecordMap newRecords)
{
    std::lock_guard<std::mutex> tableLock(mutex);
    records = std::move(newRecords);
    nextClaimToken = 1;
}

void RuntimeCache::clear()
{
    replaceRecords({});
}

std::vector<CacheRecordSnapshot> RuntimeCache::snapshot()
{
    std::vector<CacheRecordSnapshot> result;
    {
        std::lock_guard<std::mutex> tableLock(mutex);
        result.reserve(records.size());
        for (const auto& [key, record] : records) {
            std::lock_guard<std::mutex> recordLock(record->mutex);
            if (record->pending == 1)  // claimed and not stored: its build did not finish
                continue;
            result.push_back(CacheRecordSnapshot{key.str(), record->recipes, record->environment});
        }
    }
    std::sort(result.begin(), result.end(), [](const CacheRecordSnapshot& a, const CacheRecordSnapshot& b) {
        return Util::ciLess(a.key, b.key) || (!Util::ciLess(b.key, a.key) && a.key < b.key);
    });
    return result;
}

}  // namespace Zarn
