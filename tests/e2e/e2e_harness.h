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
    long peakKilobytes = 0;  // the most memory the run held at once (of zarn or of a recipe)
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

    // A run started in the background, in a process group of its own so that
    // it can be killed with its recipes.
    class Background {
    public:
        ~Background();  // kills the group and reaps the run if still going
        Background(Background&& other) noexcept;
        Background(const Background&) = delete;
        Background& operator=(const Background&) = delete;

        // Waits for the end of the run.
        RunResult wait();
        // Sends the signal to the whole process group.
        void killGroup(int signal) const;
        // Sends the signal to zarn alone, as "kill PID" does.
        void killProgram(int signal) const;
        // True once zarn has ended (it is not reaped: wait() still reports it).
        bool ended() const;

    private:
        friend class Sandbox;
        Background(int pid, std::filesystem::path outFile, std::filesystem::path errFile);
        int pid = -1;
        std::filesystem::path outFile;
        std::filesystem::path errFile;
    };

    // Starts zarn like run() without waiting for it; each run started has
    // output files of its own.
    Background start(const std::vector<std::string>& args, const std::filesystem::path& cwd = {},
                     const std::vector<std::string>& env = {}) const;

private:
    std::filesystem::path rootDir;
    std::filesystem::path homeDir;
    std::filesystem::path workDir;
};

// While it lives, writes to regular files stop at `bytes` bytes (EFBIG, as
// on a full disk), for this process and the runs it starts; SIGXFSZ is
// ignored meanwhile.
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long savedLimit = 0;
    void (*savedHandler)(int) = nullptr;
};

// Waits up to the timeout for the file to exist; true when it does.
bool waitForFile(const std::filesystem::path& file, int timeoutMilliseconds);

// What a program prints on standard output when run without arguments.
std::string runProgram(const std::filesystem::path& program);

// The regular file of that name below the directory, or an empty path.
std::filesystem::path findFile(const std::filesystem::path& root, const std::string& name);

// The processor of this machine, as the kernel names it ("x86_64").
std::string machineArch();

// A "gnu-gcc" tool definition of that name over the directory, for a
// "tools" block.
std::string gnuToolDefinition(const std::string& name, const std::filesystem::path& directory);

// The program that `-v 3` output says builds the target ("unit::target");
// empty when it names none.
std::string chosenTool(const std::string& out, const std::string& target);

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
