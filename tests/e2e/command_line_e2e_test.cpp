// The command line of the real program: usage, version, option errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace fs = std::filesystem;

namespace {

using E2e::expectRuns;
using E2e::Sandbox;

const std::string usage = "zarn [options] target? [assignment]*\n"
                          "Options: \n"
                          "  -l <unit>  list targets from unit (1 = main unit)\n"
                          "  -u         list units from project file\n"
                          "  -p         list profiles from project file\n"
                          "  -v <num>   verbosity level, default = 2\n"
                          "  -j <num>   thread count\n"
                          "  -f <file>  default zarn file override\n"
                          "  -o <file>  main target outputs\n"
                          "  -r         register current project\n"
                          "  --find-compilers   detect and register default toolchains\n"
                          "  --version\n"
                          "  --create-project     initialise project file\n";

TEST(CommandLineE2e, HelpAndVersionEndWithZeroBeforeAnyFileIsTouched)
{
    Sandbox box;
    const auto version = box.run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("zarn ", 0), 0u) << version.out;
    EXPECT_EQ(version.out.find('\n'), version.out.size() - 1) << version.out;
    expectRuns(box, {
        {"", {"-h"}, 0, usage},
        {"", {"-h", "-o"}, 0, usage},
        {"", {"-v", "6", "-h"}, 0, ""},  // the usage is a level-5 message
        {"", {"-x", "---version", "--", "-", "--version"}, 0, version.out},  // unknown options are ignored
    });
    EXPECT_FALSE(fs::exists(box.home() / ".config"));
    EXPECT_TRUE(fs::is_empty(box.work()));

    const auto find = box.run({"--find-compilers"});
    EXPECT_EQ(find.status, 0);
    EXPECT_EQ(find.out.find('\n'), find.out.size() - 1) << find.out;
    EXPECT_TRUE(fs::exists(box.registryFile()));
}

TEST(CommandLineE2e, OptionErrorsPrintTheirTextAndEndWithOne)
{
    Sandbox box;
    expectRuns(box, {
        {"", {"-o"}, 1, "unknown switch\n"},
        {"", {"-l", "-u"}, 1, "Option '-l' requires a unit.\n"},
        {"", {"-v", "99999999999"}, 1, "Option '-v' value '99999999999' is too large (at most 2147483647).\n"},
        {"", {"-j", "99999999999"}, 1, "Option '-j' value '99999999999' is too large (at most 2147483647).\n"},
        {"", {"--JOBS", "2147483648"}, 1, "Option '--JOBS' value '2147483648' is too large (at most 2147483647).\n"},
        {"", {"-v", "8", "-o"}, 1, ""},  // errors are hidden above threshold 7
    });
}

}  // namespace
