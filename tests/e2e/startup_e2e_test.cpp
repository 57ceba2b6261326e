// Start-up of the real program: units, projects, imports, profiles, listings,
// dumps and the exit statuses of these runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace fs = std::filesystem;

namespace {

using E2e::lines;
using E2e::Sandbox;

const char* const noProjectMessage = "No file to list. You need .zarn_project.txt.\n";

// The lines of the context printed after the header line, up to its "}".
std::vector<std::string> dumpedContext(const std::string& out, const std::string& header)
{
    const auto all = lines(out);
    auto it = std::find(all.begin(), all.end(), header);
    std::vector<std::string> result;
    if (it == all.end())
        return result;
    for (++it; it != all.end() && *it != "}"; ++it) {
        if (*it != "{")
            result.push_back(*it);
    }
    return result;
}

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(StartupE2e, AnEmptyDirectoryHasNoUnitFile)
{
    Sandbox box;
    const auto result = box.run({});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error: File not found at " + (box.work() / "zarn.txt").string() + "\n");
    // The registry is made on the way, empty.
    EXPECT_TRUE(fs::exists(box.registryFile()));
    EXPECT_EQ(fs::file_size(box.registryFile()), 0u);
}

class UnitFileE2e : public ::testing::Test {
protected:
    void SetUp() override { box.write("zarn.txt", "unit app\nb: { }\nA: { }\nc: { }\n"); }
    Sandbox box;
};

TEST_F(UnitFileE2e, TargetsAreListedByNameTheFirstAlways)
{
    for (const char* unit : {"1", "app", "APP"}) {
        const auto result = box.run({"-l", unit});
        EXPECT_EQ(result.status, 0) << unit;
        EXPECT_EQ(lines(result.out), (std::vector<std::string>{"A", "b", "c"})) << unit;
    }
    // The first target of the file is shown whatever the threshold.
    const auto quiet = box.run({"-v", "7", "-l", "1"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "b\n");
    // A listing ends before the build cache is made.
    EXPECT_FALSE(fs::exists(box.work() / ".zarn_cache"));
}

TEST_F(UnitFileE2e, AnUnknownUnitIsNotFound)
{
    const auto result = box.run({"-l", "nope"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error: Unit 'nope' not found.\n");
}

TEST_F(UnitFileE2e, UnitAndProfileListsNeedAProjectFile)
{
    for (const char* option : {"-u", "-p", "--list-profiles"}) {
        const auto result = box.run({option});
        EXPECT_EQ(result.status, 255) << option;
        EXPECT_EQ(result.out, noProjectMessage) << option;
    }
    // The target listing comes first.
    const auto both = box.run({"-u", "-l", "1"});
    EXPECT_EQ(both.status, 0);
    EXPECT_EQ(lines(both.out).size(), 3u);
}

TEST_F(UnitFileE2e, AUnitWithoutNameIsUnitOne)
{
    box.write("zarn.txt", "first: { }\n");
    const auto result = box.run({"-l", "1"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "first\n");
}

TEST_F(UnitFileE2e, AGivenUnitFileSetsTheRoot)
{
    box.write("sub/other.txt", "unit other\nx: { }\n");
    const auto result = box.run({"-f", "sub/other.txt", "-l", "other"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "x\n");
}

TEST_F(UnitFileE2e, ARegisterRunNeedsAProject)
{
    const auto result = box.run({"-r"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error: project '' not found.\n");
}

TEST_F(UnitFileE2e, APositionalThatIsNoAssignmentFailsEvenAListing)
{
    const auto result = box.run({"-l", "1", "= 3"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.out.find("failed due to syntax errors."), std::string::npos) << result.out;
}

TEST_F(UnitFileE2e, WithoutAProjectTheDumpShowsTheProfileContext)
{
    const auto result = box.run({"-d", "x=1", "b"});
    const auto context = dumpedContext(result.out, "Implicit context:");
    EXPECT_TRUE(contains(context, "x = 1")) << result.out;
    EXPECT_TRUE(contains(context, "project_root = \"" + box.work().string() + "\"")) << result.out;
    EXPECT_TRUE(contains(context, "cwd ?= \"" + box.work().string() + "\"")) << result.out;
    EXPECT_TRUE(contains(context, "output_def_dir = \"out\"")) << result.out;
    EXPECT_TRUE(contains(context, "os_family ?= \"unix\"")) << result.out;
    EXPECT_EQ(result.out.rfind("Starting build\n", 0), 0u) << result.out;
}

// Command mode: no unit file is read, the root stays empty, the assignments
// are dumped apart from the profile context, and the cache lies in the
// current directory.
TEST(StartupE2e, CommandModeDumpsTheCommandLineApart)
{
    Sandbox box;
    box.write("sub/zarn.txt", "unit app\nb: { }\n");
    const auto result = box.run({"-c", "-d", "x=1"}, "sub");
    const auto all = lines(result.out);
    const auto profile = dumpedContext(result.out, "Implicit context:");
    EXPECT_TRUE(contains(profile, "project_root = \"\"")) << result.out;
    EXPECT_FALSE(contains(profile, "x = 1")) << result.out;
    const auto end = std::find(all.begin(), all.end(), "}");
    ASSERT_NE(end, all.end()) << result.out;
    EXPECT_EQ(std::vector<std::string>(end + 1, std::min(end + 5, all.end())),
              (std::vector<std::string>{"", "{", "x = 1", "}"}))
        << result.out;
    EXPECT_EQ(result.out.find("app::"), std::string::npos) << result.out;
    EXPECT_TRUE(fs::exists(box.work() / "sub" / ".zarn_cache"));
}

TEST_F(UnitFileE2e, WithoutHomeTheRunGoesOnWithoutRegistry)
{
    const auto result = box.run({"-l", "1"}, {}, {"HOME"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(lines(result.out),
              (std::vector<std::string>{"Unable to load registry file: Unable to resolve HOME path.", "A", "b", "c"}));
}

// A project "main" with two units and three profiles that imports "lib".
class ProjectE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        box.write("main/.zarn_project.txt",
                  "name main\n"
                  "import {\n"
                  "  \"../lib/.zarn_project.txt\";\n"
                  "  release: \"../lib/.zarn_project.txt\" rlib;\n"
                  "}\n"
                  "units {\n"
                  "  app { \"app.txt\" }\n"
                  "  extra { \"sub/extra.txt\" }\n"
                  "}\n"
                  "profiles {\n"
                  "  release { b = \"release\" }\n"
                  "  default { a = \"default\" b = \"default\" c = \"default\" output_def_dir = \"build\" }\n"
                  "  Debug { b = \"debug\" c = \"debug\" }\n"
                  "}\n");
        box.write("main/app.txt", "unit app\nbuild: { }\nalpha: { }\n");
        box.write("main/sub/extra.txt", "unit extra\ngen: { }\n");
        box.write("lib/.zarn_project.txt", "name lib\nunits { core { \"core.txt\" } }\n");
        box.write("lib/core.txt", "unit core\nc1: { }\n");
        mainDir = box.work() / "main";
    }

    Sandbox box;
    fs::path mainDir;
};

TEST_F(ProjectE2e, ListingsOfUnitsProfilesAndTargets)
{
    auto units = box.run({"-u"}, "main");
    EXPECT_EQ(units.status, 0);
    EXPECT_EQ(lines(units.out), (std::vector<std::string>{"app", "extra"}));

    auto profiles = box.run({"-p"}, "main");
    EXPECT_EQ(profiles.status, 0);
    EXPECT_EQ(lines(profiles.out), (std::vector<std::string>{"Debug", "default", "release"}));

    auto targets = box.run({"-l", "1"}, "main/sub");
    EXPECT_EQ(targets.status, 0);
    EXPECT_EQ(lines(targets.out), (std::vector<std::string>{"alpha", "build"}));

    auto extra = box.run({"-v", "7", "-l", "extra"}, "main");
    EXPECT_EQ(extra.out, "gen\n");
}

TEST_F(ProjectE2e, DumpShowsThePrecedenceOfTheLayers)
{
    const auto result = box.run({"-d", "debug", "c=\"cli\""}, "main");
    const auto context = dumpedContext(result.out, "Implicit context for project 'main':");
    ASSERT_FALSE(context.empty()) << result.out;
    EXPECT_TRUE(contains(context, "a = \"default\""));
    EXPECT_TRUE(contains(context, "b = \"debug\""));
    EXPECT_TRUE(contains(context, "c = \"cli\""));
    EXPECT_TRUE(contains(context, "PROFILE = \"Debug\""));
    EXPECT_TRUE(contains(context, "project_root = \"" + mainDir.string() + "\""));
    EXPECT_TRUE(contains(context, "output_def_dir = \"build\"")) << "the default profile beats a built-in";

    // The imported project sees the command line but not the main project's profiles.
    const auto lib = dumpedContext(result.out, "Implicit context for project 'lib':");
    EXPECT_TRUE(contains(lib, "c = \"cli\"")) << result.out;
    EXPECT_TRUE(contains(lib, "project_root = \"" + (mainDir / ".." / "lib").string() + "\""));
    EXPECT_FALSE(contains(lib, "a = \"default\""));
    EXPECT_TRUE(contains(lib, "output_def_dir = \"out\""));
    // The import under release is not followed.
    EXPECT_EQ(result.out.find("'rlib'"), std::string::npos);
    // Namespaces are dumped in name order.
    EXPECT_LT(result.out.find("project 'lib'"), result.out.find("project 'main'"));
}

TEST_F(ProjectE2e, ASourceProfileFollowsItsImport)
{
    const auto result = box.run({"-d", "RELEASE"}, "main");
    const auto rlib = dumpedContext(result.out, "Implicit context for project 'rlib':");
    EXPECT_FALSE(rlib.empty()) << result.out;
    const auto context = dumpedContext(result.out, "Implicit context for project 'main':");
    EXPECT_TRUE(contains(context, "b = \"release\""));
    EXPECT_TRUE(contains(context, "c = \"default\""));
}

TEST_F(ProjectE2e, TwoProfilesFail)
{
    const auto result = box.run({"-l", "1", "debug", "release"}, "main");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error: Profile already set to 'Debug'. It can only be set once.\n");
}

TEST_F(ProjectE2e, AnImportCycleIsAnError)
{
    box.write("lib/.zarn_project.txt", "name lib\nimport { \"../main/.zarn_project.txt\" again; }\n");
    const auto result = box.run({"-l", "1"}, "main");
    EXPECT_EQ(result.status, 1);
    const std::string mainFile = (mainDir / ".zarn_project.txt").string();
    const std::string libFile = (box.work() / "lib" / ".zarn_project.txt").string();
    EXPECT_EQ(result.out, "Error: Import cycle: " + mainFile + " -> " + libFile + " -> " + mainFile + "\n");
}

TEST_F(ProjectE2e, ARegistryImport)
{
    box.write(box.registryFile(), "projects {\n  shared \"" + (box.work() / "lib" / ".zarn_project.txt").string() +
                                      "\"\n}\n");
    box.write("main/.zarn_project.txt", "name main\nimport { shared; }\nunits { app { \"app.txt\" } }\n");
    const auto result = box.run({"-d"}, "main");
    EXPECT_FALSE(dumpedContext(result.out, "Implicit context for project 'lib':").empty()) << result.out;

    box.write(box.registryFile(), "");
    const auto missing = box.run({"-l", "1"}, "main");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "Error: Registered project 'shared' not found.\n");
}

TEST_F(ProjectE2e, RegisteringTwice)
{
    const std::string registry = box.registryFile().string();
    const auto first = box.run({"-r"}, "main");
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.out, "Updated file '" + registry + "'.\n");
    const std::string expected = "projects {\n  main \"" + (mainDir / ".zarn_project.txt").string() + "\"\n}\n";
    EXPECT_EQ(box.read(box.registryFile()), expected);

    const auto second = box.run({"-r"}, "main/sub");
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out, "Project already registeredUpdated file '" + registry + "'.\n");
    EXPECT_EQ(box.read(box.registryFile()), expected);
}

TEST_F(ProjectE2e, ACorruptRegistryIsNeverOverwritten)
{
    const std::string corrupt = "projects {\n  keep \"/somewhere/.zarn_project.txt\"\n  oops\n";
    box.write(box.registryFile(), corrupt);
    const auto result = box.run({"-r"}, "main");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(box.read(box.registryFile()), corrupt);
    EXPECT_NE(result.out.find("Unable to load registry file: "), std::string::npos) << result.out;
}

TEST(ToolsE2e, StaticThenRegistryThenProjectTools)
{
    Sandbox box;
    box.write(box.registryFile(),
              "tools {\n"
              "  default_basic {\n    tool_type = \"command\"\n    !cmdline\n  }\n"
              "  broken {\n    kind = \"x\"\n  }\n"
              "  cc {\n    tool_type = \"command\"\n  }\n"
              "}\n");
    box.write(".zarn_project.txt", "tools { cc { tool_type = \"no_tool\" } }\nunits { app { \"app.txt\" } }\n");
    box.write("app.txt", "unit app\nt: { }\n");
    const auto result = box.run({"-l", "1"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(lines(result.out), (std::vector<std::string>{
                                     "Registry tool 'broken' has no 'tool_type'. Skipping.",
                                     "Tool 'default_basic' from Registry overrides an earlier tool with the same name.",
                                     "Tool 'cc' from Project  overrides an earlier tool with the same name.",
                                     "t",
                                 }));
    // A registration run ends before any tool is made.
    const auto registration = box.run({"-r"});
    EXPECT_EQ(registration.out.find("Skipping"), std::string::npos);
}

TEST(CreateProjectE2e, WritesTheSkeletonOnceAndLoadsIt)
{
    Sandbox box;
    box.write("app/zarn.txt", "unit app\nmain: { }\n");
    box.write("lib/ZARN.TXT", "unit lib\nx: { }\n");
    box.write("doc/zarn.txt", "# no unit line\n");
    const auto result = box.run({"--create-project"});
    EXPECT_EQ(result.status, 0) << result.out;
    // Project creation comes before the registry is loaded.
    EXPECT_FALSE(fs::exists(box.home() / ".config"));
    EXPECT_EQ(box.read(".zarn_project.txt"),
              "name work\nunits\n{\napp\n{\n  \"app/zarn.txt\"\n}\nlib\n{\n  \"lib/ZARN.TXT\"\n}\n}\n");

    const auto units = box.run({"-u"});
    EXPECT_EQ(units.status, 0);
    EXPECT_EQ(lines(units.out), (std::vector<std::string>{"app", "lib"}));

    // A second run leaves the file alone.
    box.write(".zarn_project.txt", "name kept\n");
    const auto again = box.run({"--create-project"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(box.read(".zarn_project.txt"), "name kept\n");
}

}  // namespace
