// Which program of a GNU toolchain makes a target's product, and what the
// product is: one table of targets, each built alone with the machine's own
// gcc, g++, ar, ld and objcopy.
#include <gtest/gtest.h>

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

// What a file is, by its header: "archive", "object", "image" (an ELF
// executable at a fixed address), "program" (one with an interpreter),
// "shared object" (adding " needing the C++ runtime" when it records
// libstdc++), or "data".
std::string kindOf(const std::string& bytes)
{
    if (bytes.rfind("!<arch>\n", 0) == 0)
        return "archive";
    Elf64_Ehdr header;
    if (bytes.size() < sizeof header || bytes.compare(0, SELFMAG, ELFMAG) != 0 || bytes[EI_CLASS] != ELFCLASS64)
        return "data";
    std::memcpy(&header, bytes.data(), sizeof header);
    if (header.e_type == ET_REL)
        return "object";
    if (header.e_type == ET_EXEC)
        return "image";
    for (size_t i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment;
        const size_t at = header.e_phoff + i * header.e_phentsize;
        if (at + sizeof segment > bytes.size())
            return "data";
        std::memcpy(&segment, bytes.data() + at, sizeof segment);
        if (segment.p_type == PT_INTERP)
            return "program";
    }
    if (bytes.find("libstdc++.so") != std::string::npos)
        return "shared object needing the C++ runtime";
    return "shared object";
}

// Whether the program's file name is the tool's, alone or after the
// toolchain's triplet ("x86_64-linux-gnu-g++").
bool isTool(const std::string& program, const std::string& tool)
{
    const size_t at = program.size() - std::min(program.size(), tool.size());
    return program.compare(at, std::string::npos, tool) == 0 && (at == 0 || program[at - 1] == '-');
}

// Targets that the rows build on: C objects and C++ objects compiled for a
// shared object, an object with main, and the README's library and shared
// object of C++.
const char* const commonTargets = R"z(
objs: {
  C_FILES = P"(src/twice.c)"
  C_FLAGS = "-O2 -fPIC -c"
}
cppobjs: {
  CPP_FILES = P"(src/area.cpp)"
  C_FLAGS = "-O2 -fPIC -c"
}
mainobjs: {
  C_FILES = P"(src/main.c)"
  C_FLAGS = "-O2 -c"
}
core: +objs {
  OBJS
  OUTPUT_NAME = "libcore.a"
}
shapes: +cppobjs {
  OBJS
  SO
  GPP
  C_FLAGS = "-shared"
  OUTPUT_NAME = "libshapes.so"
}
)z";

void writeSources(const Sandbox& box)
{
    box.write("include/calc.h", "int twice(int x);\n");
    box.write("src/twice.c", "int twice(int x) { return 2 * x; }\n");
    box.write("src/extra.c", "int tripled(int x) { return 3 * x; }\n");
    box.write("src/main.c", "#include <stdio.h>\nint twice(int);\n"
                            "int main(void) { printf(\"%d\\n\", twice(21)); return 0; }\n");
    box.write("src/area.cpp", "#include <stdexcept>\ndouble area(double side)\n{\n"
                              "    if (side < 0)\n        throw std::invalid_argument(\"negative side\");\n"
                              "    return side * side;\n}\n");
    box.write("src/main.cpp", "#include <iostream>\n#include <stdexcept>\ndouble area(double side);\n"
                              "int main()\n{\n    try {\n        area(-1);\n"
                              "    } catch (const std::invalid_argument& error) {\n"
                              "        std::cout << \"caught \" << error.what() << \"\\n\";\n    }\n}\n");
}

// A target built alone with one "gnu-gcc" definition for /usr/bin, its
// row's default profile and assignment on the command line: the program
// that makes its product, the product's file name, what kind of file it is,
// what it prints when it is a program, and a name it defines.
TEST(ProductToolE2e, EachTargetByTheToolOfItsProduct)
{
    const struct {
        const char* targets;  // beside the common ones, or a name of one; the first is built
        const char* profile;  // the assignments of the default profile
        const char* tool;
        const char* product;
        const char* kind;
        const char* prints = "";
        const char* holds = "";  // a name the product must define
        const char* given = "";  // an assignment on the command line
    } rows[] = {
        // A target without sources that declares its product.
        {"lib: +objs { OBJS SO C_FLAGS = \"-O2\" C_DEFINES = \"X\" }", "", "ld", "lib", "shared object"},
        {"lib: +objs { OBJS SO = \"1\" C_FLAGS = \"-fPIC\" }", "", "ld", "lib", "shared object"},
        {"lib: +objs { OBJS SO OUTPUT_NAME = \"libx.so\" }", "STATIC", "ld", "libx.so", "shared object"},
        {"lib: +cppobjs { OBJS SO GPP C_FLAGS = \"-shared\" }", "GCC", "g++", "lib",
         "shared object needing the C++ runtime"},
        {"lib: +cppobjs { OBJS SO GPP C_FLAGS = \"-shared\" }", "", "g++", "lib",
         "shared object needing the C++ runtime"},
        {"lib: +objs { OBJS SO GCC C_FLAGS = \"-shared\" }", "", "gcc", "lib", "shared object"},
        {"lib: +objs { OBJS SO }", "C_FLAGS ?= \"-O2\" INCLUDE ?= P\"(include)\" LIB ?= \"-lm\"", "ld", "lib",
         "shared object"},
        {"lib: +objs { OBJS STATIC }", "SO", "ar", "lib", "archive"},
        // Inherited sources, even none, are not the target's own.
        {"lib: +objs { OBJS SO }", "C_FILES ?= [] C_FLAGS ?= \"-O2\" LIB ?= \"-lm\"", "ld", "lib", "shared object"},
        // The README's library and program, its shared object of C++ with
        // its program, and its library over two targets of objects.
        {"core_objs: { C_FILES = P\"(src/twice.c)\" C_FLAGS = \"-O2 -Wall -c\" C_DEFINES = \"NDEBUG\" "
         "INCLUDE = P\"(include)\" }",
         "", "gcc", "twice.o", "object"},
        {"core", "", "ar", "libcore.a", "archive"},
        {"app: core { C_FILES = P\"(src/main.c)\" C_FLAGS = \"-O2 -Wall\" INCLUDE = P\"(include)\" LIB = core.lib "
         "OUTPUT_NAME = \"calc\" }",
         "", "gcc", "calc", "program", "42\n"},
        {"cppobjs", "", "g++", "area.o", "object"},
        {"shapes", "", "g++", "libshapes.so", "shared object needing the C++ runtime"},
        {"app: shapes { CPP_FILES = P\"(src/main.cpp)\" LIB = shapes.binary }", "", "g++", "app", "program",
         "caught negative side\n"},
        {"lib: +objs +mainobjs { OBJS OUTPUT_NAME = \"libcore.a\" }", "", "ar", "libcore.a", "archive"},
        // The README's rule of thumb, one variable at a time.
        {"prog: +mainobjs +objs { OBJS }", "", "gcc", "prog", "program", "42\n"},
        {"prog: +mainobjs +objs { OBJS GPP }", "", "g++", "prog", "program", "42\n"},
        {"prog: +mainobjs +objs { OBJS STATIC = 1 }", "", "gcc", "prog", "program", "42\n"},
        {"lib: +objs { OBJS AR }", "", "ar", "lib", "archive"},
        {"lib: +objs { OBJS STATIC OUTPUT_NAME = \"libbare\" }", "", "ar", "libbare", "archive"},
        {"lib: +objs { OBJS SHARED OUTPUT_NAME = \"\" }", "", "ld", "lib.so", "shared object"},
        {"lib: +objs { OBJS KO OUTPUT_NAME = \"\" }", "", "ld", "lib.ko", "image"},
        {"lib: +objs { OBJS LD OUTPUT_NAME = \"\" }", "", "ld", "lib.elf", "image"},
        {"bin: prog { INPUT = prog.binary OBJCOPY_FLAGS = \"-O binary\" OUTPUT_NAME = \"prog.bin\" }\n"
         "prog: +mainobjs +objs { OBJS }",
         "", "objcopy", "prog.bin", "data"},
        // Sources of its own, which ar and ld would leave out: gcc or g++
        // links them, as the scores say.
        {"lib: +objs { C_FILES = P\"(src/extra.c)\" C_FLAGS = \"-fPIC -shared\" OBJS SO }", "", "gcc", "lib",
         "shared object", "", "tripled"},
        {"lib: +objs +extra { C_FILES OBJS SO C_FLAGS = \"-fPIC -shared\" }\n"
         "extra: { ^C_FILES = P\"(src/extra.c)\" NO_TOOL }",
         "", "gcc", "lib", "shared object", "", "tripled"},
        // A bare one that the command line or a profile assigns is not the
        // target's own, also where it lands on the target's own assignment.
        {"lib: +objs { OBJS SO GCC = 1 }", "", "ld", "lib", "shared object"},
        {"lib: +objs { OBJS SO GCC = 1 }", "", "ld", "lib", "shared object", "", "", "GCC"},
        {"lib: +objs { OBJS SO GCC = 1 }", "GCC", "ld", "lib", "shared object"},
        {"lib: +objs { OBJS SO EXE = 1 }", "", "ld", "lib", "shared object", "", "", "EXE"},
        {"lib: +objs { OBJS SO EXE = 1 }", "EXE", "ld", "lib", "shared object"},
        {"lib: +objs { OBJS SO GPP = 1 }", "", "ld", "lib", "shared object", "", "", "GPP"},
        {"lib: +objs { OBJS SO GPP = 1 }", "GPP", "ld", "lib", "shared object"},
        {"lib: +objs { OBJS SO STATIC = 1 }", "", "ld", "lib", "shared object", "", "", "STATIC"},
        {"lib: +objs { OBJS SO STATIC = 1 }", "STATIC", "ld", "lib", "shared object"},
        // SHARED declares a shared object with any value: its own stays its
        // own, and beats a profile's STATIC.
        {"lib: +objs { OBJS SO SHARED = 1 }", "", "ld", "lib", "shared object", "", "", "SHARED"},
        {"lib: +objs { OBJS SO SHARED = 1 }", "SHARED", "ld", "lib", "shared object"},
        {"lib: +objs { OBJS SHARED = 1 }", "STATIC", "ld", "lib", "shared object", "", "", "SHARED"},
        // Its own bare one stays its own beside the same from the command
        // line.
        {"lib: +cppobjs { OBJS SO GPP C_FLAGS = \"-shared\" }", "", "g++", "lib",
         "shared object needing the C++ runtime", "", "", "GPP"},
        {"lib: +objs { OBJS STATIC }", "SO", "ar", "lib", "archive", "", "", "STATIC"},
    };
    for (const auto& row : rows) {
        const std::string targets = row.targets;
        SCOPED_TRACE(targets + " | profile: " + row.profile + " | command line: " + row.given);
        Sandbox box;
        box.write(box.registryFile(), "tools {\n" + E2e::gnuToolDefinition("gnu", "/usr/bin") + "}\n");
        box.write(".zarn_project.txt", "name demo\nunits {\n  demo { \"zarn.txt\" }\n}\n"
                                       "profiles {\n  default { " + std::string(row.profile) + " }\n}\n");
        const bool common = targets.find(':') == std::string::npos;
        box.write("zarn.txt", "unit demo\n" + (common ? "" : targets) + commonTargets);
        writeSources(box);
        const std::string target = targets.substr(0, targets.find_first_of(":\n"));
        std::vector<std::string> args{"-v", "3", target};
        if (*row.given)
            args.push_back(row.given);
        const auto result = box.run(args);
        EXPECT_EQ(result.status, 0) << result.out;
        const std::string chosen = fs::path(E2e::chosenTool(result.out, "demo::" + target)).filename();
        EXPECT_TRUE(isTool(chosen, row.tool)) << "made by " << chosen;
        const fs::path product = E2e::findFile(box.work() / "out", row.product);
        if (product.empty()) {
            ADD_FAILURE() << "no product " << row.product << "\n" << result.out;
            continue;
        }
        const std::string bytes = box.read(product);
        EXPECT_EQ(kindOf(bytes), row.kind);
        EXPECT_NE(bytes.find(row.holds), std::string::npos) << "no " << row.holds;
        if (*row.prints) {
            EXPECT_EQ(E2e::runProgram(product), row.prints);
        }
    }
}

}  // namespace
