#include "tools/zarn_compiler_probe_cache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <fmt/format.h>

#include <future>
#include <map>
#include <mutex>
#include <string>

namespace Zarn {

namespace fs = std::filesystem;

namespace {

// Results by key, each computed by the first caller while later ones wait
// for it.
template <typename Result>
class SharedResults {
public:
    template <typename Compute>
    std::shared_ptr<const Result> get(const std::string& key, const fs::path& path, Compute compute)
    {
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

ProbedBinDirectory probeBoth(const fs::path& binDir)
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

// The directory itself, whichever way it is reached ("tc/", "tc/.", a link
// to it, "../p/tc", a bind mount of it): its device and inode, with its birth
// time where the file system keeps one, since a directory removed during the
// run may hand its inode number to a new one; its text when it cannot be
// looked at.
std::string directoryIdentity(const fs::path& directory)
{
    struct statx status {};
    if (::statx(AT_FDCWD, directory.c_str(), 0, STATX_INO | STATX_BTIME, &status) != 0)
        return "path " + directory.string();
    std::string identity = fmt::format("inode {}:{}:{}", status.stx_dev_major, status.stx_dev_minor, status.stx_ino);
    if (status.stx_mask & STATX_BTIME)
        identity += fmt::format(" born {}.{}", status.stx_btime.tv_sec, status.stx_btime.tv_nsec);
    return identity;
}

// The probes with each compiler's path spelled with this caller's directory.
std::vector<CompilerProbe> respelled(const std::vector<CompilerProbe>& probes, const fs::path& binDir)
{
    std::vector<CompilerProbe> own = probes;
    for (CompilerProbe& probe : own)
        probe.exePath = binDir / probe.exePath.filename();
    return own;
}

}  // namespace

ProbedBinDirectory probeBinDirectoryOnce(const fs::path& binDir)
{
    const std::shared_ptr<const ProbedBinDirectory> shared =
        probedDirectories.get(directoryIdentity(binDir), binDir, probeBoth);
    return ProbedBinDirectory{respelled(shared->cCompilers, binDir), respelled(shared->cppCompilers, binDir)};
}

std::shared_ptr<const BinDirectoryList> binDirectoriesOnce(
    const fs::path& root, const std::function<BinDirectoryList(const fs::path&)>& collect)
{
    // Keyed by the text: what is collected depends on how the root is named
    // (a root named "bin" is searched differently), and it holds paths made
    // from that text.
    return searchedRoots.get(root.string(), root, collect);
}

void forgetProbedBinDirectories()
{
    probedDirectories.clear();
    searchedRoots.clear();
}

}  // namespace Zarn
