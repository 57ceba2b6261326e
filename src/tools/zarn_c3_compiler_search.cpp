#include "tools/zarn_c3_compiler_search.h"

#include <system_error>

#include "tools/zarn_toolchain_directory.h"
#include "types/ci_string.h"
#include "zarn_tool.h"

namespace Zarn {

namespace fs = std::filesystem;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The end of the number that starts at `start`: digits, then any ".digits"
// groups ("0.6.1" of "0.6.1-rc1", "7" of "7.x").
std::size_t dottedNumberEnd(const std::string& text, std::size_t start)
{
    std::size_t end = start;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    while (end + 1 < text.size() && text[end] == '.' && isDigit(text[end + 1])) {
        end += 2;
        while (end < text.size() && isDigit(text[end]))
            ++end;
    }
    return end;
}

bool isRegularFile(const fs::path& file)
{
    std::error_code ignored;
    return fs::is_regular_file(file, ignored);
}

// Probes the file unless it was seen before, and keeps it when acceptable.
void considerCandidate(const fs::path& file, const C3ToolchainRequest& request, CanonicalPathSet& seen,
                       std::chrono::milliseconds timeout, std::vector<C3CompilerProbe>& found)
{
    if (!insertCanonical(seen, file))
        return;
    std::optional<C3CompilerProbe> probe = probeC3Compiler(file, timeout);
    if (probe && acceptsC3Version(request, probe->version))
        found.push_back(std::move(*probe));
}

}  // namespace

C3ToolchainRequest readC3ToolchainRequest(const KeySet& wants)
{
    C3ToolchainRequest request;
    const std::string path = getAssignmentText(wants, "toolchain_path");
    if (!path.empty())
        request.toolchainPath = absoluteToolchainPath(path);
    request.toolchainVersion = getAssignmentText(wants, "toolchain_version");
    request.toolchainMinVersion = getAssignmentText(wants, "toolchain_min_version");
    return request;
}

bool isC3Compiler(const fs::path& file)
{
    const std::string name = file.filename().string();
    return Util::ciEqual(name, "c3c") || Util::ciEqual(name, "c3c.exe");
}

std::string c3VersionFromOutput(const std::string& output)
{
    std::string firstNumber;
    for (std::size_t start = 0; start < output.size();) {
        if (!isDigit(output[start])) {
            ++start;
            continue;
        }
        const std::size_t end = dottedNumberEnd(output, start);
        std::string number = output.substr(start, end - start);
        if (number.find('.') != std::string::npos)
            return number;
        if (firstNumber.empty())
            firstNumber = std::move(number);
        start = end;
    }
    return firstNumber;
}

std::optional<C3CompilerProbe> probeC3Compiler(const fs::path& file, std::chrono::milliseconds timeout)
{
    if (!isRegularFile(file))
        return std::nullopt;
    const CaptureResult result = runCommandCapture(file, {"--version"}, timeout);
    if (result.exitStatus != 0)
        return std::nullopt;
    std::string version = c3VersionFromOutput(result.output);
    if (version.empty())
        return std::nullopt;
    return C3CompilerProbe{std::move(version), file, file.parent_path()};
}

bool acceptsC3Version(const C3ToolchainRequest& request, const std::string& version)
{
    const std::string& wanted = request.toolchainVersion;
    if (!wanted.empty()) {
        const bool prefixOf = wanted.find('.') == std::string::npos && version.size() > wanted.size() &&
                              version.compare(0, wanted.size(), wanted) == 0 && version[wanted.size()] == '.';
        if (!Util::ciEqual(wanted, "0") && !Util::ciEqual(wanted, version) && !prefixOf)
            return false;
    }
    return request.toolchainMinVersion.empty() || versionSatisfies(version, request.toolchainMinVersion);
}

std::vector<C3CompilerProbe> findC3Compilers(const C3ToolchainRequest& request, std::chrono::milliseconds timeout)
{
    std::vector<C3CompilerProbe> found;
    if (!request.toolchainPath)
        return found;
    const fs::path& root = *request.toolchainPath;
    CanonicalPathSet seen;
    if (isRegularFile(root) && isC3Compiler(root)) {
        considerCandidate(root, request, seen, timeout, found);
        return found;
    }
    for (const fs::path& candidate : {root / "c3c", root / "c3c.exe", root / "bin" / "c3c", root / "bin" / "c3c.exe"})
        considerCandidate(candidate, request, seen, timeout, found);

    std::error_code error;
    if (!fs::is_directory(root, error))
        return found;
    // Directory links are not followed and unreadable parts are skipped: the
    // tree may be large and is not ours.
    fs::recursive_directory_iterator walk(root, fs::directory_options::skip_permission_denied, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        std::error_code kindError;
        const fs::directory_entry& entry = *walk;
        const bool fileOrLink = entry.is_symlink(kindError) || entry.is_regular_file(kindError);
        if (fileOrLink && isC3Compiler(entry.path()))
            considerCandidate(entry.path(), request, seen, timeout, found);
    }
    return found;
}

std::optional<C3CompilerProbe> chooseNewestC3Compiler(const std::vector<C3CompilerProbe>& found)
{
    std::optional<C3CompilerProbe> chosen;
    for (const C3CompilerProbe& probe : found)
        if (!chosen || compareVersions(probe.version, chosen->version) == 1)
            chosen = probe;
    return chosen;
}

}  // namespace Zarn
