#include "zarn_command_runner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "types/zarn_log.h"
#include "zarn_tool.h"

extern char** environ;

namespace Zarn {

namespace {

// posix_spawn_file_actions_t and posix_spawnattr_t released on every path.
class SpawnActions {
public:
    SpawnActions() { ok = posix_spawn_file_actions_init(&actions) == 0; }
    ~SpawnActions()
    {
        if (ok)
            posix_spawn_file_actions_destroy(&actions);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    bool ok = false;
    posix_spawn_file_actions_t actions;
};

// A copy of the process environment with PATH replaced, as the child's envp.
class ChildEnvironment {
public:
    explicit ChildEnvironment(const std::optional<std::string>& path)
    {
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            if (path && std::strncmp(*entry, "PATH=", 5) == 0)
                continue;
            entries.emplace_back(*entry);
        }
        if (path)
            entries.push_back("PATH=" + *path);
        pointers.reserve(entries.size() + 1);
        for (std::string& entry : entries)
            pointers.push_back(entry.data());
        pointers.push_back(nullptr);
    }

    char** envp() { return pointers.data(); }

private:
    std::vector<std::string> entries;
    std::vector<char*> pointers;
};

void flushStdoutInOrder()
{
    LogLockGuard lock;
    std::fflush(stdout);
}

}  // namespace

std::optional<std::string> composeSearchPath(const std::vector<std::filesystem::path>& prefixes,
                                             const char* currentPath)
{
    if (prefixes.empty())
        return std::nullopt;
    std::string joined;
    for (const std::filesystem::path& prefix : prefixes) {
        if (prefix.empty())
            continue;
        if (!joined.empty())
            joined += ':';
        joined += prefix.string();
    }
    if (currentPath == nullptr || *currentPath == '\0') {
        if (joined.empty())
            return std::nullopt;
        return joined;
    }
    if (joined.empty())
        return std::string(currentPath);
    return joined + ":" + currentPath;
}

int runShellCommand(const std::string& command, const std::filesystem::path& workingDirectory,
                    const std::vector<std::filesystem::path>& pathPrefixes)
{
    ChildEnvironment environment(composeSearchPath(pathPrefixes, std::getenv("PATH")));
    std::string shellName = "sh";
    std::string commandFlag = "-c";
    std::string commandText = command;
    char* argv[] = {shellName.data(), commandFlag.data(), commandText.data(), nullptr};

    SpawnActions spawnActions;
    if (!spawnActions.ok)
        return ENOMEM;
    const std::string directory = workingDirectory.string();
    if (!directory.empty()) {
        const int rc = posix_spawn_file_actions_addchdir_np(&spawnActions.actions, directory.c_str());
        if (rc != 0)
            return rc;
    }

    flushStdoutInOrder();
    pid_t child = 0;
    // A failed chdir or exec in the child is reported here as its errno.
    const int spawnError =
        posix_spawn(&child, "/bin/sh", &spawnActions.actions, nullptr, argv, environment.envp());
    if (spawnError != 0)
        return spawnError;

    int waitStatus = 0;
    while (waitpid(child, &waitStatus, 0) < 0) {
        if (errno != EINTR)
            return errno;
    }
    if (WIFSIGNALED(waitStatus))
        return -1;
    return WEXITSTATUS(waitStatus);
}

int runJobRecipes(const std::vector<Recipe>& recipes)
{
    for (const Recipe& recipe : recipes) {
        logMessage(LogLevel::Info, "{}\n", recipe.command);
        if (recipe.kind == 1)
            return notRunRecipeStatus;
        const int status = runShellCommand(recipe.command, recipe.workingDirectory, recipe.pathPrefixes);
        if (status != 0)
            return status;
    }
    return 0;
}

}  // namespace Zarn
