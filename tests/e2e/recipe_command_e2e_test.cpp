// Recipe commands of any length, and recipes that cannot be started.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;

// A command of 1 MB and one with 3,000 arguments of 80 characters, as the
// archive step of a large static library has, run as short ones do.
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
        std::string output;
    };
    const Case cases[] = {
        {"echo " + word + " > out.txt", word + "\n"},
        {"echo " + names + " > out.txt", names + "\n"},
    };
    for (const Case& c : cases) {
        Sandbox box;
        box.write("zarn.txt", "unit demo\nt: {\n  cmdline = \"" + c.command + "\"\n}\n");
        const auto result = box.run({"-v", "6"});
        EXPECT_EQ(result.status, 0) << result.out.substr(0, 500);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(box.read("out.txt") == c.output) << box.read("out.txt").size();
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
