// Recipe commands of any length, and recipes that cannot be started.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

// Commands longer than the system takes as one argument run as short ones
// do: one of 1 MB, and one of 3,000 arguments of 80 characters, as the
// archive step of a large static library has. Their scripts go to TMPDIR
// and are gone afterwards; a TMPDIR that cannot take them leaves them to
// /tmp, as compilers do.
TEST(RecipeCommandE2e, CommandsLongerThanOneArgumentRun)
{
    std::string names;
    for (int i = 0; i < 3000; ++i) {
        std::string name = "build/obj/" + std::to_string(i) + "/";
        name += std::string(80 - name.size() - 2, 'x') + ".o";
        names += (i == 0 ? "" : " ") + name;
    }
    const std::string word(1 << 20, 'w');
    struct Case {
        std::string command;
        std::string tmpdir;  // below the sandbox's root: "scratch" is a directory, "file" a file
        int status;
        std::string output;  // out.txt, written in the work directory
    };
    const Case cases[] = {
        {"echo $0 $# " + word + " > out.txt; cat >> out.txt", "scratch", 0, "sh 0 " + word + "\n"},
        {"echo " + names + " > out.txt", "scratch", 0, names + "\n"},
        {"echo " + word + " > out.txt; exit 7", "scratch", 1, word + "\n"},
        {"echo " + word + " > out.txt", "missing", 0, word + "\n"},
        {"echo " + word + " > out.txt", "file", 0, word + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpdir + " " + std::to_string(c.status));
        Sandbox box;
        fs::create_directory(box.root() / "scratch");
        box.write(box.root() / "file", "");
        box.write("zarn.txt", "unit demo\nt: {\n  cmdline = \"" + c.command + "\"\n}\n");
        const auto result = box.run({"-v", "6"}, {}, {"TMPDIR=" + (box.root() / c.tmpdir).string()});
        EXPECT_EQ(result.status, c.status) << result.out.substr(0, 500);
        EXPECT_EQ(result.out.empty(), c.status == 0);
        EXPECT_TRUE(box.read("out.txt") == c.output) << box.read("out.txt").size();
        EXPECT_TRUE(fs::is_empty(box.root() / "scratch"));
    }
}

// The reason comes before the failure, naming the target.
TEST(RecipeCommandE2e, ARecipeThatCannotStartSaysWhy)
{
    Sandbox box;
    box.write("zarn.txt", "unit demo\nt: {\n  cwd = \"missing\"\n  cmdline = \"true\"\n}\n");
    const auto result = box.run({"-v", "6"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              "[demo::t] Unable to start a recipe of demo::t: working directory 'missing': No such file or directory.\n"
              "[demo::t] Build of demo::t failed. Exiting..\n"
              "Error: Build failed.\n");
}

}  // namespace
