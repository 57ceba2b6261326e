#include "tools/zarn_gnu_toolchain.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "test_support.h"
#include "tools/zarn_compiler_probe_cache.h"
#include "tools/zarn_gnu_matcher.h"

namespace {

using namespace TestSupport;
using namespace Zarn;
namespace fs = std::filesystem;

// A compiler that reports the given machine and version and leaves real work
// to the machine's gcc.
std::string fakeCompiler(const std::string& machine, const std::string& version)
{
    return "#!/bin/sh\ncase \"$1\" in\n  -dumpmachine) echo " + machine + ";;\n  -dumpfullversion|-dumpversion) echo " +
           version + ";;\n  *) exec /usr/bin/gcc \"$@\";;\nesac\n";
}

void script(const TempDir& dir, const std::string& file, const std::string& text)
{
    fs::permissions(dir.write(file, text), fs::perms::owner_all);
}

// bin/ under the directory: gcc and g++ of that machine and version, ar and
// ld, and objcopy unless told otherwise.
void fakeToolchain(const TempDir& dir, const std::string& bin, const std::string& version,
                   const std::vector<std::string>& programs = {"gcc", "g++", "ar", "ld", "objcopy"})
{
    for (const std::string& program : programs) {
        const bool compiler = program.find("gcc") != std::string::npos || program.find("g++") != std::string::npos;
        script(dir, bin + "/" + program, compiler ? fakeCompiler("x86_64-linux-gnu", version) : "#!/bin/sh\nexit 0\n");
    }
}

KeySet wantsFor(const fs::path& root, std::vector<Assignment> more = {})
{
    KeySet wants;
    wants.emplace("toolchain_path", set("toolchain_path", str(root.string())));
    for (const Assignment& assignment : more)
        wants.emplace(assignment.name, assignment);
    return wants;
}

std::vector<std::string> toolNames(const Matcher& matcher)
{
    std::vector<std::string> names;
    for (const auto& tool : dynamic_cast<const GNUMatcher&>(matcher).tools)
        names.push_back(tool->getName());
    return names;
}

TEST(GnuToolchain, ProgramLookupOrder)
{
    const struct { std::vector<std::string> files; std::string prefix, suffix, found; } cases[] = {
        {{"gcc", "x86_64-linux-gnu-gcc"}, "x86_64-linux-gnu", "", "x86_64-linux-gnu-gcc"},
        {{"gcc.exe"}, "x86_64-linux-gnu", "", "gcc.exe"},
        {{"gcc", "-gcc"}, "", "", "-gcc"},
        {{"gcc"}, "", "", "gcc"},
        {{"gcc", "gcc-12", "x86_64-linux-gnu-gcc"}, "x86_64-linux-gnu", "-12", "gcc-12"},
        {{"gcc-12", "x86_64-linux-gnu-gcc-12"}, "x86_64-linux-gnu", "-12", "x86_64-linux-gnu-gcc-12"},
        {{"gcc-11"}, "x86_64-linux-gnu", "-12", ""},
        // A prefixed name longer than the file system allows is not there.
        {{"gcc"}, std::string(300, 'x'), "", "gcc"},
    };
    for (const auto& c : cases) {
        TempDir bin;
        for (const std::string& file : c.files)
            bin.write(file);
        const fs::path found = findGnuToolExecutable(bin.path(), c.prefix, "gcc", c.suffix);
        EXPECT_EQ(found.empty() ? "" : found.filename().string(), c.found) << c.files.back();
        if (!found.empty()) {
            EXPECT_EQ(found.parent_path(), bin.path());
        }
    }
}

TEST(GnuToolchain, FactoryErrors)
{
    TempDir root;
    const struct { KeySet wants; std::string error; } cases[] = {
        {KeySet{{"arch", set("arch", str("x86_64"))}}, "Zarn: GNUMatcher requires want variable 'toolchain_path'."},
        {wantsFor(root.path()), "Zarn: Couldn't find GNU toolchain from provided 'wants' variables."},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::string log = captureLog(0, [&] { error = errorOf([&] { createGnuMatcher("gnu", c.wants, {}); }); });
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(log.find("Compiler at"), std::string::npos);
    }
    fakeToolchain(root, "bin", "12.2.0", {"gcc", "g++", "ar"});
    // A run searches a directory once; this one changed since.
    forgetProbedBinDirectories();
    EXPECT_EQ(quietErrorOf([&] { createGnuMatcher("gnu", wantsFor(root.path()), {}); }),
              "Zarn: Required GNU tool missing: '" + (root / "bin" / "x86_64-linux-gnu-ld").string() + "'.");
}

TEST(GnuToolchain, OptionalProgramsAndTheNewestCompiler)
{
    const struct { std::vector<std::string> programs; std::string firstVersion, secondVersion; std::vector<std::string> tools; std::string chosen; } cases[] = {
        {{"gcc", "g++", "ar", "ld", "objcopy"}, "12.2.0", "13.1.0", {"gcc", "g++", "ar", "ld", "objcopy"}, "usr/bin"},
        {{"gcc", "g++", "ar", "ld"}, "13.1.0", "12.2.0", {"gcc", "g++", "ar", "ld"}, "bin"},
        {{"gcc", "ar", "ld"}, "12.2.0", "12.2.0", {"gcc", "ar", "ld"}, "bin"},
    };
    for (const auto& c : cases) {
        TempDir root;
        fakeToolchain(root, "bin", c.firstVersion, c.programs);
        fakeToolchain(root, "usr/bin", c.secondVersion, c.programs);
        std::unique_ptr<Matcher> matcher;
        const std::string log = captureLog(1, [&] { matcher = createGnuMatcher("gnu", wantsFor(root.path()), {}); });
        EXPECT_EQ(log, "Compiler at " + root.path().string() + " added.\n");
        EXPECT_EQ(toolNames(*matcher), c.tools);
        EXPECT_EQ(dynamic_cast<GNUMatcher&>(*matcher).compiler.binDir, root.path() / c.chosen);
    }
}

TEST(GnuToolchain, RunsTheCompilerOfTheProbedVersion)
{
    TempDir root;
    fakeToolchain(root, "bin", "13.1.0", {"gcc", "g++", "ar", "ld"});
    fakeToolchain(root, "bin", "12.2.0", {"gcc-12", "g++-12"});
    std::unique_ptr<Matcher> older;
    captureLog(8, [&] {
        older = createGnuMatcher("gnu", wantsFor(root.path(), {set("toolchain_version", str("12.2.0"))}), {});
    });
    EXPECT_EQ(toolNames(*older), (std::vector<std::string>{"gcc-12", "g++-12", "ar", "ld"}));

    // A wrapper probed in the compiler's place is never run as the compiler.
    TempDir wrapped;
    fakeToolchain(wrapped, "bin", "12.2.0", {"c99-gcc", "gcc", "g++", "ar", "ld"});
    std::unique_ptr<Matcher> plain;
    captureLog(8, [&] { plain = createGnuMatcher("gnu", wantsFor(wrapped.path()), {}); });
    EXPECT_EQ(toolNames(*plain).at(0), "gcc");
}

std::string machineOfGcc()
{
    FILE* pipe = popen("gcc -dumpmachine", "r");
    char buffer[256] = {};
    const bool read = pipe && fgets(buffer, sizeof buffer, pipe);
    if (pipe)
        pclose(pipe);
    std::string text = read ? buffer : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

TEST(GnuToolchain, MachinesOwnToolchain)
{
    const std::string machine = machineOfGcc();
    ASSERT_FALSE(machine.empty());
    std::unique_ptr<Matcher> matcher;
    captureLog(8, [&] { matcher = createGnuMatcher("gnu", wantsFor("/usr/bin"), {}); });
    // The compilers may carry the version suffix of the file probed first.
    const std::vector<std::string> names = toolNames(*matcher);
    const std::vector<std::string> programs{"gcc", "g++", "ar", "ld", "objcopy"};
    ASSERT_EQ(names.size(), programs.size());
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(names[i].rfind(machine + "-" + programs[i], 0), 0u) << names[i];
}

}  // namespace
