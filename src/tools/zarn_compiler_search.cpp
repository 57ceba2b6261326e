#include "tools/zarn_compiler_search.h"

#include <set>
#include <system_error>

#include "tools/zarn_compiler_probe_cache.h"
#include "tools/zarn_toolchain_directory.h"
#include "types/ci_string.h"
#include "zarn_tool.h"

namespace fs = std::filesystem;

namespace Zarn {

namespace {

bool isDirectory(const fs::path& path)
{
    std::error_code error;
    return fs::is_directory(path, error) && !error;
}

// "/usr/bin/" names the same directory as "/usr/bin".
fs::path withoutTrailingSeparators(fs::path root)
{
    while (!root.has_filename() && root.has_relative_path()) {
        fs::path parent = root.parent_path();
        if (parent == root)
            break;
        root = std::move(parent);
    }
    return root;
}

void addCandidate(std::vector<fs::path>& binDirs, CanonicalPathSet& seen, const fs::path& path)
{
    if (isDirectory(path) && insertCanonical(seen, path))
        binDirs.push_back(path);
}

std::vector<fs::path> collectBinDirectories(const fs::path& root)
{
    std::vector<fs::path> binDirs;
    CanonicalPathSet seen;
    if (root.filename() == "bin") {
        addCandidate(binDirs, seen, root);
    } else {
        addCandidate(binDirs, seen, root / "bin");
        addCandidate(binDirs, seen, root / "usr" / "bin");
    }
    if (!isDirectory(root))
        return binDirs;
    std::error_code error;
    fs::recursive_directory_iterator walk(root, fs::directory_options::skip_permission_denied, error);
    if (error)
        return binDirs;
    for (; walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        if (error)
            break;
        // Only the name and the kind of each entry: the tree may be large.
        const fs::directory_entry& entry = *walk;
        if (entry.path().filename() != "bin")
            continue;
        std::error_code kindError;
        if (entry.is_directory(kindError) && !kindError && insertCanonical(seen, entry.path()))
            binDirs.push_back(entry.path());
    }
    return binDirs;
}

std::vector<std::string> splitMachine(const std::string& machine)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t dash = machine.find('-', start);
        parts.push_back(machine.substr(start, dash == std::string::npos ? std::string::npos : dash - start));
        if (dash == std::string::npos)
            break;
        start = dash + 1;
    }
    while (parts.size() < 3)
        parts.emplace_back();
    return parts;
}

bool fieldFits(const std::string& requested, const std::string& actual)
{
    return requested.empty() || Util::ciEqual(requested, actual);
}

bool fits(const ToolchainRequest& request, const CompilerRecord& record)
{
    if (!fieldFits(request.arch, record.arch) || !fieldFits(request.prefix, record.prefix) ||
        !fieldFits(request.os, record.os) || !fieldFits(request.abi, record.abi))
        return false;
    if (!request.toolchainVersion.empty() && !Util::ciEqual(request.toolchainVersion, "0") &&
        !Util::ciEqual(request.toolchainVersion, record.version))
        return false;
    return versionSatisfies(record.version, request.toolchainMinVersion);
}

}  // namespace

ToolchainRequest makeToolchainRequest(const KeySet& wants)
{
    ToolchainRequest request;
    const std::string path = getAssignmentText(wants, "toolchain_path");
    if (!path.empty())
        request.toolchainPath = absoluteToolchainPath(path);
    request.prefix = getAssignmentText(wants, "prefix");
    request.arch = getAssignmentText(wants, "arch");
    request.os = getAssignmentText(wants, "os");
    request.abi = getAssignmentText(wants, "abi");
    request.toolchainVersion = getAssignmentText(wants, "toolchain_version");
    request.toolchainMinVersion = getAssignmentText(wants, "toolchain_min_version");
    return request;
}

void matchCompilers(const ToolchainRequest& request, const fs::path& toolchainDir,
                    const std::vector<CompilerProbe>& probes, std::vector<CompilerRecord>& out)
{
    for (const auto& probe : probes) {
        const auto parts = splitMachine(probe.machine);
        CompilerRecord record{probe.version,
                              probe.machine,
                              parts[0],
                              parts[1],
                              parts[2],
                              probe.exePath.parent_path(),
                              toolchainDir,
                              compilerVersionSuffix(probe.exePath)};
        if (fits(request, record))
            out.push_back(std::move(record));
    }
}

std::vector<CompilerRecord> findCompilers(const ToolchainRequest& request, const fs::path& givenRoot)
{
    const fs::path root = withoutTrailingSeparators(givenRoot);
    std::vector<CompilerRecord> result;
    std::set<std::string> keys;
    for (const auto& binDir : *binDirectoriesOnce(root, collectBinDirectories)) {
        ProbedBinDirectory probed;
        try {
            probed = probeBinDirectoryOnce(binDir);
        } catch (const fs::filesystem_error&) {
            continue;
        }
        std::vector<CompilerRecord> matches;
        matchCompilers(request, binDir.parent_path(), probed.cCompilers, matches);
        matchCompilers(request, binDir.parent_path(), probed.cppCompilers, matches);
        for (auto& record : matches) {
            const std::string key = canonicalPathText(record.binDir) + "|" + record.prefix + "|" + record.version;
            if (keys.insert(key).second)
                result.push_back(std::move(record));
        }
    }
    return result;
}

}  // namespace Zarn
