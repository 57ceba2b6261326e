// A stand-in for the C3 compiler: a small shell script that answers
// "--version" with a baked text and, for a build call, checks its mode word
// and sources, creates the -o file and logs what it was given. Nothing of
// gtest or zarn, so the end-to-end tests can use it too.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/fake_toolchain.h"

namespace FakeC3c {

// What the compiler's own banner looks like: the version after a label that
// itself holds a digit, then more lines with numbers of their own.
inline std::string banner(const std::string& version)
{
    return "C3 Compiler Version:       " + version +
           "\nInstalled directory:       /opt/c3/\nLLVM version:              17.0.6\n";
}

struct Options {
    std::string versionOutput = banner("0.6.1");  // printed for "--version"
    int versionStatus = 0;                        // exit status of "--version"
    int buildStatus = 0;                          // exit status of a build call that passes its checks
    bool versionHangs = false;                    // "--version" never answers
};

// The log of a fake compiler: "<file>.log" beside it.
inline std::filesystem::path logOf(const std::filesystem::path& compiler)
{
    return compiler.string() + ".log";
}

// Writes an executable fake compiler at `file` (directories made) and returns
// the path. Every call appends "CALL <cwd>", one "ARG <argument>" line per
// argument and "PATH <PATH>" to the log.
inline std::filesystem::path write(const std::filesystem::path& file, const Options& options = {})
{
    std::filesystem::create_directories(file.parent_path());
    std::string script = "#!/bin/sh\n"
                         "log=" + FakeToolchain::shellQuote(logOf(file).string()) + "\n"
                         "{ printf 'CALL %s\\n' \"$(pwd)\"\n"
                         "  for a in \"$@\"; do printf 'ARG %s\\n' \"$a\"; done\n"
                         "  printf 'PATH %s\\n' \"$PATH\"; } >> \"$log\"\n"
                         "if [ \"$#\" -eq 1 ] && [ \"$1\" = --version ]; then\n" +
                         std::string(options.versionHangs ? "  sleep 600\n" : "") +
                         "  printf '%s\\n' " + FakeToolchain::shellQuote(options.versionOutput) + "\n"
                         "  exit " + std::to_string(options.versionStatus) + "\n"
                         "fi\n"
                         "out=; mode=\n"
                         "while [ \"$#\" -gt 0 ]; do\n"
                         "  case \"$1\" in\n"
                         "    -o|-L|-l|-z) [ \"$#\" -ge 2 ] || exit 2\n"
                         "      [ \"$1\" = -o ] && out=\"$2\"\n"
                         "      shift 2; continue ;;\n"
                         "    compile|compile-test|static-lib|dynamic-lib) mode=\"$1\"; shift; break ;;\n"
                         "  esac\n"
                         "  shift\n"
                         "done\n"
                         "[ -n \"$mode\" ] || { echo 'fake c3c: no mode given' >&2; exit 2; }\n"
                         "[ \"$#\" -gt 0 ] || { echo 'fake c3c: no sources given' >&2; exit 2; }\n"
                         "for src in \"$@\"; do\n"
                         "  [ -f \"$src\" ] || { echo \"fake c3c: no source $src\" >&2; exit 2; }\n"
                         "done\n"
                         "[ -n \"$out\" ] && : > \"$out\"\n"
                         "exit " + std::to_string(options.buildStatus) + "\n";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << script;
    if (chmod(file.c_str(), 0755) != 0)
        throw std::runtime_error("cannot make " + file.string() + " executable");
    return file;
}

// One logged call of a fake compiler.
struct Call {
    std::string cwd;
    std::vector<std::string> args;
    std::string path;  // the PATH it ran with
};

// The calls logged so far, in order; none when nothing ran.
inline std::vector<Call> calls(const std::filesystem::path& compiler)
{
    std::vector<Call> result;
    std::ifstream in(logOf(compiler));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("CALL ", 0) == 0)
            result.push_back(Call{line.substr(5), {}, {}});
        else if (!result.empty() && line.rfind("ARG ", 0) == 0)
            result.back().args.push_back(line.substr(4));
        else if (!result.empty() && line.rfind("PATH ", 0) == 0)
            result.back().path = line.substr(5);
    }
    return result;
}

// The calls that were builds, not "--version" probes.
inline std::vector<Call> buildCalls(const std::filesystem::path& compiler)
{
    std::vector<Call> builds;
    for (Call& call : calls(compiler))
        if (call.args != std::vector<std::string>{"--version"})
            builds.push_back(std::move(call));
    return builds;
}

// How often the compiler was asked "--version".
inline std::size_t versionCalls(const std::filesystem::path& compiler)
{
    return calls(compiler).size() - buildCalls(compiler).size();
}

}  // namespace FakeC3c
