// The files a toolchain builds, in a project whose directory name holds "*"
// or "?": a dependent that puts them into a path literal of its own gets
// exactly those files, never a sibling directory's that the name matches.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

const char* const projectFile = R"z(name calc
tools {
  gnu {
    tool_type = "gnu-gcc"
    toolchain_path = "/usr/bin"
  }
}
units { calc { "zarn.txt" } }
)z";

// A library and a program; `run` starts the program through a path literal,
// `show` and `each` print the library and the objects the same way.
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
each: core_objs {
  objects = P"(#{core_objs.objs})"
  cmdline = "echo '${objects}'"
}
)z";

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(BuiltPathsE2e, ProductsOfAWildcardNamedProjectAreNotPatterns)
{
    for (const std::string name : {"app*", "ap?p"}) {
        Sandbox box;
        const fs::path project = box.root() / name;
        box.write(project / ".zarn_project.txt", projectFile);
        box.write(project / "zarn.txt", unitFile);
        box.write(project / "lib/add.c", "int add(int a, int b) { return a + b; }\n");
        box.write(project / "src/main.c",
                  "#include <stdio.h>\nint add(int, int);\nint main(void) { printf(\"%d\\n\", add(40, 2)); }\n");
        // Siblings the project's name matches as a pattern.
        box.write(box.root() / "appX/decoy.txt", "");
        box.write(box.root() / "apXp/decoy.txt", "");

        const auto built = box.run({"run"}, project);
        EXPECT_EQ(built.status, 0) << name << "\n" << built.out << built.err;
        EXPECT_TRUE(contains(built.out, "\n42\n")) << name << "\n" << built.out;

        // Nothing is built again; the dependents get the same files.
        for (const char* target : {"run", "show", "each"}) {
            const auto again = box.run({target}, project);
            EXPECT_EQ(again.status, 0) << name << " " << target << "\n" << again.out << again.err;
            EXPECT_FALSE(contains(again.out, "[calc::core_objs] Starting build job")) << name << "\n" << again.out;
            EXPECT_FALSE(contains(again.out, "[calc::app] Starting build job")) << name << "\n" << again.out;
            EXPECT_FALSE(contains(again.out, "appX")) << name << " " << target << "\n" << again.out;
            EXPECT_FALSE(contains(again.out, "apXp")) << name << " " << target << "\n" << again.out;
        }
        // Each is one whole line: the file below the project's own output tree.
        const std::string out = (project / "out").string() + "/";
        for (const auto& [target, file] : {std::pair<const char*, const char*>{"show", "/core/libcore.a"},
                                           {"each", "/core_objs/add.o"}}) {
            const std::string printed = box.run({"-v", "6", target}, project).out;
            EXPECT_EQ(printed.rfind(out, 0), 0u) << name << "\n" << printed;
            EXPECT_EQ(printed.find('\n'), printed.size() - 1) << name << "\n" << printed;
            const std::string path = printed.substr(0, printed.size() - 1);
            EXPECT_EQ(path.substr(path.size() - std::string(file).size()), file) << name;
            EXPECT_TRUE(fs::is_regular_file(path)) << path;
        }
    }
}

}  // namespace
