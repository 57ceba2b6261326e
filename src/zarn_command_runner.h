// Runs the shell commands of recipes on the job threads.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace Zarn {

struct Recipe;

// Status of a recipe whose kind says: print it, do not run it.
constexpr int notRunRecipeStatus = 38;

// The PATH a command runs with: the non-empty prefixes joined with ":" in
// front of the current PATH (null when unset). nullopt leaves PATH as it is:
// no prefixes, or only empty ones with PATH unset or empty.
std::optional<std::string> composeSearchPath(const std::vector<std::filesystem::path>& prefixes,
                                             const char* currentPath);

// Runs "/bin/sh -c command" in the working directory (empty: the current
// one) and waits for it. Everything the child needs is prepared before it
// exists, so this is safe on any thread. Standard output is flushed under the
// log lock first, so earlier log lines precede the command's own output.
// Returns the exit code, -1 when a signal ended the command, or the errno of
// a failure to change directory, start the shell or wait.
int runShellCommand(const std::string& command, const std::filesystem::path& workingDirectory,
                    const std::vector<std::filesystem::path>& pathPrefixes);

// One job's recipes in order: each command is logged at level 5; a recipe of
// the not-run kind ends the job with notRunRecipeStatus; the first non-zero
// status ends it. 0 when all succeeded (or there were none).
int runJobRecipes(const std::vector<Recipe>& recipes);

}  // namespace Zarn
