#include "zarn_command_runner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "types/zarn_log.h"
#include "zarn_child_processes.h"
#include "zarn_interrupts.h"
#include "zarn_state_file.h"
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

namespace {

std::string errorText(int error) { return std::error_code(error, std::generic_category()).message(); }

// Why the shell could not be started in the directory: the directory's own
// fault when it has one, else the error.
std::string describeStartFailure(int error, const std::filesystem::path& workingDirectory)
{
    if (!workingDirectory.empty()) {
        struct stat info {};
        const int statError = ::stat(workingDirectory.c_str(), &info) == 0 ? (S_ISDIR(info.st_mode) ? 0 : ENOTDIR) : errno;
        if (statError != 0)
            return "working directory '" + workingDirectory.string() + "': " + errorText(statError);
    }
    return errorText(error);
}

// A command in a temporary file of its own (mode 0600, a fresh name), for
// the shell to read; removed again on destruction. The file goes to TMPDIR
// when that can take it, else to /tmp, as the compilers' own files do.
class ScriptFile {
public:
    explicit ScriptFile(const std::string& command)
    {
        const char* base = std::getenv("TMPDIR");
        std::vector<std::string> directories;
        if (base != nullptr && base[0] == '/' && std::strcmp(base, "/tmp") != 0)
            directories.emplace_back(base);
        directories.emplace_back("/tmp");
        for (const std::string& directory : directories) {
            if (tryWrite(directory, command))
                return;
        }
    }
    ~ScriptFile() { removeFile(); }
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;

    std::string path;
    std::string failure;  // empty when the file holds the command

private:
    void removeFile()
    {
        if (!path.empty())
            ::unlink(path.c_str());
        path.clear();
    }

    // The command into a new file in the directory; false, with the reason in
    // failure, when it cannot be done there.
    bool tryWrite(const std::string& directory, const std::string& command)
    {
        std::string name = directory + "/zarn-recipe-XXXXXX";
        // Close-on-exec: the recipes that other threads start meanwhile must
        // not inherit it.
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) {
            failure = "cannot create a temporary file in '" + directory + "': " + errorText(errno);
            return false;
        }
        path = name;
        failure.clear();
        std::error_code error;
        if (!writeAll(fd, command, error))
            failure = "cannot write the temporary file '" + path + "': " + error.message();
        if (::close(fd) != 0 && failure.empty())
            failure = "cannot write the temporary file '" + path + "': " + errorText(errno);
        if (failure.empty())
            return true;
        removeFile();
        return false;
    }
};

// The text that makes the shell read and run a file in itself: "$0" and the
// positional parameters stay those of "sh -c".
std::string sourceCommand(const std::string& file)
{
    std::string quoted = ". '";
    for (const char c : file) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// Starts "/bin/sh -c text"; 0 or the errno of the failure.
int spawnShell(pid_t& child, const std::string& text, const posix_spawn_file_actions_t* actions, char** envp)
{
    std::string shellName = "sh";
    std::string commandFlag = "-c";
    std::string commandText = text;
    char* argv[] = {shellName.data(), commandFlag.data(), commandText.data(), nullptr};
    return posix_spawn(&child, "/bin/sh", actions, nullptr, argv, envp);
}

// Waits for the child; its status as runCommand gives it.
int waitForChild(pid_t child)
{
    int waitStatus = 0;
    while (waitpid(child, &waitStatus, 0) < 0) {
        if (errno != EINTR)
            return errno;
    }
    if (WIFSIGNALED(waitStatus))
        return -1;
    return WEXITSTATUS(waitStatus);
}

}  // namespace

CommandResult runCommand(const std::string& command, const std::filesystem::path& workingDirectory,
                         const std::vector<std::filesystem::path>& pathPrefixes)
{
    if (interruptSignal() != 0)
        return CommandResult{-1, {}};
    ChildEnvironment environment(composeSearchPath(pathPrefixes, std::getenv("PATH")));

    SpawnActions spawnActions;
    if (!spawnActions.ok)
        return CommandResult{ENOMEM, errorText(ENOMEM)};
    const std::string directory = workingDirectory.string();
    if (!directory.empty()) {
        const int rc = posix_spawn_file_actions_addchdir_np(&spawnActions.actions, directory.c_str());
        if (rc != 0)
            return CommandResult{rc, describeStartFailure(rc, workingDirectory)};
    }

    // Outside the hold: the stop must not wait for a reader of the log that
    // has stopped reading.
    flushStdoutInOrder();
    // Declared before the script file, so that it ends after it: the stop
    // waits for the file to be gone too.
    StopHold hold;
    if (!hold.admitted())
        return CommandResult{-1, {}};
    OwnChild child;
    std::optional<ScriptFile> script;
    const auto spawn = [&](const std::string& text) {
        return child.start(
            [&](pid_t& pid) { return spawnShell(pid, text, &spawnActions.actions, environment.envp()); });
    };
    // A failed chdir or exec in the child is reported here as its errno.
    int spawnError = E2BIG;
    if (command.size() <= longestShellArgument)
        spawnError = spawn(command);
    // Too long for one argument, or too long beside the environment.
    if (spawnError == E2BIG) {
        script.emplace(command);
        if (!script->failure.empty())
            return CommandResult{EIO, script->failure};
        spawnError = spawn(sourceCommand(script->path));
    }
    if (spawnError != 0)
        return CommandResult{spawnError, describeStartFailure(spawnError, workingDirectory)};
    return CommandResult{waitForChild(child.pid()), {}};
}

int runShellCommand(const std::string& command, const std::filesystem::path& workingDirectory,
                    const std::vector<std::filesystem::path>& pathPrefixes)
{
    return runCommand(command, workingDirectory, pathPrefixes).status;
}

CommandResult runJobRecipes(const std::vector<Recipe>& recipes)
{
    for (const Recipe& recipe : recipes) {
        logMessage(LogLevel::Info, "{}\n", recipe.command);
        if (recipe.kind == 1)
            return CommandResult{notRunRecipeStatus, {}};
        CommandResult result = runCommand(recipe.command, recipe.workingDirectory, recipe.pathPrefixes);
        if (result.status != 0)
            return result;
    }
    return CommandResult{};
}

}  // namespace Zarn
