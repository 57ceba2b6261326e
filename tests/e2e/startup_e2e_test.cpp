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

using E2e::expectRuns;
using E2e::lines;
using E2e::Sandbox;

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

TEST(StartupE2e, RunsOverAUnitFileWithoutProject)
{
    Sandbox box;
    box.write("zarn.txt", "unit app\nb: { }\nA: { }\nc: { }\n");
    box.write("sub/other.txt", "unit other\nx: { }\n");
    box.write("noname.txt", "first: { }\n");
    const std::string noProject = "No file to list. You need .zarn_project.txt.\n";
    expectRuns(box, {
        {"", {"-l", "1"}, 0, "A\nb\nc\n"},
        {"", {"-l", "APP"}, 0, "A\nb\nc\n"},
        {"", {"-v", "7", "-l", "1"}, 0, "b\n"},  // the file's first target shows at any threshold
        {"", {"-l", "nope"}, 1, "Error: Unit 'nope' not found.\n"},
        {"", {"-u"}, 255, noProject},
        {"", {"-u", "-l", "1"}, 0, "A\nb\nc\n"},  // the target listing comes first
        {"", {"-f", "sub/other.txt", "-l", "other"}, 0, "x\n"},
        {"", {"-r"}, 1, "Error: project '' not found.\n"},
        {"", {"-l", "1", "= 3"}, 1, "Parsing assignment failed due to syntax errors.\n"},
        {"", {"-l", "1"}, 0, "Unable to load registry file: Unable to resolve HOME path.\nA\nb\nc\n", {"HOME"}},
    });
    // None of these runs got as far as the build cache.
    EXPECT_FALSE(fs::exists(box.work() / ".zarn_cache"));

    const auto dump = box.run({"-d", "x=1", "b"});
    const auto context = dumpedContext(dump.out, "Implicit context:");
    for (const auto& line : std::vector<std::string>{"x = 1", "project_root = \"" + box.work().string() + "\"",
                                                     "cwd ?= \"" + box.work().string() + "\"",
                                                     "output_def_dir = \"out\"", "os_family ?= \"unix\""})
        EXPECT_TRUE(contains(context, line)) << line << "\n" << dump.out;
    EXPECT_EQ(dump.out.rfind("Starting build\n", 0), 0u) << dump.out;
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
    expectRuns(box, {
        {"main", {"-u"}, 0, "app\nextra\n"},
        {"main", {"-p"}, 0, "Debug\ndefault\nrelease\n"},
        {"main/sub", {"-l", "1"}, 0, "alpha\nbuild\n"},
        {"main", {"-v", "7", "-l", "extra"}, 0, "gen\n"},
        {"main", {"-l", "1", "debug", "release"}, 1,
         "Error: Profile already set to 'Debug'. It can only be set once.\n"},
    });
}

TEST_F(ProjectE2e, DumpShowsThePrecedenceOfTheLayers)
{
    const auto result = box.run({"-d", "debug", "c=\"cli\""}, "main");
    const auto context = dumpedContext(result.out, "Implicit context for project 'main':");
    // built-in < default profile < selected profile < command line
    for (const auto& line :
         std::vector<std::string>{"a = \"default\"", "b = \"debug\"", "c = \"cli\"", "PROFILE = \"Debug\"",
                                  "output_def_dir = \"build\"", "project_root = \"" + mainDir.string() + "\""})
        EXPECT_TRUE(contains(context, line)) << line << "\n" << result.out;

    // The imported project sees the command line but not the main project's profiles.
    const auto lib = dumpedContext(result.out, "Implicit context for project 'lib':");
    for (const auto& line : std::vector<std::string>{"c = \"cli\"", "output_def_dir = \"out\"",
                                                     "project_root = \"" + (mainDir / ".." / "lib").string() + "\""})
        EXPECT_TRUE(contains(lib, line)) << line << "\n" << result.out;
    EXPECT_FALSE(contains(lib, "a = \"default\""));
    // The import under release is not followed.
    EXPECT_EQ(result.out.find("'rlib'"), std::string::npos);
    // Namespaces are dumped in name order.
    EXPECT_LT(result.out.find("project 'lib'"), result.out.find("project 'main'"));

    // A profile named as the source of an import follows it.
    const auto release = box.run({"-d", "RELEASE"}, "main");
    EXPECT_FALSE(dumpedContext(release.out, "Implicit context for project 'rlib':").empty()) << release.out;
    const auto released = dumpedContext(release.out, "Implicit context for project 'main':");
    EXPECT_TRUE(contains(released, "b = \"release\""));
    EXPECT_TRUE(contains(released, "c = \"default\""));
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

// An import profile becomes the imported project's profile; bad imports end
// the run.
TEST_F(ProjectE2e, ImportProfilesAndImportErrors)
{
    box.write("lib/.zarn_project.txt",
              "name lib\nunits { core { \"core.txt\" } }\nprofiles { fast { speed = \"fast\" } }\n");
    const auto imports = [&](const std::string& text) {
        box.write("main/.zarn_project.txt", "name main\nimport { " + text + " }\nunits { app { \"app.txt\" } }\n");
    };
    imports("\"../lib/.zarn_project.txt\" (fast);");
    const auto dump = box.run({"-d"}, "main");
    EXPECT_TRUE(contains(dumpedContext(dump.out, "Implicit context for project 'lib':"), "speed = \"fast\""))
        << dump.out;
    imports("\"../lib/.zarn_project.txt\"; \"../lib/.zarn_project.txt\" LIB;");
    EXPECT_NE(box.run({"-d"}, "main").out.find("Error: Project namespace 'LIB' is used more than once.\n"),
              std::string::npos);
    const std::pair<std::string, std::string> cases[] = {
        {"nothere: \"../lib/.zarn_project.txt\";", "Error: profile 'nothere' not found.\n"},
        {"\"../lib/.zarn_project.txt\" (nothere);", "Error: profile 'nothere' not found.\n"},
    };
    for (const auto& [text, error] : cases) {
        imports(text);
        expectRuns(box, {{"main", {"-l", "1"}, 1, error}});
    }
}

TEST_F(ProjectE2e, ARegistryImport)
{
    box.write(box.registryFile(), "projects {\n  shared \"" + (box.work() / "lib" / ".zarn_project.txt").string() +
                                      "\"\n}\n");
    box.write("main/.zarn_project.txt", "name main\nimport { shared; }\nunits { app { \"app.txt\" } }\n");
    const auto result = box.run({"-d"}, "main");
    EXPECT_FALSE(dumpedContext(result.out, "Implicit context for project 'lib':").empty()) << result.out;

    box.write(box.registryFile(), "");
    expectRuns(box, {{"main", {"-l", "1"}, 1, "Error: Registered project 'shared' not found.\n"}});
}

TEST_F(ProjectE2e, RegisteringTwice)
{
    const std::string updated = "Updated file '" + box.registryFile().string() + "'.\n";
    const std::string expected = "projects {\n  main \"" + (mainDir / ".zarn_project.txt").string() + "\"\n}\n";
    expectRuns(box, {{"main", {"-r"}, 0, updated}});
    EXPECT_EQ(box.read(box.registryFile()), expected);
    expectRuns(box, {{"main/sub", {"-r"}, 0, "Project already registered" + updated}});
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
    expectRuns(box, {{"", {"-l", "1"}, 0,
                      "Registry tool 'broken' has no 'tool_type'. Skipping.\n"
                      "Tool 'default_basic' from Registry overrides an earlier tool with the same name.\n"
                      "Tool 'cc' from Project  overrides an earlier tool with the same name.\n"
                      "t\n"}});
    // A registration run ends before any tool is made.
    EXPECT_EQ(box.run({"-r"}).out.find("Skipping"), std::string::npos);
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
    expectRuns(box, {{"", {"-u"}, 0, "app\nlib\n"}});

    // A second run leaves the file alone.
    box.write(".zarn_project.txt", "name kept\n");
    EXPECT_EQ(box.run({"--create-project"}).status, 1);
    EXPECT_EQ(box.read(".zarn_project.txt"), "name kept\n");
}

}  // namespace
