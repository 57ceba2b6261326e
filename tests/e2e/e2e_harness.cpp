#include "e2e/e2e_harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace fs = std::filesystem;

namespace E2e {

namespace {

// A project file above the sandbox would be found by the project search and
// change every result, so refuse to run in such a place.
void checkNoProjectFileAbove(const fs::path& dir)
{
    for (fs::path d = dir.parent_path();; d = d.parent_path()) {
        if (fs::exists(d / ".zarn_project.txt"))
            throw std::runtime_error("a project file lies above the sandbox: " + (d / ".zarn_project.txt").string());
        if (d == d.root_path())
            break;
    }
}

std::string slurp(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string envName(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The null-terminated vector of the strings' characters that exec wants.
std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

Sandbox::Sandbox()
{
    std::string pattern = "/tmp/zarn-e2e-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    rootDir = fs::canonical(pattern);
    homeDir = rootDir / "home";
    workDir = rootDir / "work";
    fs::create_directory(homeDir);
    fs::create_directory(workDir);
    checkNoProjectFileAbove(rootDir);
}

Sandbox::~Sandbox()
{
    std::error_code ignored;
    fs::remove_all(rootDir, ignored);
}

void Sandbox::write(const fs::path& file, const std::string& text) const
{
    fs::path full = workDir / file;
    fs::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot write " + full.string());
}

std::string Sandbox::read(const fs::path& file) const { return slurp(workDir / file); }

fs::path Sandbox::registryFile() const { return homeDir / ".config" / "zarn" / ".zarn_registry.txt"; }

RunResult Sandbox::run(const std::vector<std::string>& args, const fs::path& cwd,
                       const std::vector<std::string>& env) const
{
    const fs::path dir = workDir / cwd;
    const fs::path outFile = rootDir / "stdout.txt";
    const fs::path errFile = rootDir / "stderr.txt";

    std::vector<std::string> overrides = env;
    if (std::none_of(env.begin(), env.end(), [](const std::string& e) { return envName(e) == "HOME"; }))
        overrides.push_back("HOME=" + homeDir.string());
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string name = envName(*e);
        if (std::none_of(overrides.begin(), overrides.end(), [&](const std::string& o) { return envName(o) == name; }))
            environment.push_back(*e);
    }
    for (const auto& o : overrides)
        if (o.find('=') != std::string::npos)
            environment.push_back(o);

    std::vector<std::string> argStrings{ZARN_BINARY};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv = pointers(argStrings);
    std::vector<char*> envp = pointers(environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    pid_t pid = 0;
    int rc = posix_spawn(&pid, ZARN_BINARY, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::system_error(rc, std::generic_category(), "posix_spawn " ZARN_BINARY);

    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0) {
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "waitpid");
    }
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = slurp(outFile);
    result.err = slurp(errFile);
    return result;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

void expectRuns(const Sandbox& box, const std::vector<Run>& runs)
{
    for (const Run& run : runs) {
        const auto result = box.run(run.args, run.cwd, run.env);
        std::string where = "in '" + run.cwd + "':";
        for (const auto& arg : run.args)
            where += " " + arg;
        EXPECT_EQ(result.status, run.status) << where;
        EXPECT_EQ(result.out, run.out) << where;
        EXPECT_EQ(result.err, "") << where;
    }
}

}  // namespace E2e
