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

// Longest command handed to the shell as one argument: the system refuses
// a longer argument (its NUL included) with E2BIG.
constexpr std::size_t longestShellArgument = 128 * 1024 - 1;

// The PATH a command runs with: the non-empty prefixes joined with ":" in
// front of the current PATH (null when unset). nullopt leaves PATH as it is:
// no prefixes, or only empty ones with PATH unset or empty.
std::optional<std::string> composeSearchPath(const std::vector<std::filesystem::path>& prefixes,
                                             const char* currentPath);

// How one command ended.
struct CommandResult {
    // The exit code, -1 when a signal ended the command, or the errno of a
    // failure to start the shell, to change directory or to wait.
    int status = 0;
    // Why the command could not be started; empty when it was.
    std::string startFailure;
};

// Runs the command through /bin/sh in the working directory (empty: the
// current one) and waits for it: "/bin/sh -c command", or, for a command
// too long to be one argument, a private temporary file that "/bin/sh -c"
// reads with ".", removed afterwards. Everything the child needs is prepared
// before it exists, so this is safe on any thread. Standard output is
// flushed under the log lock first, so earlier log lines precede the
// command's own output. Once the run is being stopped, nothing starts
// (status -1).
CommandResult runCommand(const std::string& command, const std::filesystem::path& workingDirectory,
                         const std::vector<std::filesystem::path>& pathPrefixes);

// runCommand's status alone.
int runShellCommand(const std::string& command, const std::filesystem::path& workingDirectory,
                    const std::vector<std::filesystem::path>& pathPrefixes);

// One job's recipes in order: each command is logged at level 5; a recipe of
// the not-run kind ends the job with notRunRecipeStatus; the first non-zero
// status ends it. Status 0 when all succeeded (or there were none).
CommandResult runJobRecipes(const std::vector<Recipe>& recipes);

}  // namespace Zarn
