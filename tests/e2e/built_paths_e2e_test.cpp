// The files a toolchain builds, in a project whose directory name holds "*"
// or "?": a dependent that puts them into a path literal of its own gets
// exactly those files, never a sibling directory's that the name matches.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

// A library and a program; `run` starts the program through a path literal,
// `show` prints the library the same way.
const char* const unitFile = R"z(unit calc
app: core {
  C_FILES = P"(src/main.c)"
  LIB = core.lib
  OUTPUT_NAME = "calc"
}
core: +core_objs {
  OBJS
  OUTPUT_NAME = "libcore.a"
}
core_objs: {
  C_FILES = P"(lib/*.c)"
  C_FLAGS = "-c"
}
run: app {
  program = P"(${app.binary})"
  cmdline = "'${program}'"
}
show: core {
  library = P"(${core.lib})"
  cmdline = "echo '${library}'"
}
)z";

TEST(BuiltPathsE2e, ProductsOfAWildcardNamedProjectAreNotPatterns)
{
    for (const std::string name : {"app*", "ap?p"}) {
        Sandbox box;
        const fs::path project = box.root() / name;
        box.write(project / ".zarn_project.txt", "name calc\ntools {\n" + E2e::gnuToolDefinition("gnu", "/usr/bin") +
                                                     "}\nunits { calc { \"zarn.txt\" } }\n");
        box.write(project / "zarn.txt", unitFile);
        box.write(project / "lib/add.c", "int add(int a, int b) { return a + b; }\n");
        box.write(project / "src/main.c",
                  "#include <stdio.h>\nint add(int, int);\nint main(void) { printf(\"%d\\n\", add(40, 2)); }\n");
        // Siblings the project's name matches as a pattern.
        box.write(box.root() / "appX/decoy.txt", "");
        box.write(box.root() / "apXp/decoy.txt", "");

        const auto built = box.run({"run"}, project);
        EXPECT_EQ(built.status, 0) << name << "\n" << built.out << built.err;
        EXPECT_NE(built.out.find("\n42\n"), std::string::npos) << name << "\n" << built.out;
        // Nothing is built again, and the program is still found.
        const auto again = box.run({"run"}, project);
        EXPECT_EQ(again.status, 0) << name << "\n" << again.out << again.err;
        EXPECT_NE(again.out.find("\n42\n"), std::string::npos) << name << "\n" << again.out;
        for (const char* unwanted : {"[calc::core_objs] Starting build job", "[calc::app] Starting build job", "apX"})
            EXPECT_EQ(again.out.find(unwanted), std::string::npos) << name << "\n" << again.out;

        // One whole line: the library below the project's own output tree.
        const fs::path library = E2e::findFile(project / "out", "libcore.a");
        ASSERT_FALSE(library.empty());
        const auto before = fs::last_write_time(library);
        E2e::expectRuns(box, {{project.string(), {"-v", "6", "show"}, 0, library.string() + "\n"}});
        EXPECT_EQ(fs::last_write_time(library), before);
    }
}

}  // namespace
