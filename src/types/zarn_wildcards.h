// Expansion of "*" and "?" in paths against the file system.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace Zarn {

// Case-sensitive match of a file name against one pattern component: "?"
// is any one character, "*" any run (the empty one included).
bool matchWildcard(std::string_view name, std::string_view pattern);

// The existing paths that the pattern's wildcard components match, sorted by
// name within each directory; components without wildcards are joined
// without an existence test. Empty when nothing matches. File-system errors
// only remove the paths through them.
std::vector<std::filesystem::path> expandWildcards(const std::filesystem::path& pattern);

// The same for a relative pattern below a directory that is taken as it is:
// its "*" and "?" are part of its name, never wildcards; so are those of the
// first `literal` characters of the pattern. An absolute pattern ignores the
// directory and `literal`, as in a path join.
std::vector<std::filesystem::path> expandWildcards(const std::filesystem::path& directory,
                                                   const std::filesystem::path& pattern, std::size_t literal = 0);

// The walk behind expandWildcards, component by component, also for a
// pattern without wildcards (which expandWildcards answers directly).
std::vector<std::filesystem::path> walkWildcardComponents(const std::filesystem::path& pattern);
std::vector<std::filesystem::path> walkWildcardComponents(const std::filesystem::path& directory,
                                                          const std::filesystem::path& pattern,
                                                          std::size_t literal = 0);

}  // namespace Zarn
