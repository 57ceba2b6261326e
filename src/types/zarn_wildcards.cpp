#include "types/zarn_wildcards.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace Zarn {

namespace {

bool hasWildcard(const std::string& component)
{
    return component.find_first_of("*?") != std::string::npos;
}

// The entries of the directory whose names match, in name order. The first
// `literal` characters of the component are matched as they are.
std::vector<std::string> matchingEntries(const fs::path& directory, const std::string& component,
                                         std::size_t literal)
{
    std::vector<std::string> names;
    std::error_code error;
    fs::file_status status = fs::status(directory, error);
    if (error || !fs::is_directory(status))
        return names;
    fs::directory_iterator it(directory, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.compare(0, literal, component, 0, literal) == 0 &&
            matchWildcard(std::string_view(name).substr(literal), std::string_view(component).substr(literal)))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

bool matchWildcard(std::string_view name, std::string_view pattern)
{
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starPattern = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<fs::path> expandWildcards(const fs::path& pattern)
{
    return expandWildcards(fs::path(), pattern);
}

std::vector<fs::path> expandWildcards(const fs::path& directory, const fs::path& pattern, std::size_t literal)
{
    // Without a wildcard the walk only rejoins the components, which gives
    // the same text unless separators repeat.
    const std::string& text = pattern.native();
    if (text.find_first_of("*?", std::min(literal, text.size())) == std::string::npos &&
        text.find("//") == std::string::npos)
        return {directory / pattern};
    return walkWildcardComponents(directory, pattern, literal);
}

std::vector<fs::path> walkWildcardComponents(const fs::path& pattern)
{
    return walkWildcardComponents(fs::path(), pattern);
}

std::vector<fs::path> walkWildcardComponents(const fs::path& directory, const fs::path& pattern,
                                             std::size_t literal)
{
    // The directory is a start that is never matched, like the root.
    const bool below = !pattern.has_root_directory();
    std::vector<fs::path> partial{below ? directory : pattern.root_path()};
    std::size_t lead = below ? literal : 0;
    for (const auto& part : pattern.relative_path()) {
        const std::string component = part.string();
        lead = std::min(lead, component.size());
        std::vector<fs::path> next;
        if (!hasWildcard(component.substr(lead))) {
            for (const auto& path : partial)
                next.push_back(path / part);
        } else {
            for (const auto& path : partial)
                for (const auto& name : matchingEntries(path, component, lead))
                    next.push_back(path / name);
        }
        partial = std::move(next);
        lead = 0;
    }
    return partial;
}

}  // namespace Zarn
