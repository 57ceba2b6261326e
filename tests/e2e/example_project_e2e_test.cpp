// The bundled example project, copied into a sandbox.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace fs = std::filesystem;

namespace {

using E2e::lines;

class ExampleProjectE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy(fs::path(ZARN_SOURCE_DIR) / "examples", box.work() / "example", fs::copy_options::recursive);
    }
    E2e::Sandbox box;
};

TEST_F(ExampleProjectE2e, ListsItsUnitsProfilesAndTargets)
{
    const auto units = box.run({"-u"}, "example");
    EXPECT_EQ(units.status, 0) << units.out;
    EXPECT_EQ(lines(units.out), (std::vector<std::string>{"app", "docs"}));

    const auto profiles = box.run({"-p"}, "example/app");
    EXPECT_EQ(profiles.status, 0) << profiles.out;
    EXPECT_EQ(lines(profiles.out), (std::vector<std::string>{"default", "loud"}));

    // "run" is the first target of the main unit and shows at any threshold.
    const auto targets = box.run({"-v", "7", "-l", "1"}, "example");
    EXPECT_EQ(targets.status, 0) << targets.out;
    EXPECT_EQ(targets.out, "run\n");
}

TEST_F(ExampleProjectE2e, TheLoudProfileChangesTheGreeting)
{
    const auto result = box.run({"-d", "loud"}, "example");
    const auto all = lines(result.out);
    EXPECT_NE(std::find(all.begin(), all.end(), "greeting = \"HELLO\""), all.end()) << result.out;
    EXPECT_NE(std::find(all.begin(), all.end(), "PROFILE = \"loud\""), all.end()) << result.out;
}

TEST_F(ExampleProjectE2e, BuildsAndRunsTheGreetingProgram)
{
    const auto first = box.run({}, "example");
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("Hello, world!\n"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("cc -o "), std::string::npos) << first.out;

    // The compiler is not run again for an unchanged source.
    const auto again = box.run({}, "example");
    ASSERT_EQ(again.status, 0) << again.out;
    EXPECT_NE(again.out.find("Hello, world!\n"), std::string::npos) << again.out;
    EXPECT_EQ(again.out.find("cc -o "), std::string::npos) << again.out;

    const auto loud = box.run({"loud"}, "example");
    ASSERT_EQ(loud.status, 0) << loud.out;
    EXPECT_NE(loud.out.find("HELLO, world!\n"), std::string::npos) << loud.out;
}

}  // namespace
