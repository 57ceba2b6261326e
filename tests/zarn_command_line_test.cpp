#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "types/zarn_log.h"
#include "zarn_app.h"
#include "zarn_command_line.h"

namespace fs = std::filesystem;

namespace {

// The option fields after parsing the arguments, as one line; a file below
// the current directory is shown as "./<path>".
std::string parsed(std::vector<std::string> args)
{
    const int savedThreshold = logThreshold.load();
    logThreshold = 5;  // the default verbosity: -v must move both
    ZarnApplication app;
    std::vector<const char*> argv{"zarn"};
    for (const auto& a : args)
        argv.push_back(a.c_str());
    app.parseCommandLine(static_cast<int>(argv.size()), argv.data());
    std::string text = "v" + std::to_string(app.verbosity) + " j" + std::to_string(app.jobCount);
    text += app.unitFile.is_absolute() ? " f=./" + app.unitFile.lexically_relative(fs::current_path()).string()
                                       : " f=" + app.unitFile.string();
    text += " mode" + std::to_string(static_cast<int>(app.loadMode)) + " o=" + app.outputsFile +
            " l=" + app.listedUnit + " flags=";
    for (const auto& [on, letter] : {std::pair{app.commandMode, 'c'}, {app.dumpFlag, 'd'}, {app.listUnitsFlag, 'u'},
                                     {app.listProfilesFlag, 'p'}, {app.registerFlag, 'r'}, {app.versionFlag, 'V'},
                                     {app.createProjectFlag, 'C'}, {app.findCompilersFlag, 'F'}})
        if (on)
            text += letter;
    text += " pos=";
    for (const auto& positional : app.positionalArguments)
        text += "[" + positional + "]";
    if (logThreshold.load() != app.verbosity)
        text += " threshold=" + std::to_string(logThreshold.load());
    logThreshold = savedThreshold;
    return text;
}

TEST(CommandLineTest, OptionsAndTheirArguments)
{
    const std::string defaults = "v5 j1 f=zarn.txt mode0 o= l= flags= pos=";
    const std::string allJobs = "j" + std::to_string(std::max(1u, std::thread::hardware_concurrency()));
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{}, defaults},
        // one or two dashes and any letter case name the same option
        {{"--VERBOSE", "2"}, "v2 j1 f=zarn.txt mode0 o= l= flags= pos="},
        {{"-V", "2"}, "v2 j1 f=zarn.txt mode0 o= l= flags= pos="},
        // "---v" is the option "-v", which does not exist; "-" and "--" name nothing
        {{"---v", "-x", "-", "--", "--verbos", "-file2"}, defaults},
        {{"--DUMP", "-list-units", "--List-Profiles", "--register", "-VERSION", "--Create-Project", "--FIND-COMPILERS",
          "--cmdmode"},
         "v5 j1 f= mode2 o= l= flags=cduprVCF pos="},
        // optional numbers are taken only when they begin with a digit
        {{"-v", "+3"}, "v3 j1 f=zarn.txt mode0 o= l= flags= pos=[+3]"},
        {{"-v", "12abc"}, "v12 j1 f=zarn.txt mode0 o= l= flags= pos="},
        {{"-j"}, "v5 " + allJobs + " f=zarn.txt mode0 o= l= flags= pos="},
        {{"--jobs", "4", "app"}, "v5 j4 f=zarn.txt mode0 o= l= flags= pos=[app]"},
        // positionals keep their order around options; arguments may begin with "-"
        {{"app", "-d", "x=1", ""}, "v5 j1 f=zarn.txt mode0 o= l= flags=d pos=[app][x=1][]"},
        {{"-f", "-x", "-o", "-out.txt", "-l", "lib"}, "v5 j1 f=./-x mode1 o=-out.txt l=lib flags= pos="},
        // the file is made absolute and normal; -c clears it, a later -f sets it
        {{"-c", "-f", "rel/./sub/../zarn.txt"}, "v5 j1 f=./rel/zarn.txt mode1 o= l= flags=c pos="},
        {{"-f", "u.txt", "-c"}, "v5 j1 f= mode2 o= l= flags=c pos="},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parsed(c.args), c.expected) << (c.args.empty() ? "(none)" : c.args[0]);
}

}  // namespace
