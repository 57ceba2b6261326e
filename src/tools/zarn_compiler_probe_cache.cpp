#include "tools/zarn_compiler_probe_cache.h"

#include <future>
#include <map>
#include <mutex>
#include <string>

namespace Zarn {

namespace {

// Results by path text, each computed by the first caller while later ones
// wait for it.
template <typename Result>
class SharedResults {
public:
    template <typename Compute>
    std::shared_ptr<const Result> get(const std::filesystem::path& path, Compute compute)
    {
        // Keyed by the text as given: the results hold paths made from it.
        const std::string key = path.string();
        std::promise<std::shared_ptr<const Result>> promise;
        Shared shared;
        bool first = false;
        {
            std::lock_guard<std::mutex> guard(lock);
            auto found = results.find(key);
            if (found != results.end()) {
                shared = found->second;
            } else {
                shared = promise.get_future().share();
                results.emplace(key, shared);
                first = true;
            }
        }
        // Outside the lock, so that other paths are looked at meanwhile.
        if (first) {
            try {
                promise.set_value(std::make_shared<const Result>(compute(path)));
            } catch (...) {
                promise.set_exception(std::current_exception());
            }
        }
        return shared.get();
    }

    void clear()
    {
        std::lock_guard<std::mutex> guard(lock);
        results.clear();
    }

private:
    using Shared = std::shared_future<std::shared_ptr<const Result>>;
    std::mutex lock;
    std::map<std::string, Shared> results;
};

SharedResults<ProbedBinDirectory> probedDirectories;
SharedResults<BinDirectoryList> searchedRoots;

ProbedBinDirectory probeBoth(const std::filesystem::path& binDir)
{
    ProbedBinDirectory result;
    // The two kinds are independent; asking them at once halves the wait.
    auto cpp = std::async(std::launch::async, [&binDir]() { return probeCompilerDirectory("g\\+\\+", binDir); });
    try {
        result.cCompilers = probeCompilerDirectory("gcc", binDir);
    } catch (...) {
        cpp.wait();
        throw;
    }
    result.cppCompilers = cpp.get();
    return result;
}

}  // namespace

std::shared_ptr<const ProbedBinDirectory> probeBinDirectoryOnce(const std::filesystem::path& binDir)
{
    return probedDirectories.get(binDir, probeBoth);
}

std::shared_ptr<const BinDirectoryList> binDirectoriesOnce(
    const std::filesystem::path& root, const std::function<BinDirectoryList(const std::filesystem::path&)>& collect)
{
    return searchedRoots.get(root, collect);
}

void forgetProbedBinDirectories()
{
    probedDirectories.clear();
    searchedRoots.clear();
}

}  // namespace Zarn
