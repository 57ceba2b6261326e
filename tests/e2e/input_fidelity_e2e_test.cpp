// What the user wrote is what runs: names taken from the file system are
// never expanded, no byte of the input is dropped, and an append changes
// only the variable it names.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/e2e_harness.h"

namespace fs = std::filesystem;

namespace {

using E2e::Sandbox;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Directory names that look like references build like any other.
TEST(InputFidelityE2e, ProjectsBuildInDirectoriesNamedLikeReferences)
{
    for (const std::string dir : {"issue#12", "p${x}", "q#{x}#1"}) {
        Sandbox box;
        // Without a project file: the built-in paths and a glob match.
        box.write(dir + "/a.c", "");
        box.write(dir + "/zarn.txt", "unit u\nt: {\n  x = \"X\"\n  srcs = P\"(*.c)\"\n"
                                     "  cmdline = \"echo 'root=${project_root} cwd=${cwd} srcs=${srcs}'\"\n}\n");
        const fs::path root = box.work() / dir;
        const auto plain = box.run({}, dir);
        EXPECT_EQ(plain.status, 0) << dir << ": " << plain.out;
        EXPECT_TRUE(contains(plain.out, "\nroot=" + root.string() + " cwd=" + root.string() + " srcs=" +
                                            (root / "a.c").string() + "\n"))
            << dir << ": " << plain.out;

        // With a project file: its relative path literals expand only what
        // was written, never the project's directory.
        box.write(dir + "/.zarn_project.txt", "name p\nunits { u { \"zarn.txt\" } }\n"
                                              "profiles { default { arch = \"x86\" inc = P\"(inc/${arch})\" } }\n");
        box.write(dir + "/zarn.txt", "unit u\nt: {\n  x = \"X\"\n  cmdline = \"echo 'root=${project_root} inc=${inc}'\"\n}\n");
        const auto project = box.run({}, dir);
        EXPECT_EQ(project.status, 0) << dir << ": " << project.out;
        EXPECT_TRUE(contains(project.out, "\nroot=" + root.string() + " inc=" + (root / "inc/x86").string() + "\n"))
            << dir << ": " << project.out;
    }
}

// The files a toolchain makes carry the project's directory; a dependent
// takes them as they are, built or reused from the cache.
TEST(InputFidelityE2e, ToolchainProductsKeepTheirDirectory)
{
    for (const std::string dir : {"issue#12", "p${x}"}) {
        Sandbox box;
        box.write(box.registryFile(), "tools {\n  gnu-gcc {\n    tool_type = \"gnu-gcc\"\n"
                                      "    toolchain_path = \"/usr/bin\"\n  }\n}\n");
        box.write(dir + "/lib/add.c", "int add(int a, int b) { return a + b; }\n");
        box.write(dir + "/main.c", "#include <stdio.h>\nint add(int, int);\n"
                                   "int main(void) { printf(\"%d\\n\", add(40, 2)); return 0; }\n");
        box.write(dir + "/zarn.txt", "unit calc\n"
                                     "app: core { C_FILES = P\"(main.c)\" LIB = core.lib OUTPUT_NAME = \"calc\"\n"
                                     "  OUTPUT_DIR = P\"(bin)\" }\n"
                                     "core: +core_objs { OBJS OUTPUT_NAME = \"libcore.a\" }\n"
                                     "core_objs: { C_FILES = P\"(lib/*.c)\" C_FLAGS = \"-c\" }\n");
        for (const char* run : {"built", "reused"}) {
            const auto result = box.run({"-v", "6", "x=\"X\""}, dir);
            EXPECT_EQ(result.status, 0) << dir << ", " << run << ": " << result.out << result.err;
        }
        // The harness runs only zarn: the program runs as a command.
        box.write(dir + "/run/zarn.txt", "t: { cmdline = R\"('" + (box.work() / dir / "bin/calc").string() +
                                             "' > ../result.txt)\" }\n");
        EXPECT_EQ(box.run({}, dir + "/run").status, 0) << dir;
        EXPECT_EQ(box.read(dir + "/result.txt"), "42\n") << dir;
    }
}

TEST(InputFidelityE2e, NulBytesAreRefusedWithTheirPosition)
{
    Sandbox box;
    const std::string nul(1, '\0');
    box.write("zarn.txt", "unit u\nt: { cmdline = \"touch ran\xC3\xA9" + nul + "; touch hidden\" }\n");
    const auto unit = box.run({});
    EXPECT_EQ(unit.status, 1);
    EXPECT_EQ(unit.out, "Error: Unable to read " + (box.work() / "zarn.txt").string() +
                            ": a NUL byte at line 2, column 27.\n");
    EXPECT_FALSE(fs::exists(box.work() / "ran\xC3\xA9"));

    box.write("zarn.txt", "unit u\nt: { NO_TOOL }\n");
    box.write(".zarn_project.txt", "name p\nunits { u { \"zarn.txt\" } }" + nul + "\n");
    const auto project = box.run({});
    EXPECT_EQ(project.status, 1);
    EXPECT_EQ(project.out, "Error: Unable to read " + (box.work() / ".zarn_project.txt").string() +
                               ": a NUL byte at line 2, column 27.\n");
}

// A character the lexer cannot read fails the load instead of being dropped
// from the command.
TEST(InputFidelityE2e, LexicalErrorsFailTheUnitFile)
{
    for (const std::string stray : {"~", "$", "`"}) {
        Sandbox box;
        box.write("zarn.txt", "unit u\nt: { cmdline = \"touch ran\" " + stray + " }\n");
        const auto result = box.run({});
        EXPECT_EQ(result.status, 1) << stray;
        EXPECT_EQ(result.out,
                  "Error: " + (box.work() / "zarn.txt").string() + " Parsing failed due to syntax errors.\n")
            << stray;
        EXPECT_EQ(result.err, "line 2:27 token recognition error at: '" + stray + "'\n") << stray;
        EXPECT_FALSE(fs::exists(box.work() / "ran")) << stray;
    }
}

// A message about a unit file quotes each token short and printable, and its
// diagnosis whole: a string left open takes in the whole rest of the file,
// and a token may be of any length.
TEST(InputFidelityE2e, SyntaxErrorsQuoteTheUnitFileShortAndPrintable)
{
    const std::string open = "R\"(\x1b[31m" + std::string(1 << 20, 'x');
    const std::string path = "P\"(" + std::string(1 << 20, 'x') + ")\"";
    const std::string expecting = "expecting {LINE_COMMENT, BLOCK_COMMENT, '}', '^', '!', 'if', IDENTIFIER}\n";
    const std::pair<std::string, std::string> cases[] = {
        {open, "line 2:28 token recognition error at: '\"(\\x1b[31m" + std::string(30, 'x') +
                   "...'\nline 3:0 extraneous input '<EOF>' " + expecting},
        {path + " " + path, "line 2:27 extraneous input 'P\"(" + std::string(37, 'x') + "...' " + expecting},
    };
    for (const auto& [written, err] : cases) {
        Sandbox box;
        box.write("zarn.txt", "unit u\nt: { cmdline = \"touch ran\" " + written + " }\n");
        const auto result = box.run({});
        EXPECT_EQ(result.status, 1) << err;
        EXPECT_EQ(result.out,
                  "Error: " + (box.work() / "zarn.txt").string() + " Parsing failed due to syntax errors.\n");
        EXPECT_EQ(result.err.substr(0, 1000), err);
        EXPECT_FALSE(fs::exists(box.work() / "ran")) << err;
    }
}

TEST(InputFidelityE2e, LexicalErrorsFailACommandLineAssignment)
{
    Sandbox box;
    box.write("zarn.txt", "unit u\nt: { flags = \"-O2\" cmdline = \"echo ${flags} > ran\" }\n");
    for (const std::string argument : {"flags=-O0", "flags=\"-O0\" ~"}) {
        const auto result = box.run({argument});
        EXPECT_EQ(result.status, 1) << argument;
        EXPECT_EQ(result.out, "Parsing assignment failed due to syntax errors.\n") << argument;
        EXPECT_TRUE(contains(result.err, "token recognition error")) << argument << ": " << result.err;
        EXPECT_FALSE(fs::exists(box.work() / "ran")) << argument;
    }
    // The same value written in the language's syntax is taken.
    EXPECT_EQ(box.run({"flags=\"-O0\""}).status, 0);
    EXPECT_EQ(box.read("ran"), "-O0\n");
}

TEST(InputFidelityE2e, AnAppendChangesOnlyTheVariableItNames)
{
    Sandbox box;
    // Within one target: x refers to y, and the command line appends to x.
    box.write("zarn.txt", "unit u\nt: { y = \"Y\" x = y NO_TOOL }\n");
    const auto one = box.run({"-v", "3", "x+=\"a\""});
    EXPECT_EQ(one.status, 0) << one.out;
    EXPECT_TRUE(contains(one.out, "[u::t] x = \"Y a\"\n")) << one.out;
    EXPECT_TRUE(contains(one.out, "[u::t] y = \"Y\"\n")) << one.out;

    // Through another context: x and y both refer to the output of the
    // dependency a.
    box.write("zarn.txt", "unit u\nall: a { x = a.o y = a.o NO_TOOL }\na: { NO_TOOL ^o = \"A\" }\n");
    const auto across = box.run({"-v", "3", "x+=\"z\""});
    EXPECT_EQ(across.status, 0) << across.out;
    EXPECT_TRUE(contains(across.out, "[u::all] x = \"A z\"\n")) << across.out;
    EXPECT_TRUE(contains(across.out, "[u::all] y = \"A\"\n")) << across.out;
}

}  // namespace
