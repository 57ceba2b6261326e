// The command line of the real program: usage, version, option errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace {

using E2e::lines;
using E2e::Sandbox;

const std::vector<std::string> usageLines{
    "zarn [options] target? [assignment]*",
    "Options: ",
    "  -l <unit>  list targets from unit (1 = main unit)",
    "  -u         list units from project file",
    "  -p         list profiles from project file",
    "  -v <num>   verbosity level, default = 2",
    "  -j <num>   thread count",
    "  -f <file>  default zarn file override",
    "  -o <file>  main target outputs",
    "  -r         register current project",
    "  --find-compilers   detect and register default toolchains",
    "  --version",
    "  --create-project     initialise project file",
};

TEST(CommandLineE2e, HelpPrintsTheUsageAndEndsWithZero)
{
    Sandbox box;
    for (const auto& args : std::vector<std::vector<std::string>>{{"-h"}, {"--HELP"}, {"-h", "-x"}, {"-h", "-o"}}) {
        const auto result = box.run(args);
        EXPECT_EQ(result.status, 0) << args[0];
        EXPECT_EQ(lines(result.out), usageLines) << args[0];
        EXPECT_EQ(result.out.back(), '\n');
        EXPECT_EQ(result.err, "");
    }
    // The usage is a level-5 message, hidden above threshold 5.
    const auto quiet = box.run({"-v", "6", "-h"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
}

TEST(CommandLineE2e, HelpEndsBeforeAnyFileIsTouched)
{
    Sandbox box;
    EXPECT_EQ(box.run({"-h"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(box.home() / ".config"));
}

TEST(CommandLineE2e, VersionEndsWithZeroAndWritesNothing)
{
    Sandbox box;
    const auto result = box.run({"--version"});
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(lines(result.out).size(), 1u);
    EXPECT_EQ(result.out.rfind("zarn ", 0), 0u) << result.out;
    EXPECT_FALSE(std::filesystem::exists(box.home() / ".config"));
    EXPECT_TRUE(std::filesystem::is_empty(box.work()));
}

TEST(CommandLineE2e, OptionErrorsPrintTheirTextAndEndWithOne)
{
    Sandbox box;
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Case> cases{
        {{"-o"}, "unknown switch\n"},
        {{"--file"}, "unknown switch\n"},
        {{"-l"}, "Option '-l' requires a unit.\n"},
        {{"-l", "-u"}, "Option '-l' requires a unit.\n"},
        {{"-v", "99999999999"}, "stoi\n"},
        {{"-j", "4294967296"}, "stoi\n"},
    };
    for (const auto& c : cases) {
        const auto result = box.run(c.args);
        EXPECT_EQ(result.status, 1) << c.args[0];
        EXPECT_EQ(result.out, c.out) << c.args[0];
    }
}

TEST(CommandLineE2e, ErrorsAreHiddenAboveThresholdSevenButStillFail)
{
    Sandbox box;
    const auto result = box.run({"-v", "8", "-o"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
}

TEST(CommandLineE2e, UnknownOptionsAreIgnored)
{
    Sandbox box;
    const auto result = box.run({"-x", "---version", "--", "-", "--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(lines(result.out).size(), 1u);
}

TEST(CommandLineE2e, FindCompilersEndsWithZeroAfterANote)
{
    Sandbox box;
    const auto result = box.run({"--find-compilers"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(lines(result.out).size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(box.registryFile()));
}

}  // namespace
