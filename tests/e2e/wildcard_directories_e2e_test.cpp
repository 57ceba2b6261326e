// Projects, units and the registry in directories whose names hold "*",
// "?" or brackets: their path literals, and dependents given the files they
// build, find files only below them, never in a sibling directory that the
// name would match as a pattern.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace fs = std::filesystem;

namespace {

using E2e::Sandbox;

// A wildcard-named project, its unit in a wildcard-named subdirectory, an
// imported project and the registry in wildcard-named directories. The target
// prints the matches of its own pattern, one below the project root, one
// inserting a project file's path, the imported unit's and the registry
// tool's, quoted so that the shell does not match them again.
TEST(WildcardDirectoriesE2e, ProjectUnitImportAndRegistryDirectoriesAreNotPatterns)
{
    for (const std::string name : {"app*", "app?", "ap*p?", "ap[p]"}) {
        Sandbox box;
        const fs::path project = box.root() / name;
        box.write(project / ".zarn_project.txt", "name app\nimport { \"../dep?/.zarn_project.txt\"; }\n"
                                                 "units { app { \"sub?/app.txt\" } }\n"
                                                 "profiles { default { dir = P\"(src)\" } }\n");
        box.write(project / "sub?/app.txt",
                  "unit app\nt: dep/util::s {\n  kind = \"greeting\"\n  srcs = P\"(src/*.c)\"\n"
                  "  root = P\"(${project_root}/src/*.c)\"\n  both = P\"(${dir}/*.c)\"\n"
                  "  cmdline = \"echo '${srcs} ${root} ${both} ${util.s.srcs} ${files}'\"\n}\n");
        box.write(box.root() / "dep?/.zarn_project.txt", "name dep\nunits { util { \"util.txt\" } }\n");
        box.write(box.root() / "dep?/util.txt", "unit util\ns: { ^srcs = P\"(src/*.c)\"  cmdline = \"true\" }\n");
        box.write(box.root() / "home*/.config/zarn/.zarn_registry.txt",
                  "tools {\n  greeter {\n    tool_type = \"command\"\n    kind = \"greeting\"\n"
                  "    files = P\"(data/*.txt)\"\n  }\n}\n");
        const std::vector<std::string> found = {name + "/sub?/src/main.c", name + "/src/top.c", name + "/src/top.c",
                                                "dep?/src/a.c", "home*/.config/zarn/data/a.txt"};
        for (const std::string& file : found)
            box.write(box.root() / file, "");
        // Siblings that the names match as patterns.
        box.write(project / "subX/src/extra.c", "");
        for (const char* file :
             {"appX/src/extra.c", "apXpY/src/extra.c", "depX/src/b.c", "homeX/.config/zarn/data/b.txt"})
            box.write(box.root() / file, "");

        std::string expected;
        for (const std::string& file : found)
            expected += (expected.empty() ? "" : " ") + (box.root() / file).string();
        E2e::expectRuns(box, {{project.string(), {"-v", "6"}, 0, expected + "\n",
                               {"HOME=" + (box.root() / "home*").string()}}});
    }
}

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
    Sandbox box;
    const fs::path project = box.root() / "app*";
    box.write(project / ".zarn_project.txt", "name calc\ntools {\n" + E2e::gnuToolDefinition("gnu", "/usr/bin") +
                                                 "}\nunits { calc { \"zarn.txt\" } }\n");
    box.write(project / "zarn.txt", unitFile);
    box.write(project / "lib/add.c", "int add(int a, int b) { return a + b; }\n");
    box.write(project / "src/main.c",
              "#include <stdio.h>\nint add(int, int);\nint main(void) { printf(\"%d\\n\", add(40, 2)); }\n");
    box.write(box.root() / "appX/decoy.txt", "");  // a sibling the name matches as a pattern

    const auto built = box.run({"run"}, project);
    EXPECT_EQ(built.status, 0) << built.out << built.err;
    EXPECT_NE(built.out.find("\n42\n"), std::string::npos) << built.out;
    // Nothing is built again, and the program is still found.
    const auto again = box.run({"run"}, project);
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("\n42\n"), std::string::npos) << again.out;
    for (const char* unwanted : {"[calc::core_objs] Starting build job", "[calc::app] Starting build job", "appX"})
        EXPECT_EQ(again.out.find(unwanted), std::string::npos) << again.out;

    // One whole line: the library below the project's own output tree.
    const fs::path library = E2e::findFile(project / "out", "libcore.a");
    ASSERT_FALSE(library.empty());
    const auto before = fs::last_write_time(library);
    E2e::expectRuns(box, {{project.string(), {"-v", "6", "show"}, 0, library.string() + "\n"}});
    EXPECT_EQ(fs::last_write_time(library), before);
}

}  // namespace
