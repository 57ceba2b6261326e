// Building C3 targets with the real program and a stand-in compiler: a
// static library and a program that links it, across runs, under a project
// root whose path the shell would otherwise read.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"
#include "tools/fake_c3c.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

// A registry with one "c3c" tool whose compiler lies below `kit`.
void registerC3Tool(const Sandbox& box, const fs::path& kit)
{
    box.write(box.registryFile(), "tools {\n  c3 {\n    tool_type = \"c3c\"\n    toolchain_path = \"" + kit.string() +
                                      "\"\n  }\n}\n");
}

const std::string libraryAndProgram = R"z(unit demo
app: +core {
  EXE
  C3_FILES = P"(main.c3)"
}
core: {
  STATIC
  C3_FILES = P"(src/core.c3)"
}
)z";

bool anyFileNamed(const fs::path& root, const std::string& name)
{
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.path().filename() == name)
            return true;
    return false;
}

TEST(C3E2e, LibraryAndProgramBuildOnceUnderARootWithBlanks)
{
    Sandbox box;
    const fs::path kit = box.root() / "c3 kit";
    const fs::path compiler = FakeC3c::write(kit / "bin" / "c3c");
    registerC3Tool(box, kit);
    const std::string project = "my proj $(touch pwned)";
    const fs::path root = box.work() / project;
    box.write(root / "zarn.txt", libraryAndProgram);
    box.write(root / "main.c3", "fn void main() {}\n");
    box.write(root / "src/core.c3", "module core;\n");

    const auto first = box.run({}, project);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    const fs::path out = root / "out" / "c3c-0.6.1" / "demo";
    const fs::path library = out / "core" / "core.a";
    EXPECT_TRUE(fs::exists(library));
    EXPECT_TRUE(fs::exists(out / "app" / "app"));

    const auto builds = FakeC3c::buildCalls(compiler);
    ASSERT_EQ(builds.size(), 2u);
    EXPECT_EQ(builds[0].cwd, (out / "core").string());
    EXPECT_EQ(builds[0].args,
              (std::vector<std::string>{"-o", "core.a", "static-lib", (root / "src/core.c3").string()}));
    EXPECT_EQ(builds[1].cwd, (out / "app").string());
    EXPECT_EQ(builds[1].args,
              (std::vector<std::string>{"-o", "app", "-l", library.string(), "compile", (root / "main.c3").string()}));
    for (const auto& call : builds)
        EXPECT_EQ(call.path.rfind((kit / "bin").string() + ":", 0), 0u) << call.path;
    EXPECT_FALSE(anyFileNamed(box.root(), "pwned"));

    // File times tick coarsely: a library and the program linked right after
    // it may carry the same time, and an input that is not strictly older
    // than the product is a change. Order the times as a slower build would.
    const auto built = fs::last_write_time(out / "app" / "app");
    for (const fs::path& source : {root / "main.c3", root / "src/core.c3"})
        fs::last_write_time(source, built - std::chrono::seconds(20));
    fs::last_write_time(library, built - std::chrono::seconds(10));

    // Nothing changed: nothing is compiled again.
    const auto second = box.run({}, project);
    EXPECT_EQ(second.status, 0) << second.out << second.err;
    EXPECT_EQ(FakeC3c::buildCalls(compiler).size(), 2u) << second.out;

    // A changed library source rebuilds the library and the program.
    box.write(root / "src/core.c3", "module core; // changed\n");
    const auto third = box.run({}, project);
    EXPECT_EQ(third.status, 0) << third.out << third.err;
    EXPECT_EQ(FakeC3c::buildCalls(compiler).size(), 4u) << third.out;
}

TEST(C3E2e, SelectorConflictsAndMissingCompilersStopTheRun)
{
    Sandbox box;
    const fs::path kit = box.root() / "kit";
    const fs::path compiler = FakeC3c::write(kit / "c3c");
    registerC3Tool(box, kit);
    box.write("zarn.txt", R"z(unit demo
both: { EXE  SO  C3_FILES = P"(a.c3)" }
tested: { DLL  C3_FILES = P"(a.c3)"  C3_TEST_FILES = P"(t.c3)" }
)z");
    box.write("a.c3", "");
    box.write("t.c3", "");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"both",
         "Error: C3C received conflicting output selectors. Only one of EXE, STATIC, DLL, SO can be present.\n"},
        {"tested", "Error: C3C compile-test cannot be combined with STATIC, DLL, or SO.\n"},
    };
    for (const auto& [target, error] : cases) {
        const auto result = box.run({target});
        EXPECT_EQ(result.status, 1) << result.out;
        EXPECT_EQ(result.out, "Starting build\n[demo::" + target + "] Visiting target\n" + error);
    }
    EXPECT_TRUE(FakeC3c::buildCalls(compiler).empty());

    registerC3Tool(box, box.root() / "nowhere");
    const auto missing = box.run({"both"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "Couldn't find C3 toolchain from provided 'wants' variables.\n"
                           "Starting build\n[demo::both] Visiting target\nError: No tool to build demo::both.\n");
}

}  // namespace
