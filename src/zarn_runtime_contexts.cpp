#include "zarn_runtime_contexts.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "loader/assignment_text.h"
#include "types/nesting_limit.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"
#include "zarn_app.h"
#include "zarn_registry.h"

namespace fs = std::filesystem;
using Zarn::Assignment;

namespace Zarn {

std::vector<Assignment> builtinVariables(const fs::path& projectRoot, std::time_t now)
{
    std::vector<Assignment> result;
    auto add = [&](const char* name, std::string text, Assignment::AssignType type) {
        result.emplace_back(name, makeString(std::move(text)), type);
    };
    // A directory's name is taken as it is: never expanded ("#1", "${x}"),
    // never a wildcard pattern ("app*").
    auto addPath = [&](const char* name, const fs::path& path, Assignment::AssignType type) {
        result.emplace_back(name, makeFileSystemText(path.string()), type);
    };
    std::error_code error;
    // A drive root only exists on the one family; the test is relative on purpose.
    if (fs::exists("C:\\", error))
        add("os_family", "windows", Assignment::SetIfUnset);
    else if (fs::exists("/bin", error))
        add("os_family", "unix", Assignment::SetIfUnset);
    std::tm local{};
    localtime_r(&now, &local);
    add("year", std::to_string(local.tm_year + 1900), Assignment::SetIfUnset);
    add("month", std::to_string(local.tm_mon + 1), Assignment::SetIfUnset);
    add("day", std::to_string(local.tm_mday), Assignment::SetIfUnset);
    addPath("project_root", projectRoot, Assignment::Set);
    add("output_def_dir", "out", Assignment::Set);
    addPath("cwd", fs::current_path(), Assignment::SetIfUnset);
    return result;
}

void addProfileTo(Context& context, const Profile& profile)
{
    if (!profile.contextTemplate)
        return;
    ContextPtr variables = profile.contextTemplate->createContext();
    context.addAssignments(*variables);
    context.addConditions(*variables);
}

}  // namespace Zarn

namespace {

std::string profileAlreadySet(const Zarn::Profile& selected)
{
    return "Profile already set to '" + selected.name + "'. It can only be set once.";
}

const Zarn::Profile& requireProfile(const Zarn::Project& project, const std::string& name)
{
    auto it = project.profiles.find(name);
    if (it == project.profiles.end())
        throw Zarn::NotFoundException("profile", name);
    return it->second;
}

}  // namespace

void ZarnApplication::addBuiltinVariables()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    for (const auto& assignment : Zarn::builtinVariables(projectRoot, now))
        globalContext.addAssignment(assignment, 0);
}

void ZarnApplication::selectProfile()
{
    if (!mainProject)
        return;
    for (const auto& argument : positionalArguments) {
        if (unitTable.hasTarget(argument))
            continue;
        auto it = mainProject->profiles.find(argument);
        if (it == mainProject->profiles.end())
            continue;
        logMessage(LogLevel::Debug, "Using profile '{}'.\n", argument);
        if (selectedProfile)
            throw Zarn::ZarnException(profileAlreadySet(*selectedProfile));
        selectedProfile = std::make_shared<Zarn::Profile>(it->second);
        mainProject->selectedProfile = it->second.name;
    }
}

void ZarnApplication::ResolveProjectImports(const Zarn::ProjectPtr& project)
{
    std::vector<fs::path> chain;
    ResolveProjectImports(project, chain);
}

// The chain holds the canonical project files from the main project down to
// this one; meeting one of them again would recurse without end.
void ZarnApplication::ResolveProjectImports(const Zarn::ProjectPtr& project, std::vector<fs::path>& chain)
{
    if (!project)
        throw ZARN_INTERNAL_ERROR();
    const fs::path self = fs::weakly_canonical(fs::absolute(project->file));
    if (std::find(chain.begin(), chain.end(), self) != chain.end()) {
        std::string text;
        for (const auto& file : chain)
            text += file.string() + " -> ";
        throw Zarn::ZarnException("Import cycle: " + text + self.string());
    }
    if (chain.size() > Zarn::maxImportDepth)
        Zarn::throwNestingLimit("Imports are nested deeper than " + std::to_string(Zarn::maxImportDepth) +
                                " projects, at project file '" + self.string() + "'.");
    chain.push_back(self);

    project->importedProjects.clear();
    for (const auto& entry : project->imports) {
        if (!entry.sourceProfile.empty()) {
            requireProfile(*project, entry.sourceProfile);
            if (!Util::ciEqual(entry.sourceProfile, project->selectedProfile))
                continue;
        }
        fs::path file;
        if (entry.kind == Zarn::ProjectImport::RegistryImport) {
            if (!registry)
                throw Zarn::NotFoundException("registry", "");
            auto it = registry->projects.find(entry.projectName);
            if (it == registry->projects.end())
                throw Zarn::NotFoundException("Registered project", entry.projectName);
            file = it->second;
        } else {
            file = entry.path;
            if (!file.has_root_directory())
                file = project->file.parent_path() / file;
        }
        auto imported = std::make_shared<Zarn::Project>();
        imported->file = file;
        imported->name = entry.alias;
        LoadProjectFile(*imported);
        if (!entry.importProfile.empty()) {
            requireProfile(*imported, entry.importProfile);
            imported->selectedProfile = entry.importProfile;
        }
        ResolveProjectImports(imported, chain);
        project->importedProjects.push_back(imported);
    }
    chain.pop_back();
}

void ZarnApplication::applyCommandLineArguments()
{
    bool targetGiven = false;
    for (const auto& argument : positionalArguments) {
        if (unitTable.hasTarget(argument)) {
            if (targetGiven) {
                logMessage(LogLevel::Error, "Only one target name can be specified\n");
                continue;
            }
            targetGiven = true;
            logMessage(LogLevel::Debug, "Main target changed from {} to {}.\n", mainTarget.toString(), argument);
            const auto name = Zarn::QualifiedTargetName::parse(argument);
            mainTarget.target = name.target;
            if (!name.project.empty())
                mainTarget.project = name.project;
            if (!name.unit.empty())
                mainTarget.unit = name.unit;
            continue;
        }
        if (mainProject) {
            auto it = mainProject->profiles.find(argument);
            if (it != mainProject->profiles.end()) {
                logMessage(LogLevel::Debug, "Using profile '{}'.\n", argument);
                if (!selectedProfile) {
                    selectedProfile = std::make_shared<Zarn::Profile>(it->second);
                    mainProject->selectedProfile = it->second.name;
                } else if (!Util::ciEqual(selectedProfile->name, argument)) {
                    throw Zarn::ZarnException(profileAlreadySet(*selectedProfile));
                }
                continue;
            }
        }
        const Assignment assignment = parseAssignmentText(argument, ".");
        commandLineContext.addAssignment(assignment, 0);
        logMessage(LogLevel::Debug, "Identified assignment '{}'.\n", assignment.toString());
    }
}

void ZarnApplication::CreateProjectRuntimeContexts(const Zarn::ProjectPtr& project)
{
    if (!project)
        throw ZARN_INTERNAL_ERROR();
    if (projectRuntimeContexts.count(project->name) != 0)
        throw Zarn::ZarnException("Project namespace '" + project->name + "' is used more than once.");
    projectRuntimeContexts.emplace(project->name,
                                   ProjectRuntimeContext{project, CreateImplicitContextForProject(project)});
    for (const auto& imported : project->importedProjects)
        CreateProjectRuntimeContexts(imported);
}

Zarn::Context ZarnApplication::CreateImplicitContextForProject(const Zarn::ProjectPtr& project)
{
    if (!project)
        throw ZARN_INTERNAL_ERROR();
    Zarn::Context context;
    context.addAssignments(globalContext);
    context.addAssignment(
        Assignment("project_root", Zarn::makeFileSystemText(project->file.parent_path().string()), Assignment::Set),
        0);
    auto defaultProfile = project->profiles.find("default");
    if (defaultProfile != project->profiles.end())
        Zarn::addProfileTo(context, defaultProfile->second);
    if (!project->selectedProfile.empty()) {
        Zarn::addProfileTo(context, requireProfile(*project, project->selectedProfile));
        context.addAssignment(Assignment("PROFILE", Zarn::makeString(project->selectedProfile), Assignment::Set), 0);
    }
    if (!commandMode)
        context.addAssignments(commandLineContext);
    return context;
}

void ZarnApplication::applyProfile()
{
    profileContext.addAssignments(globalContext);
    if (!commandMode)
        profileContext.addAssignments(commandLineContext);
}
