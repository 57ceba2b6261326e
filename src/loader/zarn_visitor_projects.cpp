// Visits of project files and the registry file: plain records.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "loader/project_data.h"
#include "loader/visit_tree_text.h"
#include "loader/zarn_reg_data.h"
#include "loader/zarn_visitor_impl.h"
#include "types/ci_string.h"

using Zarn::makeResult;
using Zarn::nodeText;
using Zarn::requireNode;
using Zarn::takeResult;
using Zarn::withoutQuotes;

antlrcpp::Any ZarnVisitorImpl::visitZarnProject(ZarnTopParser::ZarnProjectContext* ctx)
{
    Zarn::ProjectData data;
    if (auto* name = ctx->proj_name())
        data.name = nodeText(name->IDENTIFIER());
    if (auto* section = ctx->proj_import_section())
        data.imports = takeResult<std::vector<Zarn::ProjectImport>>(visitProj_import_section(section));
    if (auto* tools = ctx->build_tools())
        data.toolDefinitions = takeResult<std::vector<Zarn::BuildToolDefinition>>(visitBuild_tools(tools));
    if (auto* units = ctx->units()) {
        for (auto* unit : units->unit()) {
            std::string name = nodeText(unit->IDENTIFIER());
            std::vector<std::filesystem::path> files;
            for (auto* file : unit->STRING())
                files.emplace_back(withoutQuotes(nodeText(file)));
            // Entries of one name (letter case aside) are merged into the first.
            Zarn::ProjectUnit* entry = nullptr;
            for (auto& existing : data.units) {
                if (Util::ciEqual(existing.name, name)) {
                    entry = &existing;
                    break;
                }
            }
            if (entry == nullptr) {
                data.units.push_back(Zarn::ProjectUnit{std::move(name), std::move(files)});
            } else {
                for (auto& file : files)
                    entry->files.push_back(std::move(file));
            }
        }
    }
    if (auto* profiles = ctx->profiles())
        for (auto* profile : profiles->profile())
            data.profiles.push_back(takeResult<Zarn::Profile>(visitProfile(profile)));
    return makeResult(std::move(data));
}

antlrcpp::Any ZarnVisitorImpl::visitProj_import_section(ZarnTopParser::Proj_import_sectionContext* ctx)
{
    std::vector<Zarn::ProjectImport> imports;
    for (auto* entry : ctx->proj_import())
        imports.push_back(takeResult<Zarn::ProjectImport>(visitProj_import(entry)));
    return makeResult(std::move(imports));
}

antlrcpp::Any ZarnVisitorImpl::visitProj_import(ZarnTopParser::Proj_importContext* ctx)
{
    if (auto* pathImport = ctx->proj_path_import())
        return visitProj_path_import(pathImport);
    return visitProj_registry_import(requireNode(ctx->proj_registry_import(), "import"));
}

namespace {

// The profile names around an import: "source:" before it, "(import)" after.
void readImportProfiles(Zarn::ProjectImport& entry, ZarnTopParser::Proj_source_profileContext* source,
                        ZarnTopParser::Proj_import_profileContext* imported)
{
    if (source)
        entry.sourceProfile = nodeText(source->IDENTIFIER());
    if (imported)
        entry.importProfile = nodeText(imported->IDENTIFIER());
}

}  // namespace

antlrcpp::Any ZarnVisitorImpl::visitProj_path_import(ZarnTopParser::Proj_path_importContext* ctx)
{
    Zarn::ProjectImport entry;
    entry.kind = Zarn::ProjectImport::PathImport;
    entry.path = withoutQuotes(nodeText(ctx->STRING()));
    entry.alias = nodeText(ctx->IDENTIFIER());
    readImportProfiles(entry, ctx->proj_source_profile(), ctx->proj_import_profile());
    return makeResult(std::move(entry));
}

antlrcpp::Any ZarnVisitorImpl::visitProj_registry_import(ZarnTopParser::Proj_registry_importContext* ctx)
{
    Zarn::ProjectImport entry;
    entry.kind = Zarn::ProjectImport::RegistryImport;
    entry.projectName = nodeText(ctx->IDENTIFIER());
    readImportProfiles(entry, ctx->proj_source_profile(), ctx->proj_import_profile());
    return makeResult(std::move(entry));
}

antlrcpp::Any ZarnVisitorImpl::visitBuild_tools(ZarnTopParser::Build_toolsContext* ctx)
{
    auto tools = ctx->build_tool();
    std::vector<Zarn::BuildToolDefinition> definitions;
    definitions.reserve(tools.size());
    for (auto* tool : tools)
        definitions.push_back(takeResult<Zarn::BuildToolDefinition>(visitBuild_tool(tool)));
    return makeResult(std::move(definitions));
}

antlrcpp::Any ZarnVisitorImpl::visitBuild_tool(ZarnTopParser::Build_toolContext* ctx)
{
    Zarn::BuildToolDefinition definition;
    definition.name = nodeText(ctx->IDENTIFIER());
    // "!" marks a tool's own variables, so it is allowed inside a definition.
    bool savedAllowMust = allowMustModifier;
    allowMustModifier = true;
    definition.contextTemplate = visitBlockTemplate(requireNode(ctx->context(), "tool definition"));
    allowMustModifier = savedAllowMust;
    return makeResult(std::move(definition));
}

antlrcpp::Any ZarnVisitorImpl::visitProfile(ZarnTopParser::ProfileContext* ctx)
{
    Zarn::Profile profile;
    profile.name = nodeText(ctx->IDENTIFIER());
    profile.contextTemplate = visitBlockTemplate(requireNode(ctx->context(), "profile"));
    return makeResult(std::move(profile));
}

antlrcpp::Any ZarnVisitorImpl::visitZarnRegistry(ZarnTopParser::ZarnRegistryContext* ctx)
{
    ZarnRegData data;
    if (auto* projects = ctx->projects())
        data.projects = takeResult<std::vector<ZarnRegProject>>(visitProjects(projects));
    if (auto* tools = ctx->build_tools())
        data.tools = takeResult<std::vector<Zarn::BuildToolDefinition>>(visitBuild_tools(tools));
    return makeResult(std::move(data));
}

antlrcpp::Any ZarnVisitorImpl::visitProjects(ZarnTopParser::ProjectsContext* ctx)
{
    auto entries = ctx->project();
    std::vector<ZarnRegProject> projects;
    projects.reserve(entries.size());
    for (auto* entry : entries)
        projects.push_back(takeResult<ZarnRegProject>(visitProject(entry)));
    return makeResult(std::move(projects));
}

antlrcpp::Any ZarnVisitorImpl::visitProject(ZarnTopParser::ProjectContext* ctx)
{
    ZarnRegProject project;
    project.name = nodeText(ctx->IDENTIFIER());
    // The location is always read as a path; the url alternative never wins.
    auto* location = requireNode(ctx->uri(), "registry entry");
    std::filesystem::path path(withoutQuotes(nodeText(location->path() ? location->path()->STRING()
                                                                      : nullptr)));
    if (!path.has_root_directory())
        path = baseDirectory / path;
    project.path = std::move(path);
    return makeResult(std::move(project));
}
