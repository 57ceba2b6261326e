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

// Unreadable files are made without permissions: tests run as root. A
// lexical error is shown and fails the load like a syntax error.
TEST_F(LoadersTest, ParseUnitFileFailures)
{
    app.projectRoot = sandbox.work();
    makeSocket(sandbox.work() / "socket.txt");
    sandbox.write("syntax.txt", "unit u\nt: {\n");
    sandbox.write("lexical.txt", "unit u\nt: { x = 1 - }\n");
    struct Case {
        const char* file;
        std::string error;
    };
    const Case cases[] = {
        {"missing.txt", "Zarn: File not found at " + work + "/missing.txt"},
        {"socket.txt", "Zarn: Unable to open file!"},
        {"syntax.txt", "Zarn: " + work + "/syntax.txt Parsing failed due to syntax errors."},
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
    struct Case {
        std::vector<Zarn::ProjectUnit> units;
        std::string error;
    };
    const Case cases[] = {
        {{}, "Zarn: Project 'p' does not list any units."},
        {{{"", {"a.txt"}}}, "Zarn: Project 'p' does not list any units."},
        {{{"app", {}}}, "Zarn: Project unit 'app' does not list any zarn files."},
        {{{"app", {"a.txt", "b.txt"}}},
         "Zarn: Unable to merge unit 'app' from file '" + work + "/b.txt': Key already exists: build"},
    };
    for (const auto& c : cases) {
        auto p = makeProject("p", sandbox.work() / ".zarn_project.txt");
        p->units = c.units;
        EXPECT_EQ(loadUnits(p), c.error);
    }
}

// A failed load leaves the project as it was.
TEST_F(LoadersTest, ProjectFileFailuresLeaveTheProjectUnchanged)
{
    makeSocket(sandbox.work() / "socket.txt");
    std::filesystem::create_directory(sandbox.work() / "directory");
    sandbox.write("two-errors.txt", "name x\nunits { a { 1 } }\nprofiles { p }\n");
    sandbox.write("lexical.txt", "name x\nprofiles { p { y = 1 - } }\n");
    sandbox.write("must.txt", "profiles { p { !y = 1 } }\n");
    struct Case {
        const char* file;
        std::string error;
    };
    const Case cases[] = {
        {"missing.txt", "Zarn: Project file '" + work + "/missing.txt' not found."},
        {"socket.txt", "Zarn: Project file '" + work + "/socket.txt' cannot be read: not a regular file."},
        {"directory", "Zarn: Project file '" + work + "/directory' cannot be read: not a regular file."},
        {"two-errors.txt", "std: " + work + "/two-errors.txt(2,12): '1' "},
        {"lexical.txt", "std: " + work + "/lexical.txt(2,21): token recognition error"},
        {"must.txt", "std: '!' assignment modifier is not allowed in this context."},
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
