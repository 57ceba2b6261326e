// Runs the examples of README.md as a new user would and checks that they
// give the output the README shows.
//
// A fenced block is an example when an HTML comment on the line before it
// says what to do with it:
//   <!-- file: DIR/NAME -->  write the block to that file
//   <!-- run: DIR -->        run the block's "$ " lines in DIR (made when
//                            missing) through the shell; the lines after each
//                            one are its whole standard output
// Paths are below the reader's home directory, shown as /home/me.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace fs = std::filesystem;

namespace {

const std::string shownHome = "/home/me";

struct Example {
    int line;            // of the marker in README.md
    std::string action;  // file or run
    std::string path;
    std::vector<std::string> body;
};

std::vector<Example> readExamples(const fs::path& readme)
{
    std::ifstream in(readme);
    std::vector<std::string> text;
    for (std::string line; std::getline(in, line);)
        text.push_back(line);

    std::vector<Example> examples;
    for (size_t i = 0; i < text.size(); ++i) {
        std::istringstream marker(text[i]);
        std::string open, action, path, close;
        if (!(marker >> open >> action >> path >> close) || open != "<!--" || close != "-->")
            continue;
        Example example{static_cast<int>(i + 1), action.substr(0, action.size() - 1), path, {}};
        if (i + 1 >= text.size() || text[i + 1].rfind("```", 0) != 0)
            ADD_FAILURE() << "README.md:" << example.line << ": no fenced block after the marker";
        for (i += 2; i < text.size() && text[i] != "```"; ++i)
            example.body.push_back(text[i]);
        examples.push_back(example);
    }
    return examples;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    return text;
}

struct ShellResult {
    std::string out;
    std::string err;
    int status;
};

// Runs one command line through the shell as the reader would, with the
// freshly built zarn first on PATH.
ShellResult runShell(const E2e::Sandbox& box, const fs::path& dir, const std::string& command)
{
    const fs::path errFile = box.root() / "shell-stderr.txt";
    const std::string script = "export HOME='" + box.home().string() + "' PATH='" +
                               fs::path(ZARN_BINARY).parent_path().string() + "':\"$PATH\"; cd '" +
                               dir.string() + "' && { " + command + "\n} </dev/null 2>'" + errFile.string() + "'";
    FILE* pipe = popen(script.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("popen failed");
    ShellResult result;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, n);
    const int wstatus = pclose(pipe);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.err = box.read(errFile);
    return result;
}

void runTranscript(const E2e::Sandbox& box, const Example& example)
{
    fs::path dir = box.home() / example.path;
    fs::create_directories(dir);
    if (example.body.empty() || example.body[0].rfind("$ ", 0) != 0)
        ADD_FAILURE() << "a transcript starts with a \"$ \" line";
    for (size_t i = 0; i < example.body.size();) {
        const std::string command = example.body[i].substr(2);
        std::vector<std::string> shown;
        for (++i; i < example.body.size() && example.body[i].rfind("$ ", 0) != 0; ++i)
            shown.push_back(example.body[i]);
        if (command.rfind("cd ", 0) == 0) {
            dir = (dir / command.substr(3)).lexically_normal();
            continue;
        }
        const auto result = runShell(box, dir, command);
        EXPECT_EQ(result.status, 0) << "$ " << command;
        EXPECT_EQ(replaceAll(result.out, box.home().string(), shownHome), joinLines(shown)) << "$ " << command;
        EXPECT_EQ(result.err, "") << "$ " << command;
    }
}

TEST(ReadmeExamplesE2e, EveryMarkedExampleGivesTheOutputShown)
{
    const auto examples = readExamples(fs::path(ZARN_SOURCE_DIR) / "README.md");
    ASSERT_GE(examples.size(), 20u) << "the markers of README.md were not found";

    E2e::Sandbox box;
    for (const auto& example : examples) {
        SCOPED_TRACE("README.md:" + std::to_string(example.line));
        if (example.action == "file")
            box.write(box.home() / example.path,
                      replaceAll(joinLines(example.body), shownHome, box.home().string()));
        else if (example.action == "run")
            runTranscript(box, example);
        else
            ADD_FAILURE() << "unknown action '" << example.action << "'";
    }
}

}  // namespace
