// The application object: one per run, made by the program's entry. It owns
// the registry, the projects and their units, the registered tools and the
// contexts of the run, and drives the start-up in its fixed order.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "loader/unit_table.h"
#include "loader/zarn_profile.h"
#include "loader/zarn_project.h"
#include "types/ci_string.h"
#include "types/qualified_target_name.h"
#include "types/zarn_context_types.h"
#include "zarn_build_cache.h"
#include "zarn_tool_selection.h"

class ZarnRegistry;

namespace Zarn {
struct VisitingState;
}

// How the units of a run are found.
enum class LoadMode : int32_t {
    SearchProject = 0,  // search upwards for the project file
    UnitFile = 1,       // -f <file>
    CommandLine = 2,    // -c: no unit file at all
};

// One loaded project with the variables every target of it starts from.
struct ProjectRuntimeContext {
    Zarn::ProjectPtr project;
    Zarn::Context context;
};

class ZarnApplication {
public:
    ZarnApplication();
    ~ZarnApplication();
    ZarnApplication(const ZarnApplication&) = delete;
    ZarnApplication& operator=(const ZarnApplication&) = delete;

    // Fills the option fields from the program's arguments (argv[0] skipped).
    // -h prints the usage text and ends the process with status 0.
    void parseCommandLine(int argc, const char* const argv[]);

    // The start-up and run after the options are parsed; returns the exit
    // status. Errors leave as exceptions for the entry to report.
    int run();

    // Built-in variables, profiles and runtime contexts.
    void addBuiltinVariables();
    // The profile named among the positionals, before the imports are read.
    void selectProfile();
    // Loads the imported projects of a project, depth first; an import cycle
    // is an error.
    void ResolveProjectImports(const Zarn::ProjectPtr& project);
    // Gives each positional its meaning: target, profile or assignment.
    void applyCommandLineArguments();
    // The runtime contexts of a project and of every project it imports.
    void CreateProjectRuntimeContexts(const Zarn::ProjectPtr& project);
    Zarn::Context CreateImplicitContextForProject(const Zarn::ProjectPtr& project);
    // The runtime context of a run without a project.
    void applyProfile();

    // Tools.
    // Makes the tool of a definition and enters it; a later definition of a
    // name replaces an earlier one with a warning.
    void registerTool(const Zarn::ToolRecord& record);
    // The best-scoring registered tool for the target, or null. The map keeps
    // the matcher.
    Zarn::Matcher* selectBestTool(const Zarn::TargetContext& target);

    // The build (zarn_target_visitor.cpp, zarn_app_build.cpp).
    // Builds the target after, depth first, every target it depends on, and
    // returns its output context.
    Zarn::Context buildTarget(const Zarn::QualifiedTargetName& name, const std::vector<Zarn::ZarnValuePtr>& parameters,
                              Zarn::VisitingState& visiting);
    // Makes the build cache for ".zarn_cache" in the project root and reads it.
    void OpenBuildCache();
    // Command mode: the "cmdline" target, made of the command-line context.
    void CreateCommandLineTarget();
    // Builds the main target, writes the -o file and saves the cache; the
    // cache is saved after a failed build too. Returns the exit status.
    int BuildMainTarget();

    // Loaders of the configuration files.
    // Writes ".zarn_project.txt" into the current directory from the unit
    // files below the project root; an empty name becomes the directory's.
    void CreateProjectFile(std::string& name);
    // Makes the registry for the per-user file and reads it; never throws.
    void LoadRegistry();
    // Sets the project root and, when one is found, the project file.
    void FindProjectRoot();
    std::shared_ptr<Zarn::Unit> ParseUnitFile(const std::filesystem::path& file);
    std::shared_ptr<Zarn::Unit> LoadUnitFile(const std::filesystem::path& file, const Util::CiString& nameSpace);
    void LoadProjectFile(Zarn::Project& project);
    void LoadProjectUnits(const Zarn::ProjectPtr& project);
    void LoadProjectTreeUnits(const Zarn::ProjectPtr& project);
    // Records the main project in the registry and rewrites the registry file.
    void RegisterProject();
    // --find-compilers: enters the default toolchain definitions into the
    // registry and rewrites the registry file.
    void FindCompilers();
    // "default_basic" (type "command") and "default_no_tool" (type "no_tool").
    void CreateStaticTools();
    void RegisterProjectTools(const Zarn::ProjectPtr& project);

    // Fields, in the order of construction.
    std::filesystem::path projectRoot;
    std::filesystem::path projectFile;  // empty when no project file was found
    UnitTable unitTable;
    Zarn::QualifiedTargetName mainTarget;
    std::atomic<int32_t> unnamedUnitCounter{1};  // names units that declare none
    std::filesystem::path unitFile{"zarn.txt"};
    LoadMode loadMode = LoadMode::SearchProject;
    std::vector<std::string> positionalArguments;
    Zarn::ProjectPtr mainProject;
    std::shared_ptr<ZarnRegistry> registry;
    std::map<std::filesystem::path, std::string> loadedUnitFiles;  // unit file to unit name
    std::map<Util::CiString, std::shared_ptr<Zarn::Matcher>> registeredTools;
    std::map<Util::CiString, ProjectRuntimeContext> projectRuntimeContexts;  // by namespace
    bool mainProjectUnitsLoaded = false;
    Zarn::Context globalContext;       // the built-in variables
    Zarn::Context commandLineContext;  // assignments given as positionals
    Zarn::Context profileContext;      // runtime context of a run without a project
    std::unique_ptr<Zarn::RuntimeCache> buildCache;  // made at the start of the build phase
    std::shared_ptr<Zarn::Profile> selectedProfile;
    int verbosity = 5;
    int jobCount = 1;
    bool commandMode = false;
    bool dumpFlag = false;
    std::string listedUnit;
    bool listUnitsFlag = false;
    bool listProfilesFlag = false;
    bool createProjectFlag = false;
    bool registerFlag = false;
    bool findCompilersFlag = false;
    bool versionFlag = false;
    std::string outputsFile;
    // Returns the default toolchain definitions of the machine; set by the
    // program's entry, so that the driver does not depend on the toolchains.
    std::function<std::vector<std::shared_ptr<Zarn::ContextTemplate>>()> findDefaultToolchains;
    int exactMatchWeight = 2;
    int partialMatchWeight = 1;
    int noMatchWeight = 0;

private:
    void ResolveProjectImports(const Zarn::ProjectPtr& project, std::vector<std::filesystem::path>& chain);
    // The units of the run and the main target.
    void loadUnitsAndMainTarget();
    // The first listing that applies; true when one ran, with its status.
    bool runListing(int& status);
    // Runtime contexts, dumps, and the build of the main target.
    int runBuildPhase();
    void dumpContexts() const;
};

// Enters each definition into the registry's tools under the text of its
// "toolchain_name" assignment, which is left out of the stored definition; a
// definition of the same name is replaced. Every definition is checked before
// the registry changes; one that the registry file could not hold so that it
// reads back is left out with a warning naming it.
void storeToolDefinitions(ZarnRegistry& registry,
                          const std::vector<std::shared_ptr<Zarn::ContextTemplate>>& definitions);

// The name of the first entry of the project's units section, or "".
std::string getFirstListedName(const Zarn::Project& project);
