#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "types/zarn_log.h"
#include "zarn_app.h"
#include "zarn_command_line.h"

namespace fs = std::filesystem;

namespace {

// Parses the arguments into a fresh application; argv[0] is added here.
class CommandLineTest : public ::testing::Test {
protected:
    void TearDown() override { logThreshold = 5; }

    void parse(std::vector<std::string> args)
    {
        args.insert(args.begin(), "zarn");
        std::vector<const char*> argv;
        for (const auto& a : args)
            argv.push_back(a.c_str());
        app.parseCommandLine(static_cast<int>(argv.size()), argv.data());
    }

    ZarnApplication app;
};

TEST_F(CommandLineTest, NoArgumentsKeepTheInitialValues)
{
    parse({});
    EXPECT_EQ(app.unitFile, fs::path("zarn.txt"));
    EXPECT_EQ(app.loadMode, LoadMode::SearchProject);
    EXPECT_EQ(app.verbosity, 5);
    EXPECT_EQ(app.jobCount, 1);
    EXPECT_TRUE(app.positionalArguments.empty());
    EXPECT_FALSE(app.commandMode || app.dumpFlag || app.listUnitsFlag || app.listProfilesFlag ||
                 app.createProjectFlag || app.registerFlag || app.findCompilersFlag || app.versionFlag);
    EXPECT_EQ(logThreshold.load(), 5);
}

TEST_F(CommandLineTest, OneOrTwoDashesAndAnyLetterCaseNameTheSameOption)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--VERBOSE", "2"}, {"-Verbose", "2"}, {"-v", "2"}, {"--v", "2"}, {"-V", "2"}}) {
        ZarnApplication fresh;
        std::vector<const char*> argv{"zarn"};
        for (const auto& a : args)
            argv.push_back(a.c_str());
        logThreshold = 5;
        fresh.parseCommandLine(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(fresh.verbosity, 2) << args[0];
        EXPECT_EQ(logThreshold.load(), 2) << args[0];
        EXPECT_TRUE(fresh.positionalArguments.empty()) << args[0];
    }
}

TEST_F(CommandLineTest, UnknownNamesAreIgnoredSilently)
{
    // "---v" is the option "-v", which does not exist; "-" and "--" give an empty name.
    parse({"---v", "-x", "-", "--", "--verbos", "-file2"});
    EXPECT_EQ(app.verbosity, 5);
    EXPECT_TRUE(app.positionalArguments.empty());
    EXPECT_EQ(app.loadMode, LoadMode::SearchProject);
}

TEST_F(CommandLineTest, EveryFlagHasItsShortAndLongForm)
{
    parse({"-d", "-u", "-p", "-r", "--version", "--create-project", "--find-compilers"});
    EXPECT_TRUE(app.dumpFlag && app.listUnitsFlag && app.listProfilesFlag && app.registerFlag &&
                app.versionFlag && app.createProjectFlag && app.findCompilersFlag);

    ZarnApplication longForms;
    const char* argv[] = {"zarn", "--DUMP", "-list-units", "--List-Profiles", "--register",
                          "-VERSION", "--Create-Project", "--FIND-COMPILERS", "--cmdmode"};
    longForms.parseCommandLine(9, argv);
    EXPECT_TRUE(longForms.dumpFlag && longForms.listUnitsFlag && longForms.listProfilesFlag &&
                longForms.registerFlag && longForms.versionFlag && longForms.createProjectFlag &&
                longForms.findCompilersFlag && longForms.commandMode);
}

TEST_F(CommandLineTest, OptionalNumbersAreTakenOnlyWhenTheyBeginWithADigit)
{
    parse({"-v", "-3"});
    EXPECT_EQ(app.verbosity, 3);
    EXPECT_TRUE(app.positionalArguments.empty());

    ZarnApplication plus;
    const char* plusArgs[] = {"zarn", "-v", "+3"};
    plus.parseCommandLine(3, plusArgs);
    EXPECT_EQ(plus.verbosity, 3);
    EXPECT_EQ(plus.positionalArguments, std::vector<std::string>{"+3"});

    ZarnApplication trailing;
    const char* trailingArgs[] = {"zarn", "-v", "12abc"};
    trailing.parseCommandLine(3, trailingArgs);
    EXPECT_EQ(trailing.verbosity, 12);
    EXPECT_TRUE(trailing.positionalArguments.empty());
    EXPECT_EQ(logThreshold.load(), 12);
}

TEST_F(CommandLineTest, JobCounts)
{
    parse({"-j"});
    EXPECT_GE(app.jobCount, 1);

    ZarnApplication zero;
    const char* zeroArgs[] = {"zarn", "-j", "0"};
    zero.parseCommandLine(3, zeroArgs);
    EXPECT_EQ(zero.jobCount, 0);

    ZarnApplication four;
    const char* fourArgs[] = {"zarn", "--jobs", "4", "app"};
    four.parseCommandLine(4, fourArgs);
    EXPECT_EQ(four.jobCount, 4);
    EXPECT_EQ(four.positionalArguments, std::vector<std::string>{"app"});
}

TEST_F(CommandLineTest, Errors)
{
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"-o"}, "unknown switch"},
        {{"-f"}, "unknown switch"},
        {{"-l"}, "Option '-l' requires a unit."},
        {{"-l", "-u"}, "Option '-l' requires a unit."},
        {{"-v", "99999999999"}, "stoi"},
        {{"-j", "99999999999"}, "stoi"},
    };
    for (const auto& c : cases) {
        ZarnApplication fresh;
        std::vector<const char*> argv{"zarn"};
        for (const auto& a : c.args)
            argv.push_back(a.c_str());
        try {
            fresh.parseCommandLine(static_cast<int>(argv.size()), argv.data());
            ADD_FAILURE() << "no error for " << c.args[0];
        } catch (const std::exception& error) {
            EXPECT_EQ(error.what(), c.message) << c.args[0];
        }
    }
}

TEST_F(CommandLineTest, ErrorTypes)
{
    const char* out[] = {"zarn", "-o"};
    EXPECT_THROW(app.parseCommandLine(2, out), std::runtime_error);
    const char* list[] = {"zarn", "-l"};
    EXPECT_THROW(app.parseCommandLine(2, list), std::invalid_argument);
    const char* big[] = {"zarn", "-v", "99999999999"};
    EXPECT_THROW(app.parseCommandLine(3, big), std::out_of_range);
}

TEST_F(CommandLineTest, PositionalsKeepTheirOrderAroundOptions)
{
    parse({"app", "-d", "x=1", ""});
    EXPECT_EQ(app.positionalArguments, (std::vector<std::string>{"app", "x=1", ""}));
    EXPECT_TRUE(app.dumpFlag);
}

TEST_F(CommandLineTest, ArgumentsOfFileOutAndList)
{
    parse({"-f", "-x", "-o", "-out.txt", "-l", "lib"});
    EXPECT_EQ(app.unitFile, (fs::current_path() / "-x").lexically_normal());
    EXPECT_EQ(app.outputsFile, "-out.txt");
    EXPECT_EQ(app.listedUnit, "lib");
    EXPECT_TRUE(app.positionalArguments.empty());
}

TEST_F(CommandLineTest, FileIsMadeAbsoluteAndNormal)
{
    parse({"-c", "-f", "rel/./sub/../zarn.txt"});
    EXPECT_EQ(app.unitFile, fs::current_path() / "rel" / "zarn.txt");
    EXPECT_EQ(app.loadMode, LoadMode::UnitFile);
    EXPECT_TRUE(app.commandMode);  // a flag once set stays set
}

TEST_F(CommandLineTest, CommandModeAfterFileClearsTheFile)
{
    parse({"-f", "u.txt", "-c"});
    EXPECT_TRUE(app.unitFile.empty());
    EXPECT_EQ(app.loadMode, LoadMode::CommandLine);
    EXPECT_TRUE(app.commandMode);
}

TEST_F(CommandLineTest, RepeatedOptionsTakeTheLastValue)
{
    parse({"-v", "2", "-v", "7", "-o", "a", "-o", "b"});
    EXPECT_EQ(app.verbosity, 7);
    EXPECT_EQ(app.outputsFile, "b");
}

TEST(CommandLineHelp, HelpEndsTheProcessWithStatusZero)
{
    const char* argv[] = {"zarn", "-h", "-x"};
    EXPECT_EXIT(
        {
            ZarnApplication app;
            app.parseCommandLine(3, argv);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(CommandLineHelp, UsageTextHasThirteenLines)
{
    const std::string usage = Zarn::usageText;
    EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 13);
    EXPECT_EQ(usage.back(), '\n');
    EXPECT_NE(usage.find("\nOptions: \n"), std::string::npos);
}

TEST(OptionName, RemovesOneOrTwoDashes)
{
    EXPECT_EQ(Zarn::optionName("-v"), "v");
    EXPECT_EQ(Zarn::optionName("--verbose"), "verbose");
    EXPECT_EQ(Zarn::optionName("---v"), "-v");
    EXPECT_EQ(Zarn::optionName("-"), "");
    EXPECT_EQ(Zarn::optionName("--"), "");
}

}  // namespace
