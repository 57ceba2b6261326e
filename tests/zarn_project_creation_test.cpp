// --create-project: the skeleton written from the unit files of a tree.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <iterator>

#include "test_support.h"
#include "zarn_app.h"
#include "zarn_project_tree.h"

namespace {

using namespace TestSupport;
namespace fs = std::filesystem;

class ProjectCreationTest : public ::testing::Test {
protected:
    Sandbox sandbox;
    ZarnApplication app;

    // Runs --create-project in the directory (below work()); returns the
    // level-6 and higher output.
    std::string create(const fs::path& dir = {}, std::string name = {})
    {
        fs::current_path(sandbox.work() / dir);
        return captureLog(6, [&] { app.CreateProjectFile(name); });
    }

    std::string written(const fs::path& dir = {}) { return readFile(sandbox.work() / dir / ".zarn_project.txt"); }
};

TEST_F(ProjectCreationTest, FirstLinesDecideTheUnit)
{
    sandbox.write("p/a/zarn.txt", "unit Core\n");
    sandbox.write("p/b/ZARN.TXT", "UNIT core extra words\n");
    sandbox.write("p/c/zarn.txt", "unit\n");
    sandbox.write("p/d/zarn.txt", "// unit comment\n");
    sandbox.write("p/e/zarn.txt", "");
    sandbox.write("p/f/Zarn.txt", "unit app\r\n");
    sandbox.write("p/g/other.txt", "unit other\n");
    create("p", "given");
    const std::string text = written("p");
    EXPECT_EQ(text.rfind("name given\nunits\n{\napp\n{\n  \"f/Zarn.txt\"\n}\n", 0), 0u) << text;
    // One unit with both files, in the order the walk met them, spelled as
    // the first one met spells it.
    const bool aFirst = text.find("  \"a/zarn.txt\"\n  \"b/ZARN.TXT\"\n") != std::string::npos;
    const bool bFirst = text.find("  \"b/ZARN.TXT\"\n  \"a/zarn.txt\"\n") != std::string::npos;
    EXPECT_TRUE(aFirst || bFirst) << text;
    EXPECT_NE(text.find(aFirst ? "}\nCore\n{\n" : "}\ncore\n{\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("other"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 13);
}

TEST_F(ProjectCreationTest, ALinkBackUpTheTreeIsWalkedOnce)
{
    sandbox.write("app/zarn.txt", "unit app\n");
    sandbox.write("app/sub/zarn.txt", "unit sub\n");
    fs::create_directory_symlink(sandbox.work() / "app", sandbox.work() / "app/sub/up");
    fs::create_directory_symlink(sandbox.work() / "app", sandbox.work() / "app/sub/again");
    create("app");
    EXPECT_EQ(written("app"), "name app\nunits\n{\napp\n{\n  \"zarn.txt\"\n}\nsub\n{\n  \"sub/zarn.txt\"\n}\n}\n");
}

// The write fails midway (as on a full disk): an error, and no project file
// appears.
TEST_F(ProjectCreationTest, AWriteFailureIsAnError)
{
    sandbox.write("zarn.txt", "unit app\n");
    const fs::path target = sandbox.work() / ".zarn_project.txt";
    std::string error;
    withFileSizeLimit(8, [&] { error = errorOf([&] { create(); }); });
    EXPECT_EQ(error, "std: Unable to write project file: " + target.string());
    EXPECT_EQ(std::distance(fs::directory_iterator(sandbox.work()), fs::directory_iterator()), 1);
}

// Whatever would not read back is left out, each with a warning naming it,
// and the file written loads.
TEST_F(ProjectCreationTest, EntriesThatWouldNotLoadAreLeftOut)
{
    sandbox.write("my.app/zarn.txt", "unit tools\n");
    sandbox.write("my.app/ok/zarn.txt", "unit ok\n");
    sandbox.write("my.app/we\"ird/zarn.txt", "unit ok\n");
    sandbox.write("my.app/bad\xff/zarn.txt", "unit ok\n");
    sandbox.write("my.app/only\"quoted/zarn.txt", "unit gone\n");
    const std::string log = create("my.app");
    for (const char* warning :
         {"Project name 'my.app' is not a valid identifier or is a keyword; the project file gets no name line.\n",
          "Unit name 'tools' is not a valid identifier or is a keyword; the unit is left out.\n",
          "Unit file 'we\"ird/zarn.txt' cannot be written in .zarn_project.txt so that it reads back; it is left "
          "out.\n",
          "Unit file 'bad\xff/zarn.txt' cannot be written", "Unit file 'only\"quoted/zarn.txt' cannot be written"})
        EXPECT_NE(log.find(warning), std::string::npos) << warning << "\n" << log;
    EXPECT_EQ(written("my.app"), "units\n{\nok\n{\n  \"ok/zarn.txt\"\n}\n}\n");

    fs::current_path(sandbox.work() / "my.app");
    auto project = std::make_shared<Zarn::Project>();
    project->file = sandbox.work() / "my.app" / ".zarn_project.txt";
    EXPECT_EQ(quietErrorOf([&] { app.LoadProjectFile(*project); }), "");
    ASSERT_EQ(project->units.size(), 1u);
    EXPECT_EQ(project->units.front().name, "ok");
}

// A byte-order mark before the unit line is read past, as the unit loader does.
TEST_F(ProjectCreationTest, AByteOrderMarkIsReadPast)
{
    sandbox.write("zarn.txt", "\xEF\xBB\xBFunit app\n");
    create({}, "p");
    EXPECT_EQ(written(), "name p\nunits\n{\napp\n{\n  \"zarn.txt\"\n}\n}\n");
}

}  // namespace
