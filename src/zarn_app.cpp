#include "zarn_app.h"

#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "zarn_command_line.h"
#include "zarn_registry.h"

ZarnApplication::ZarnApplication() = default;
ZarnApplication::~ZarnApplication() = default;

std::string getFirstListedName(const Zarn::Project& project)
{
    return project.units.empty() ? std::string() : project.units.front().name;
}

int ZarnApplication::run()
{
    if (versionFlag) {
        logMessage(LogLevel::Info, "{}\n", Zarn::versionText);
        return 0;
    }
    if (createProjectFlag) {
        std::string name;
        CreateProjectFile(name);
        return 0;
    }
    LoadRegistry();
    if (findCompilersFlag) {
        FindCompilers();
        return 0;
    }
    FindProjectRoot();
    if (!projectFile.empty()) {
        mainProject = std::make_shared<Zarn::Project>();
        mainProject->file = projectFile;
        LoadProjectFile(*mainProject);
        unitTable.mainUnit = getFirstListedName(*mainProject);
        unitTable.mainNamespace = mainProject->name;
        // The units come first: telling profile names from target names needs them.
        LoadProjectUnits(mainProject);
        selectProfile();
        ResolveProjectImports(mainProject);
    }
    if (registerFlag) {
        RegisterProject();
        return 0;
    }
    addBuiltinVariables();
    registeredTools.clear();
    CreateStaticTools();
    if (registry) {
        for (const auto& [name, definition] : registry->tools)
            registerTool(Zarn::ToolRecord{name, definition, "Registry"});
    }
    RegisterProjectTools(mainProject);
    loadUnitsAndMainTarget();
    applyCommandLineArguments();
    int status = 0;
    if (runListing(status))
        return status;
    return runBuildPhase();
}

void ZarnApplication::loadUnitsAndMainTarget()
{
    if (mainProject) {
        LoadProjectTreeUnits(mainProject);
        Util::CiString nameSpace = mainProject->name;
        Util::CiString unitName = getFirstListedName(*mainProject);
        const auto unit = unitTable.getUnit(nameSpace, unitName);
        mainTarget = Zarn::QualifiedTargetName(mainProject->name, unitName, unit->firstTarget);
    } else if (commandMode) {
        // A unit without targets; what a command-mode run builds is decided
        // with the build itself.
        auto unit = std::make_shared<Zarn::Unit>();
        unit->name = "cmdline";
        unitTable.addUnit("", "", unit);
        mainTarget = Zarn::QualifiedTargetName("", "", "cmdline");
    } else {
        const auto unit = LoadUnitFile(unitFile, "");
        unitTable.addUnit("", "1", unit);
        mainTarget = Zarn::QualifiedTargetName("", unit->name, unit->firstTarget);
        unitTable.mainUnit = unit->name;
    }
}

bool ZarnApplication::runListing(int& status)
{
    status = 0;
    if (!listedUnit.empty()) {
        Util::CiString nameSpace = mainProject ? mainProject->name : std::string();
        Util::CiString unitName = listedUnit;
        const auto unit = unitTable.getUnit(nameSpace, unitName);
        for (const auto& entry : unit->targets) {
            // The unit's first target stands out and is shown at any threshold.
            if (Util::ciEqual(entry.first, unit->firstTarget))
                printColoured(32, "{}\n", entry.first.str());
            else
                logMessage(LogLevel::Info, "{}\n", entry.first.str());
        }
        return true;
    }
    if (listUnitsFlag || listProfilesFlag) {
        if (!mainProject) {
            logMessage(LogLevel::Error, "No file to list. You need .zarn_project.txt.\n");
            status = 255;
        } else if (listUnitsFlag) {
            for (const auto& unit : mainProject->units)
                logMessage(LogLevel::Info, "{}\n", unit.name);
        } else {
            for (const auto& entry : mainProject->profiles)
                logMessage(LogLevel::Info, "{}\n", entry.first.str());
        }
        return true;
    }
    return false;
}

int ZarnApplication::runBuildPhase()
{
    OpenBuildCache();
    logMessage(LogLevel::Info, "Starting build\n");
    logMessage(LogLevel::Debug, "Main file: {}\n", unitFile.string());
    logMessage(LogLevel::Debug, "Main unit: {}\n", mainTarget.unit);
    logMessage(LogLevel::Debug, "Main target: {}\n", mainTarget.target);
    if (mainProject) {
        projectRuntimeContexts.clear();
        CreateProjectRuntimeContexts(mainProject);
    } else {
        applyProfile();
    }
    if (dumpFlag)
        dumpContexts();
    return BuildMainTarget();
}

void ZarnApplication::dumpContexts() const
{
    if (mainProject) {
        for (const auto& [nameSpace, entry] : projectRuntimeContexts) {
            logMessage(LogLevel::Info, "Implicit context for project '{}':\n", nameSpace.str());
            entry.context.print(LogLevel::Info);
        }
    } else {
        logMessage(LogLevel::Info, "Implicit context:\n");
        profileContext.print(LogLevel::Info);
    }
    if (commandMode)
        commandLineContext.print(LogLevel::Info);
}

void ZarnApplication::registerTool(const Zarn::ToolRecord& record) { Zarn::registerTool(registeredTools, record); }

Zarn::Matcher* ZarnApplication::selectBestTool(const Zarn::TargetContext& target)
{
    return Zarn::selectBestTool(registeredTools, target,
                                Zarn::MatchWeights{exactMatchWeight, partialMatchWeight, noMatchWeight});
}

void ZarnApplication::CreateStaticTools() { Zarn::createStaticTools(registeredTools); }
