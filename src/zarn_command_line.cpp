#include "zarn_command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <thread>

#include "types/ci_string.h"
#include "types/zarn_log.h"
#include "zarn_app.h"

namespace Zarn {

const char* const usageText =
    "zarn [options] target? [assignment]*\n"
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

const char* const versionText = "zarn 0.1.0";

std::string optionName(std::string_view argument)
{
    if (argument.size() >= 2 && argument[1] == '-')
        return std::string(argument.substr(2));
    return std::string(argument.substr(1));
}

}  // namespace Zarn

namespace {

enum class Option { CmdMode, File, Version, Verbose, Jobs, Out, Dump, ListTargets, ListUnits,
                    ListProfiles, Help, CreateProject, Register, FindCompilers, None };

struct OptionSpec {
    const char* shortName;  // empty: the option has only a long name
    const char* longName;
    Option option;
};

// In the order in which names are tested.
const OptionSpec optionTable[] = {
    {"c", "cmdMode", Option::CmdMode},
    {"f", "file", Option::File},
    {"", "version", Option::Version},
    {"v", "verbose", Option::Verbose},
    {"j", "jobs", Option::Jobs},
    {"o", "out", Option::Out},
    {"d", "dump", Option::Dump},
    {"l", "list-targets", Option::ListTargets},
    {"u", "list-units", Option::ListUnits},
    {"p", "list-profiles", Option::ListProfiles},
    {"h", "help", Option::Help},
    {"", "create-project", Option::CreateProject},
    {"r", "register", Option::Register},
    {"", "find-compilers", Option::FindCompilers},
};

Option findOption(const std::string& name)
{
    if (name.empty())
        return Option::None;
    for (const auto& spec : optionTable) {
        if (Util::ciEqual(name, spec.shortName) || Util::ciEqual(name, spec.longName))
            return spec.option;
    }
    return Option::None;
}

bool startsWithDigit(const char* text) { return std::isdigit(static_cast<unsigned char>(text[0])) != 0; }

// The number that a numeric option's value starts with (its digits are
// checked by the caller); too large a number stops the run naming both.
int numericValue(const std::string& option, const char* value)
{
    try {
        return std::stoi(value);
    } catch (const std::out_of_range&) {
        throw std::invalid_argument(fmt::format("Option '{}' value '{}' is too large (at most {}).", option, value,
                                                std::numeric_limits<int>::max()));
    }
}

}  // namespace

void ZarnApplication::parseCommandLine(int argc, const char* const argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.empty() || argument[0] != '-') {
            positionalArguments.push_back(argument);
            continue;
        }
        const bool hasNext = i + 1 < argc;
        switch (findOption(Zarn::optionName(argument))) {
        case Option::CmdMode:
            commandMode = true;
            unitFile.clear();
            loadMode = LoadMode::CommandLine;
            break;
        case Option::File:
            if (!hasNext)
                throw std::runtime_error("unknown switch");
            unitFile = std::filesystem::absolute(argv[++i]).lexically_normal();
            loadMode = LoadMode::UnitFile;
            break;
        case Option::Version:
            versionFlag = true;
            break;
        case Option::Verbose:
            verbosity = hasNext && startsWithDigit(argv[i + 1]) ? numericValue(argument, argv[++i]) : 3;
            logThreshold = verbosity;
            break;
        case Option::Jobs:
            if (hasNext && startsWithDigit(argv[i + 1]))
                jobCount = numericValue(argument, argv[++i]);
            else
                jobCount = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
            break;
        case Option::Out:
            if (!hasNext)
                throw std::runtime_error("unknown switch");
            outputsFile = argv[++i];
            break;
        case Option::Dump:
            dumpFlag = true;
            break;
        case Option::ListTargets:
            if (!hasNext || argv[i + 1][0] == '-')
                throw std::invalid_argument("Option '-l' requires a unit.");
            listedUnit = argv[++i];
            break;
        case Option::ListUnits:
            listUnitsFlag = true;
            break;
        case Option::ListProfiles:
            listProfilesFlag = true;
            break;
        case Option::Help:
            logMessage(LogLevel::Info, "{}", Zarn::usageText);
            std::exit(0);
        case Option::CreateProject:
            createProjectFlag = true;
            break;
        case Option::Register:
            registerFlag = true;
            break;
        case Option::FindCompilers:
            findCompilersFlag = true;
            break;
        case Option::None:
            break;
        }
    }
}
