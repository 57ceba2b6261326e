#include "tools/zarn_compiler_probe_cache.h"

#include <future>
#include <map>
#include <mutex>
#include <string>

namespace Zarn {

namespace {

using SharedProbe = std::shared_future<std::shared_ptr<const ProbedBinDirectory>>;

std::mutex cacheLock;
std::map<std::string, SharedProbe> cache;

std::shared_ptr<const ProbedBinDirectory> probeBoth(const std::filesystem::path& binDir)
{
    auto result = std::make_shared<ProbedBinDirectory>();
    // The two kinds are independent; asking them at once halves the wait.
    auto cpp = std::async(std::launch::async, [&binDir]() { return probeCompilerDirectory("g\\+\\+", binDir); });
    try {
        result->cCompilers = probeCompilerDirectory("gcc", binDir);
    } catch (...) {
        cpp.wait();
        throw;
    }
    result->cppCompilers = cpp.get();
    return result;
}

}  // namespace

std::shared_ptr<const ProbedBinDirectory> probeBinDirectoryOnce(const std::filesystem::path& binDir)
{
    // Keyed by the text as given: the probes' paths are made from it.
    const std::string key = binDir.string();
    std::promise<std::shared_ptr<const ProbedBinDirectory>> promise;
    SharedProbe shared;
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(cacheLock);
        auto found = cache.find(key);
        if (found != cache.end()) {
            shared = found->second;
        } else {
            shared = promise.get_future().share();
            cache.emplace(key, shared);
            first = true;
        }
    }
    // The first caller probes outside the lock, so that other directories
    // can be probed at the same time; the others wait for its result.
    if (first) {
        try {
            promise.set_value(probeBoth(binDir));
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
    }
    return shared.get();
}

void forgetProbedBinDirectories()
{
    std::lock_guard<std::mutex> guard(cacheLock);
    cache.clear();
}

}  // namespace Zarn
