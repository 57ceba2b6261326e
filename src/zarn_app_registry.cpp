// The application's side of the registry: loading it at start-up,
// registering the project (-r), and the tools that projects define.
#include <fstream>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "zarn_app.h"
#include "zarn_names.h"
#include "zarn_registry.h"
#include "zarn_tool_selection.h"

namespace fs = std::filesystem;

namespace {

const char* const registryFileName = ".zarn_registry.txt";

}  // namespace

void ZarnApplication::LoadRegistry()
{
    try {
        const fs::path path = configDirectory() / registryFileName;
        registry = std::make_shared<ZarnRegistry>(path);
        registry->load();
    } catch (const Zarn::ZarnException& error) {
        logMessage(LogLevel::Warning, "{}\n", error.getMessage());
    } catch (const std::exception& error) {
        logMessage(LogLevel::Warning, "Unable to load registry file: {}\n", error.what());
    }
}

void ZarnApplication::RegisterProject()
{
    if (!mainProject)
        throw Zarn::NotFoundException("project", "");
    // An entry without a proper name would make the registry unreadable.
    if (!Zarn::isValidIdentifier(mainProject->name))
        throw Zarn::ZarnException("Project file '" + mainProject->file.string() + "' gives the project name '" +
                                  mainProject->name +
                                  "', which is not a valid identifier; the project cannot be registered.");
    const fs::path path = configDirectory() / registryFileName;
    if (!fs::exists(path)) {
        std::ofstream create(path, std::ios::app);
        if (!create)
            throw Zarn::NotFoundException("file", path.native());
    }
    if (!registry)
        throw Zarn::NotFoundException("registry", "");
    registry->update([this](ZarnRegistry& current) { current.addProject(mainProject); });
}

void storeToolDefinitions(ZarnRegistry& registry,
                          const std::vector<std::shared_ptr<Zarn::ContextTemplate>>& definitions)
{
    std::vector<std::pair<std::string, std::shared_ptr<Zarn::ContextTemplate>>> named;
    for (const auto& definition : definitions) {
        if (!definition)
            throw Zarn::ZarnException("Build tool context is null.");
        std::vector<Zarn::Assignment> kept;
        const Zarn::Assignment* name = nullptr;
        for (const auto& assignment : definition->assignments) {
            if (!Util::ciEqual(assignment.name, "toolchain_name")) {
                kept.push_back(assignment);
                continue;
            }
            if (name)
                throw Zarn::ZarnException("Build tool context has multiple 'name' assignments.");
            name = &assignment;
        }
        if (!name)
            throw Zarn::NotFoundException("variable", "toolchain_name");
        if (!name->value)
            throw Zarn::NotFoundException("value of variable", "toolchain_name");
        named.emplace_back(name->value->toString(), std::make_shared<Zarn::ContextTemplate>(std::move(kept)));
    }
    for (auto& [name, definition] : named) {
        // One toolchain the file cannot hold must not cost the others.
        const std::string problem = registry.toolWriteProblem(name, definition);
        if (!problem.empty()) {
            logMessage(LogLevel::Warning, "Tool '{}' left out of the registry: {}.\n", name, problem);
            continue;
        }
        registry.tools[name] = std::move(definition);
    }
}

void ZarnApplication::FindCompilers()
{
    // Without a usable registry nothing found could be kept: say so before
    // searching.
    configDirectory();
    if (!registry)
        throw Zarn::NotFoundException("registry", "");
    if (!findDefaultToolchains)
        throw Zarn::ZarnException("Compiler discovery is not available in this program.");
    // The search runs unlocked; the registry's read-modify-write holds its lock.
    const auto definitions = findDefaultToolchains();
    registry->update([&definitions](ZarnRegistry& current) { storeToolDefinitions(current, definitions); });
}

void ZarnApplication::RegisterProjectTools(const Zarn::ProjectPtr& project)
{
    if (!project)
        return;
    for (const auto& definition : project->toolDefinitions) {
        std::string name = project->name.empty() ? definition.name : project->name + "/" + definition.name;
        registerTool(Zarn::ToolRecord{std::move(name), definition.contextTemplate, "Project " + project->name});
    }
    for (const auto& imported : project->importedProjects)
        RegisterProjectTools(imported);
}
