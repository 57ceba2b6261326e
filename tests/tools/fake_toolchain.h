// Fake GNU toolchains for tests: a bin directory of small shell scripts named
// like compilers that answer the probe questions from baked values and hand
// every other call to the machine's real compiler, beside links to the real
// ar, ld and objcopy. Uses nothing of gtest or of zarn, so any test binary
// may link it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace FakeToolchain {

// How a fake compiler answers one probe question.
struct Answer {
    enum class Kind { Print, Fail, Hang };
    Kind kind = Kind::Print;
    std::string text;  // printed with a final newline (Print)

    static Answer print(std::string text) { return Answer{Kind::Print, std::move(text)}; }
    // Prints nothing and exits with status 1.
    static Answer fail() { return Answer{Kind::Fail, {}}; }
    // Never answers (sleeps for an hour).
    static Answer hang() { return Answer{Kind::Hang, {}}; }
};

// One fake compiler script.
struct Compiler {
    std::string name;  // file name in the bin directory: "gcc-12", "arm-none-eabi-g++", "gcc.exe"
    Answer machine = Answer::print("x86_64-linux-gnu");  // -dumpmachine
    Answer fullVersion = Answer::print("12.2.0");        // -dumpfullversion
    Answer version = Answer::print("12");                 // -dumpversion
    // Any other call: exec this program with the same arguments. Empty: log
    // the arguments, one per line, to "<bin dir>/<name>.log", create the file
    // named after "-o" (if any) and exit 0, for targets no real compiler has.
    std::string realProgram = "/usr/bin/gcc";
};

// A C compiler (or, with cplusplus, a C++ compiler) of the given machine
// and full version: -dumpversion answers the version's first number.
Compiler compiler(std::string name, std::string machine, std::string fullVersion, bool cplusplus = false);

// A bin directory of fakes, created (with its parents) when constructed and
// left in place afterwards: put it below a test's temporary directory.
class BinDir {
public:
    explicit BinDir(std::filesystem::path directory);

    const std::filesystem::path& path() const { return dir; }
    std::filesystem::path operator/(const std::string& name) const { return dir / name; }

    // Writes the compiler's script; returns its path.
    std::filesystem::path add(const Compiler& compiler) const;
    // add(compiler(...)) for the common case.
    std::filesystem::path addGcc(const std::string& name, const std::string& machine = "x86_64-linux-gnu",
                                 const std::string& fullVersion = "12.2.0") const;
    std::filesystem::path addGxx(const std::string& name, const std::string& machine = "x86_64-linux-gnu",
                                 const std::string& fullVersion = "12.2.0") const;
    // Links named <prefix>ar, <prefix>ld and <prefix>objcopy (prefix such as
    // "x86_64-linux-gnu-" or "") to the machine's real tools; withObjcopy
    // false leaves objcopy out.
    void addBinutils(const std::string& prefix = "", bool withObjcopy = true) const;
    // A symbolic link in the directory: an alias of another entry ("gcc" to
    // "gcc-12", or a non-compiler name such as "gnatgcc"), or of any path.
    std::filesystem::path addLink(const std::string& name, const std::filesystem::path& target) const;
    // An executable "#!/bin/sh" script with the given body, e.g. a wrapper.
    std::filesystem::path addScript(const std::string& name, const std::string& body) const;

private:
    std::filesystem::path dir;
};

// What the machine's real program prints for one argument (trimmed), e.g.
// realAnswer("gcc", "-dumpfullversion"); "" when it fails.
std::string realAnswer(const std::string& program, const std::string& argument);

// The text in single quotes for /bin/sh.
std::string shellQuote(const std::string& text);

}  // namespace FakeToolchain
