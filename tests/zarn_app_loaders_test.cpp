// Finding the project root, loading unit files and the units of a project,
// and loading project files.
#include <gtest/gtest.h>

#include "loader_test_support.h"
#include "types/zarn_value_types.h"
#include "zarn_app.h"

namespace {

using namespace LoaderTestSupport;
namespace fs = std::filesystem;

class LoadersTest : public ::testing::Test {
protected:
    Sandbox sandbox;
    ZarnApplication app;

    std::string findRoot()
    {
        return captureLog(1, [&] { app.FindProjectRoot(); });
    }

    Zarn::ProjectPtr project(const std::string& name, const fs::path& file)
    {
        auto result = std::make_shared<Zarn::Project>();
        result->name = name;
        result->file = file;
        return result;
    }

    // Loads quietly; returns the error text ("" on success).
    std::string loadProject(Zarn::Project& target)
    {
        std::string error;
        captureLog(8, [&] { error = errorOf([&] { app.LoadProjectFile(target); }); });
        return error;
    }

    std::string loadUnits(const Zarn::ProjectPtr& target)
    {
        std::string error;
        captureLog(8, [&] { error = errorOf([&] { app.LoadProjectUnits(target); }); });
        return error;
    }

    std::vector<std::string> targetNames(const std::shared_ptr<Zarn::Unit>& unit)
    {
        std::vector<std::string> names;
        for (const auto& entry : unit->targets)
            names.push_back(entry.first.str());
        return names;
    }
};

TEST_F(LoadersTest, SearchFindsTheNearestProjectFileUpwards)
{
    sandbox.write("a/.zarn_project.txt", "");
    fs::create_directories(sandbox.work() / "a/b/c");
    fs::current_path(sandbox.work() / "a/b/c");
    const fs::path a = sandbox.work() / "a";
    EXPECT_EQ(findRoot(), "Found a project file at " + a.string() + "\nSetting project root to " + a.string() + "\n");
    EXPECT_EQ(app.projectRoot, a);
    EXPECT_EQ(app.projectFile, a / ".zarn_project.txt");
}

TEST_F(LoadersTest, ADirectoryNamedLikeTheProjectFileCountsButDoesNotLoad)
{
    fs::create_directories(sandbox.work() / ".zarn_project.txt");
    findRoot();
    EXPECT_EQ(app.projectFile, sandbox.work() / ".zarn_project.txt");
    Zarn::Project loaded;
    loaded.file = app.projectFile;
    EXPECT_EQ(loadProject(loaded), "Zarn: Project file '" + app.projectFile.string() + "' not found.");
}

TEST_F(LoadersTest, RootWithoutProjectFileOrWithAUnitFileOrInCommandMode)
{
    EXPECT_EQ(findRoot(), "No project file.\nSetting project root to " + sandbox.work().string() + "\n");
    EXPECT_EQ(app.projectRoot, sandbox.work());
    EXPECT_TRUE(app.projectFile.empty());

    ZarnApplication elsewhere;  // the default unit file "sub/zarn.txt" exists below the cwd
    sandbox.write("sub/zarn.txt", "unit u\n");
    elsewhere.unitFile = "sub/zarn.txt";
    captureLog(8, [&] { elsewhere.FindProjectRoot(); });
    EXPECT_EQ(elsewhere.projectRoot, sandbox.work() / "sub");

    ZarnApplication given;
    given.loadMode = LoadMode::UnitFile;
    given.unitFile = "/x/y/u.txt";
    captureLog(8, [&] { given.FindProjectRoot(); });
    EXPECT_EQ(given.projectRoot, fs::path("/x/y"));

    ZarnApplication command;
    command.loadMode = LoadMode::CommandLine;
    command.unitFile.clear();
    EXPECT_EQ(captureLog(1, [&] { command.FindProjectRoot(); }), "Setting project root to \n");
    EXPECT_TRUE(command.projectRoot.empty());
}

TEST_F(LoadersTest, ParseUnitFileResolvesAgainstTheProjectRoot)
{
    sandbox.write("root/sub/u.txt", "unit inRoot\nt: { }\n");
    sandbox.write("sub/u.txt", "unit inCwd\nt: { }\n");
    app.projectRoot = sandbox.work() / "root";
    std::shared_ptr<Zarn::Unit> unit;
    captureLog(8, [&] { unit = app.ParseUnitFile("sub/u.txt"); });
    EXPECT_EQ(unit->name, "inRoot");
    EXPECT_EQ(unit->firstTarget, "t");
}

// Unreadable files are made without permissions: tests run as root.
TEST_F(LoadersTest, ParseUnitFileFailures)
{
    app.projectRoot = sandbox.work();
    fs::create_directories(sandbox.work() / "dir.txt");
    makeSocket(sandbox.work() / "socket.txt");
    sandbox.write("syntax.txt", "unit u\nt: {\n");
    sandbox.write("utf8.txt", "unit u\nt: { x = \"\xc3\x28\" }\n");
    const std::string work = sandbox.work().string();
    struct Case {
        const char* file;
        std::string error;
    };
    const Case cases[] = {
        {"missing.txt", "Zarn: File not found at " + work + "/missing.txt"},
        {"dir.txt", "Zarn: Unable to open file!"},
        {"socket.txt", "Zarn: Unable to open file!"},
        {"syntax.txt", "Zarn: " + work + "/syntax.txt Parsing failed due to syntax errors."},
        {"utf8.txt", "Zarn: Unable to read " + work + "/utf8.txt: the text is not valid UTF-8."},
    };
    for (const auto& c : cases) {
        std::string error;
        testing::internal::CaptureStderr();
        std::string log = captureLog(1, [&] { error = errorOf([&] { app.ParseUnitFile(c.file); }); });
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(error, c.error) << c.file;
        if (c.error.find("open") != std::string::npos) {  // reported after the file was read
            EXPECT_EQ(log, "Parsing " + work + "/" + c.file + "\n") << c.file;
        }
    }
}

TEST_F(LoadersTest, ALexicalErrorIsShownButDoesNotFailTheLoad)
{
    app.projectRoot = sandbox.work();
    sandbox.write("u.txt", "unit u\nt: { x = 1 - }\n");
    testing::internal::CaptureStderr();
    std::string error = errorOf([&] { captureLog(8, [&] { app.ParseUnitFile("u.txt"); }); });
    std::string stderrText = testing::internal::GetCapturedStderr();
    EXPECT_EQ(error, "");
    EXPECT_NE(stderrText.find("line 2:"), std::string::npos);
}

TEST_F(LoadersTest, UnnamedUnitsAreNumberedAndFilesLoadOnce)
{
    app.projectRoot = sandbox.work();
    const fs::path first = sandbox.write("one.txt", "a: { }\n");
    const fs::path second = sandbox.write("two.txt", "b: { }\n");
    std::shared_ptr<Zarn::Unit> unit1, unit2, again;
    captureLog(8, [&] {
        unit1 = app.LoadUnitFile(first, "");
        unit2 = app.LoadUnitFile(second, "");
    });
    EXPECT_EQ(unit1->name, "1");
    EXPECT_EQ(unit2->name, "2");
    Util::CiString space, name = "2";
    EXPECT_EQ(app.unitTable.getUnit(space, name), unit2);

    std::string log = captureLog(6, [&] { again = app.LoadUnitFile(first, ""); });
    EXPECT_EQ(log, "UnitFile '" + first.string() + "' already loaded.\n");
    EXPECT_EQ(again, unit1);
}

TEST_F(LoadersTest, ProjectUnitsMergeAcrossFilesKeepingTheFirstFilesTarget)
{
    sandbox.write("a.txt", "unit App\nzed: { }\nalpha: { }\n");
    sandbox.write("b.txt", "unit APP\nbeta: { }\n");
    sandbox.write("lib/l.txt", "unit lib\nl: { }\n");
    auto p = project("proj", sandbox.work() / ".zarn_project.txt");
    p->units = {{"app", {"a.txt", "b.txt"}}, {"lib", {"lib/l.txt"}}};
    app.mainProject = p;
    ASSERT_EQ(loadUnits(p), "");

    Util::CiString space = "proj", name = "app";
    auto unit = app.unitTable.getUnit(space, name);
    EXPECT_EQ(unit->name, "App");
    EXPECT_EQ(unit->firstTarget, "zed");
    EXPECT_EQ(targetNames(unit), (std::vector<std::string>{"alpha", "beta", "zed"}));
    Util::CiString one = "1";
    EXPECT_EQ(app.unitTable.getUnit(space, one), unit);
    EXPECT_TRUE(app.mainProjectUnitsLoaded);
    EXPECT_EQ(app.loadedUnitFiles.at(sandbox.work() / "b.txt"), "app");

    // A second call for the main project does nothing, even with the files gone.
    fs::remove(sandbox.work() / "a.txt");
    EXPECT_EQ(loadUnits(p), "");
}

TEST_F(LoadersTest, AnEmptyFirstFileTakesTheFirstTargetInNameOrderFromTheNext)
{
    sandbox.write("a.txt", "unit app\n");
    sandbox.write("b.txt", "unit app\nzed: { }\nbeta: { }\n");
    auto p = project("proj", sandbox.work() / ".zarn_project.txt");
    p->units = {{"app", {"a.txt", "b.txt"}}};
    ASSERT_EQ(loadUnits(p), "");
    Util::CiString space = "proj", name = "app";
    EXPECT_EQ(app.unitTable.getUnit(space, name)->firstTarget, "beta");
    EXPECT_FALSE(app.mainProjectUnitsLoaded);  // not the main project
}

TEST_F(LoadersTest, ProjectUnitErrors)
{
    sandbox.write("a.txt", "unit app\nbuild: { }\n");
    sandbox.write("b.txt", "unit app\nBUILD: { }\n");
    sandbox.write("none.txt", "t: { }\n");
    const std::string work = sandbox.work().string();
    struct Case {
        std::vector<Zarn::ProjectUnit> units;
        std::string error;
    };
    const Case cases[] = {
        {{}, "Zarn: Project 'p' does not list any units."},
        {{{"", {"a.txt"}}}, "Zarn: Project 'p' does not list any units."},
        {{{"app", {}}}, "Zarn: Project unit 'app' does not list any zarn files."},
        {{{"app", {"none.txt"}}},
         "Zarn: Unit file '" + work + "/none.txt' declares unit '', but project entry expects unit 'app'."},
        {{{"app", {"a.txt", "b.txt"}}},
         "Zarn: Unable to merge unit 'app' from file '" + work + "/b.txt': Key already exists: build"},
    };
    for (const auto& c : cases) {
        auto p = project("p", sandbox.work() / ".zarn_project.txt");
        p->units = c.units;
        EXPECT_EQ(loadUnits(p), c.error);
    }
}

TEST_F(LoadersTest, TreeUnitsAreLoadedDepthFirstUnderEachNamespace)
{
    sandbox.write("m.txt", "unit m\nmt: { }\n");
    sandbox.write("lib/l.txt", "unit l\nlt: { }\n");
    sandbox.write("lib/dep/d.txt", "unit d\ndt: { }\n");
    auto main = project("main", sandbox.work() / ".zarn_project.txt");
    main->units = {{"m", {"m.txt"}}};
    auto lib = project("lib", sandbox.work() / "lib/.zarn_project.txt");
    lib->units = {{"l", {"l.txt"}}};
    auto dep = project("dep", sandbox.work() / "lib/dep/.zarn_project.txt");
    dep->units = {{"d", {"d.txt"}}};
    lib->importedProjects = {dep};
    main->importedProjects = {lib};
    captureLog(8, [&] { app.LoadProjectTreeUnits(main); });
    EXPECT_TRUE(app.unitTable.hasTarget("main/m::mt"));
    EXPECT_TRUE(app.unitTable.hasTarget("lib/l::lt"));
    EXPECT_TRUE(app.unitTable.hasTarget("dep/d::dt"));
}

TEST_F(LoadersTest, ProjectFileFillsTheProject)
{
    sandbox.write(".zarn_project.txt",
                  "name core\n"
                  "tools { cc { dir = P\"(bin)\" } }\n"
                  "units { app { \"a.txt\" } }\n"
                  "profiles { Debug { x = 1 } release { } debug { x = 2 } }\n");
    Zarn::Project p;
    p.file = ".zarn_project.txt";  // a bare name: relative paths are taken from the cwd
    p.selectedProfile = "kept";
    p.importedProjects = {std::make_shared<Zarn::Project>()};
    ASSERT_EQ(loadProject(p), "");
    EXPECT_EQ(p.name, "core");
    EXPECT_TRUE(p.importedProjects.empty());
    EXPECT_EQ(p.toolDefinitions.at(0).contextTemplate->assignments.at(0).value->toString(),
              (sandbox.work() / "bin").string());
    ASSERT_EQ(p.profiles.size(), 2u);
    const auto& debug = *p.profiles.find("DEBUG");
    EXPECT_EQ(debug.first.str(), "Debug");
    EXPECT_EQ(debug.second.name, "debug");
    EXPECT_EQ(debug.second.contextTemplate->assignments.at(0).value->toString(), "2");
    EXPECT_EQ(p.selectedProfile, "kept");
    EXPECT_EQ(p.file, fs::path(".zarn_project.txt"));
}

TEST_F(LoadersTest, ProjectNameGivenByTheCreatorWinsAndEmptyFileLoads)
{
    sandbox.write("named.txt", "name core\n");
    sandbox.write("empty.txt", "");
    Zarn::Project named;
    named.file = sandbox.work() / "named.txt";
    named.name = "lib";
    ASSERT_EQ(loadProject(named), "");
    EXPECT_EQ(named.name, "lib");

    Zarn::Project empty;
    empty.file = sandbox.work() / "empty.txt";
    ASSERT_EQ(loadProject(empty), "");
    EXPECT_TRUE(empty.name.empty());
    EXPECT_TRUE(empty.units.empty() && empty.imports.empty() && empty.profiles.empty());
}

// A failed load leaves the project as it was.
TEST_F(LoadersTest, ProjectFileFailuresLeaveTheProjectUnchanged)
{
    const std::string work = sandbox.work().string();
    fs::create_directories(sandbox.work() / "dir.txt");
    makeSocket(sandbox.work() / "socket.txt");
    sandbox.write("two-errors.txt", "name x\nunits { a { 1 } }\nprofiles { p }\n");
    sandbox.write("lexical.txt", "name x\nprofiles { p { y = 1 - } }\n");
    sandbox.write("must.txt", "profiles { p { !y = 1 } }\n");
    sandbox.write("utf8.txt", "name x\xff\n");
    struct Case {
        const char* file;
        std::string error;
    };
    const Case cases[] = {
        {"missing.txt", "Zarn: Project file '" + work + "/missing.txt' not found."},
        {"dir.txt", "Zarn: Project file '" + work + "/dir.txt' not found."},
        {"socket.txt", "Zarn: Project file '" + work + "/socket.txt' not found."},
        {"two-errors.txt", "std: " + work + "/two-errors.txt(2,12): '1' "},
        {"lexical.txt", "std: " + work + "/lexical.txt(2,21): token recognition error"},
        {"must.txt", "std: '!' assignment modifier is not allowed in this context."},
        {"utf8.txt", "Zarn: Unable to read " + work + "/utf8.txt: the text is not valid UTF-8."},
    };
    for (const auto& c : cases) {
        Zarn::Project p;
        p.file = sandbox.work() / c.file;
        p.units = {{"keep", {"k.txt"}}};
        std::string error = loadProject(p);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.file << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << c.file << ": one line only";
        ASSERT_EQ(p.units.size(), 1u) << c.file;
        EXPECT_EQ(p.units[0].name, "keep") << c.file;
    }
}

}  // namespace
