// --create-project: the skeleton written from the unit files of a tree.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

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

// The temporary file's place is taken by a directory: an error, and no
// project file appears.
TEST_F(ProjectCreationTest, AWriteFailureIsAnError)
{
    sandbox.write("zarn.txt", "unit app\n");
    const fs::path target = sandbox.work() / ".zarn_project.txt";
    fs::create_directory(target.string() + ".tmp." + std::to_string(::getpid()));
    EXPECT_EQ(errorOf([&] { create(); }), "std: Unable to write project file: " + target.string());
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(ProjectCreationTest, NamesThatWouldNotLoadAreWarnedAbout)
{
    sandbox.write("my.app/zarn.txt", "unit tools\n");
    const std::string log = create("my.app");
    EXPECT_NE(log.find("Project name 'my.app' is not a valid identifier or is a keyword; "
                       ".zarn_project.txt will not load until it is changed.\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Unit name 'tools' is not a valid identifier"), std::string::npos) << log;
    EXPECT_EQ(written("my.app"), "name my.app\nunits\n{\ntools\n{\n  \"zarn.txt\"\n}\n}\n");
}

}  // namespace
