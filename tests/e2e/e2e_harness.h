// Runs the built zarn program in a throw-away directory tree with its own HOME.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace E2e {

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;  // the exit status, or 128 + the signal number
};

// A fresh tree under /tmp: "home" serves as HOME, "work" as the project
// directory. Removed again on destruction.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::filesystem::path& root() const { return rootDir; }
    const std::filesystem::path& home() const { return homeDir; }
    const std::filesystem::path& work() const { return workDir; }

    // Writes a file below work(), making its directories. An absolute path is
    // taken as it is.
    void write(const std::filesystem::path& file, const std::string& text) const;
    // The whole content of a file below work() (or an absolute path); throws
    // when it cannot be read.
    std::string read(const std::filesystem::path& file) const;

    // Runs zarn with the arguments in work() (or in the given directory,
    // relative to work()), stdin from /dev/null. Extra environment entries
    // ("NAME=value") replace inherited ones; "NAME" alone removes one.
    RunResult run(const std::vector<std::string>& args, const std::filesystem::path& cwd = {},
                  const std::vector<std::string>& env = {}) const;

    // The registry file under home().
    std::filesystem::path registryFile() const;

private:
    std::filesystem::path rootDir;
    std::filesystem::path homeDir;
    std::filesystem::path workDir;
};

// Splits a text into its lines (without the newlines).
std::vector<std::string> lines(const std::string& text);

// A run in a directory below work(), and its exact status and output.
struct Run {
    std::string cwd;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::vector<std::string> env = {};
};

// Makes each run in turn and checks its status and its whole output (and
// that nothing went to standard error).
void expectRuns(const Sandbox& box, const std::vector<Run>& runs);

}  // namespace E2e
