// Finding the project root, loading unit files and the units of a project,
// and loading project files.
#include <gtest/gtest.h>

#include "test_support.h"
#include "zarn_app.h"

namespace {

using namespace TestSupport;
namespace fs = std::filesystem;

class LoadersTest : public ::testing::Test {
protected:
    Sandbox sandbox;
    ZarnApplication app;
    const std::string work = sandbox.work().string();

    // The error text of a quiet load, "" on success.
    std::string loadProject(Zarn::Project& target) { return quietErrorOf([&] { app.LoadProjectFile(target); }); }
    std::string loadUnits(const Zarn::ProjectPtr& target)
    {
        return quietErrorOf([&] { app.LoadProjectUnits(target); });
    }
    std::shared_ptr<Zarn::Unit> unit(Util::CiString space, Util::CiString name)
    {
        return app.unitTable.getUnit(space, name);
    }
};

TEST_F(LoadersTest, ParseUnitFileResolvesAgainstTheProjectRoot)
{
    sandbox.write("root/sub/u.txt", "unit inRoot\nt: { }\n");
    sandbox.write("sub/u.txt", "unit inCwd\nt: { }\n");
    app.projectRoot = sandbox.work() / "root";
    std::shared_ptr<Zarn::Unit> parsed;
    captureLog(8, [&] { parsed = app.ParseUnitFile("sub/u.txt"); });
    EXPECT_EQ(parsed->name, "inRoot");
    EXPECT_EQ(parsed->firstTarget, "t");
}

// Unreadable files are made without permissions: tests run as root. A
// lexical error is shown and fails the load like a syntax error.
TEST_F(LoadersTest, ParseUnitFileFailures)
{
    app.projectRoot = sandbox.work();
    fs::create_directories(sandbox.work() / "dir.txt");
    makeSocket(sandbox.work() / "socket.txt");
    sandbox.write("syntax.txt", "unit u\nt: {\n");
    sandbox.write("utf8.txt", "unit u\nt: { x = \"\xc3\x28\" }\n");
    sandbox.write("lexical.txt", "unit u\nt: { x = 1 - }\n");
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
        {"lexical.txt", "Zarn: " + work + "/lexical.txt Parsing failed due to syntax errors."},
    };
    for (const auto& c : cases) {
        std::string error;
        testing::internal::CaptureStderr();
        std::string log = captureLog(1, [&] { error = errorOf([&] { app.ParseUnitFile(c.file); }); });
        const std::string stderrText = testing::internal::GetCapturedStderr();
        EXPECT_EQ(error, c.error) << c.file;
        if (c.error.find("open") != std::string::npos) {  // reported after the file was read
            EXPECT_EQ(log, "Parsing " + work + "/" + c.file + "\n") << c.file;
        }
        if (c.file == std::string("lexical.txt")) {
            EXPECT_NE(stderrText.find("line 2:11 token recognition error"), std::string::npos) << stderrText;
        }
    }
}

// A unit listed with several files merges them; its first target is the
// first file's, or with an empty first file the first by name of the next.
TEST_F(LoadersTest, ProjectUnitsMergeAcrossFilesKeepingTheFirstFilesTarget)
{
    sandbox.write("a.txt", "unit App\nzed: { }\nalpha: { }\n");
    sandbox.write("b.txt", "unit APP\nbeta: { }\n");
    sandbox.write("lib/l.txt", "unit lib\nl: { }\n");
    auto p = makeProject("proj", sandbox.work() / ".zarn_project.txt");
    p->units = {{"app", {"a.txt", "b.txt"}}, {"lib", {"lib/l.txt"}}};
    app.mainProject = p;
    ASSERT_EQ(loadUnits(p), "");
    auto merged = unit("proj", "app");
    EXPECT_EQ(merged->name, "App");
    EXPECT_EQ(merged->firstTarget, "zed");
    std::vector<std::string> names;
    for (const auto& entry : merged->targets)
        names.push_back(entry.first.str());
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "beta", "zed"}));
    EXPECT_EQ(unit("proj", "1"), merged);
    EXPECT_TRUE(app.mainProjectUnitsLoaded);
    // A second call for the main project does nothing, even with the files gone.
    fs::remove(sandbox.work() / "a.txt");
    EXPECT_EQ(loadUnits(p), "");

    sandbox.write("empty.txt", "unit other\n");
    sandbox.write("next.txt", "unit other\nzed: { }\nbeta: { }\n");
    auto q = makeProject("q", sandbox.work() / ".zarn_project.txt");
    q->units = {{"other", {"empty.txt", "next.txt"}}};
    ASSERT_EQ(loadUnits(q), "");
    EXPECT_EQ(unit("q", "other")->firstTarget, "beta");
}

TEST_F(LoadersTest, ProjectUnitErrors)
{
    sandbox.write("a.txt", "unit app\nbuild: { }\n");
    sandbox.write("b.txt", "unit app\nBUILD: { }\n");
    sandbox.write("none.txt", "t: { }\n");
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
        auto p = makeProject("p", sandbox.work() / ".zarn_project.txt");
        p->units = c.units;
        EXPECT_EQ(loadUnits(p), c.error);
    }
}

// Each project's units are loaded under its name, imports of imports too.
TEST_F(LoadersTest, TreeUnitsAreLoadedUnderEachNamespace)
{
    Zarn::ProjectPtr main, last;
    fs::path dir = sandbox.work();
    for (const std::string name : {"main", "lib", "dep"}) {
        sandbox.write(dir / (name + ".txt"), "unit " + name + "\nt: { }\n");
        auto project = makeProject(name, dir / ".zarn_project.txt");
        project->units = {{name, {name + ".txt"}}};
        if (last)
            last->importedProjects = {project};
        else
            main = project;
        last = project;
        dir /= name;
    }
    captureLog(8, [&] { app.LoadProjectTreeUnits(main); });
    for (const char* name : {"main/main::t", "lib/lib::t", "dep/dep::t"})
        EXPECT_TRUE(app.unitTable.hasTarget(name)) << name;
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
    EXPECT_EQ(p.toolDefinitions.at(0).contextTemplate->assignments.at(0).value->toString(), work + "/bin");
    ASSERT_EQ(p.profiles.size(), 2u);
    const auto& debug = *p.profiles.find("DEBUG");
    EXPECT_EQ(debug.first.str(), "Debug");
    EXPECT_EQ(debug.second.name, "debug");
    EXPECT_EQ(debug.second.contextTemplate->assignments.at(0).value->toString(), "2");
    EXPECT_EQ(p.selectedProfile, "kept");
    EXPECT_EQ(p.file, fs::path(".zarn_project.txt"));

    // A name given by the importer (an alias) wins; an empty file loads.
    p.name = "alias";
    ASSERT_EQ(loadProject(p), "");
    EXPECT_EQ(p.name, "alias");
    Zarn::Project empty;
    empty.file = sandbox.write("empty.txt", "");
    ASSERT_EQ(loadProject(empty), "");
    EXPECT_TRUE(empty.name.empty() && empty.units.empty() && empty.imports.empty() && empty.profiles.empty());
}

// A failed load leaves the project as it was.
TEST_F(LoadersTest, ProjectFileFailuresLeaveTheProjectUnchanged)
{
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
