#include "e2e/e2e_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/utsname.h>
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
#include <utility>

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

namespace {

int spawnCount = 0;

// Starts the program; its output goes to the two files.
pid_t spawnZarn(const Sandbox& box, const std::vector<std::string>& args, const fs::path& cwd,
                const std::vector<std::string>& env, const fs::path& outFile, const fs::path& errFile,
                bool ownGroup)
{
    const fs::path dir = box.work() / cwd;
    std::vector<std::string> overrides = env;
    if (std::none_of(env.begin(), env.end(), [](const std::string& e) { return envName(e) == "HOME"; }))
        overrides.push_back("HOME=" + box.home().string());
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
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid = 0;
    int rc = posix_spawn(&pid, ZARN_BINARY, &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0)
        throw std::system_error(rc, std::generic_category(), "posix_spawn " ZARN_BINARY);
    return pid;
}

RunResult reap(pid_t pid, const fs::path& outFile, const fs::path& errFile)
{
    int wstatus = 0;
    struct rusage usage {};
    while (wait4(pid, &wstatus, 0, &usage) < 0) {
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "wait4");
    }
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.peakKilobytes = usage.ru_maxrss;
    result.out = slurp(outFile);
    result.err = slurp(errFile);
    return result;
}

}  // namespace

RunResult Sandbox::run(const std::vector<std::string>& args, const fs::path& cwd,
                       const std::vector<std::string>& env) const
{
    const fs::path outFile = rootDir / "stdout.txt";
    const fs::path errFile = rootDir / "stderr.txt";
    return reap(spawnZarn(*this, args, cwd, env, outFile, errFile, false), outFile, errFile);
}

Sandbox::Background Sandbox::start(const std::vector<std::string>& args, const fs::path& cwd,
                                   const std::vector<std::string>& env) const
{
    const std::string n = std::to_string(++spawnCount);
    const fs::path outFile = rootDir / ("stdout." + n + ".txt");
    const fs::path errFile = rootDir / ("stderr." + n + ".txt");
    return Background(spawnZarn(*this, args, cwd, env, outFile, errFile, true), outFile, errFile);
}

Sandbox::Background::Background(int pid, fs::path outFile, fs::path errFile)
    : pid(pid), outFile(std::move(outFile)), errFile(std::move(errFile))
{
}

Sandbox::Background::Background(Background&& other) noexcept
    : pid(std::exchange(other.pid, -1)), outFile(std::move(other.outFile)), errFile(std::move(other.errFile))
{
}

Sandbox::Background::~Background()
{
    if (pid > 0) {
        killGroup(SIGKILL);
        int ignored = 0;
        waitpid(pid, &ignored, 0);
    }
}

RunResult Sandbox::Background::wait()
{
    const RunResult result = reap(pid, outFile, errFile);
    pid = -1;
    return result;
}

void Sandbox::Background::killGroup(int signal) const
{
    if (pid > 0)
        ::kill(-pid, signal);
}

void Sandbox::Background::killProgram(int signal) const
{
    if (pid > 0)
        ::kill(pid, signal);
}

bool Sandbox::Background::ended() const
{
    siginfo_t info{};
    return pid > 0 && waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

FileSizeLimit::FileSizeLimit(unsigned long bytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    savedLimit = limit.rlim_cur;
    savedHandler = signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::system_error(errno, std::generic_category(), "setrlimit");
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = savedLimit;
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, savedHandler);
}

bool waitForFile(const fs::path& file, int timeoutMilliseconds)
{
    for (int waited = 0; waited < timeoutMilliseconds; waited += 5) {
        if (fs::exists(file))
            return true;
        usleep(5000);
    }
    return fs::exists(file);
}

std::string runProgram(const fs::path& program)
{
    FILE* pipe = popen(("'" + program.string() + "'").c_str(), "r");
    if (!pipe)
        return "(cannot run)";
    std::string output;
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

fs::path findFile(const fs::path& root, const std::string& name)
{
    std::error_code ignored;
    for (fs::recursive_directory_iterator it(root, ignored), end; it != end; it.increment(ignored))
        if (it->path().filename() == name && it->is_regular_file(ignored))
            return it->path();
    return {};
}

std::string machineArch()
{
    struct utsname machine {};
    return uname(&machine) == 0 ? machine.machine : "";
}

std::string gnuToolDefinition(const std::string& name, const fs::path& directory)
{
    return "  " + name + " {\n    tool_type = \"gnu-gcc\"\n    toolchain_path = \"" + directory.string() + "\"\n  }\n";
}

std::string chosenTool(const std::string& out, const std::string& target)
{
    const std::string mark = "[" + target + "] Tool       : ";
    const size_t at = out.find(mark);
    if (at == std::string::npos)
        return {};
    const size_t start = at + mark.size();
    return out.substr(start, out.find('\n', start) - start);
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
