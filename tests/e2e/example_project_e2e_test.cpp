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

}  // namespace
