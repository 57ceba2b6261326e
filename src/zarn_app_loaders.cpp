// Loading of the configuration files: the project root, unit files and the
// units a project lists, and project files.
#include <memory>
#include <stdexcept>
#include <string>

#include "loader/input_text.h"
#include "loader/lexed_text.h"
#include "loader/quick_parse.h"
#include "loader/syntax_errors.h"
#include "loader/unit_by_targets.h"
#include "loader/visit_result.h"
#include "loader/zarn_visitor_impl.h"
#include "parser/CommonLexer.h"
#include "parser/ZarnTopParser.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "zarn_app.h"
#include "zarn_checked_parse.h"
#include "zarn_file_text.h"

namespace fs = std::filesystem;

namespace {

const char* const projectFileName = ".zarn_project.txt";

}  // namespace

void ZarnApplication::FindProjectRoot()
{
    if (loadMode == LoadMode::UnitFile) {
        projectRoot = unitFile.parent_path();
    } else if (loadMode == LoadMode::SearchProject) {
        const fs::path start = fs::current_path();
        fs::path directory = start;
        bool found = false;
        for (;;) {
            // Anything of that name counts, a directory too; loading it fails later.
            if (fs::exists(fs::status(directory / projectFileName))) {
                found = true;
                break;
            }
            if (directory == directory.root_path() || !directory.has_parent_path())
                break;
            directory = directory.parent_path();
        }
        if (found) {
            logMessage(LogLevel::Debug, "Found a project file at {}\n", directory.string());
            projectRoot = directory;
            projectFile = directory / projectFileName;
        } else {
            logMessage(LogLevel::Debug, "No project file.\n");
            projectRoot = fs::exists(unitFile) ? fs::absolute(unitFile).parent_path() : start;
        }
    }
    logMessage(LogLevel::Debug, "Setting project root to {}\n", projectRoot.string());
}

std::shared_ptr<Zarn::Unit> ZarnApplication::ParseUnitFile(const fs::path& file)
{
    const fs::path resolved = file.has_root_directory() ? file : projectRoot / file;
    if (!fs::exists(resolved))
        throw Zarn::ZarnException("File not found at " + resolved.string());

    std::string text;
    const bool readable = Zarn::readFileText(resolved, text);
    logMessage(LogLevel::Debug, "Parsing {}\n", resolved.string());
    if (!readable)
        throw Zarn::ZarnException("Unable to open file!");

    Zarn::InputText input;
    Zarn::loadInputText(input, text, resolved.string());
    text = std::string();  // the decoded input is all that is read from here on
    if (std::shared_ptr<Zarn::Unit> unit = Zarn::readUnitByTargets(input, Zarn::baseDirectoryOf(resolved))) {
        logMessage(LogLevel::Verbose, "Parsed unit '{}' at '{}'\n", unit->name, resolved.string());
        return unit;
    }
    // The runtime's console listeners stay and show every error; a lexical
    // error (a dropped character) fails the load just as a syntax error does.
    Zarn::LexedText lexed(&input, resolved.string());
    ZarnErrorCounter lexicalErrors("", true);
    lexed.lexer().addErrorListener(&lexicalErrors);
    antlr4::CommonTokenStream tokens(&lexed);
    ZarnTopParser parser(&tokens);
    auto& console = antlr4::ConsoleErrorListener::INSTANCE;
    auto* tree = Zarn::parseQuietlyFirst(parser, lexed, console, &ZarnTopParser::unitFile);
    if (parser.getNumberOfSyntaxErrors() != 0 || lexicalErrors.errors != 0)
        throw Zarn::ZarnException(resolved.string() + " Parsing failed due to syntax errors.");
    if (tree == nullptr || tree->zarnUnit() == nullptr)
        throw Zarn::ZarnException("Unable to parse unit file.");

    ZarnVisitorImpl visitor(Zarn::baseDirectoryOf(resolved), SourceKind::Unit);
    std::shared_ptr<Zarn::Unit> unit = Zarn::takeOwned<Zarn::Unit>(visitor.visitZarnUnit(tree->zarnUnit()));
    logMessage(LogLevel::Verbose, "Parsed unit '{}' at '{}'\n", unit->name, resolved.string());
    return unit;
}

std::shared_ptr<Zarn::Unit> ZarnApplication::LoadUnitFile(const fs::path& file, const Util::CiString& nameSpace)
{
    auto loaded = loadedUnitFiles.find(file);
    if (loaded != loadedUnitFiles.end()) {
        logMessage(LogLevel::Warning, "UnitFile '{}' already loaded.\n", file.string());
        Util::CiString space = nameSpace;
        Util::CiString unitName = loaded->second;
        return unitTable.getUnit(space, unitName);
    }
    auto unit = ParseUnitFile(file);
    if (unit->name.empty())
        unit->name = std::to_string(unnamedUnitCounter.fetch_add(1));
    unitTable.addUnit(nameSpace, unit->name, unit);
    loadedUnitFiles[file] = unit->name;
    logMessage(LogLevel::Verbose, "Loaded unit '{}'\n", unit->name);
    return unit;
}

void ZarnApplication::LoadProjectUnits(const Zarn::ProjectPtr& project)
{
    if (!project)
        throw ZARN_INTERNAL_ERROR();
    if (project == mainProject && mainProjectUnitsLoaded)
        return;
    if (project->units.empty() || project->units.front().name.empty())
        throw Zarn::ZarnException("Project '" + project->name + "' does not list any units.");

    for (const auto& entry : project->units) {
        const Util::CiString nameSpace = project->name;
        std::vector<fs::path> files = entry.files;
        if (files.empty())
            throw Zarn::ZarnException("Project unit '" + entry.name + "' does not list any zarn files.");
        for (auto& file : files)
            if (!file.has_root_directory())
                file = project->file.parent_path() / file;

        std::shared_ptr<Zarn::Unit> merged;
        for (const auto& file : files) {
            auto unit = ParseUnitFile(file);
            if (!Util::ciEqual(unit->name, entry.name))
                throw Zarn::ZarnException("Unit file '" + file.string() + "' declares unit '" + unit->name +
                                          "', but project entry expects unit '" + entry.name + "'.");
            if (!merged) {
                merged = unit;
            } else {
                for (auto& [name, target] : unit->targets) {
                    try {
                        merged->addTarget(std::move(target));
                    } catch (const std::invalid_argument& error) {
                        throw Zarn::ZarnException("Unable to merge unit '" + entry.name + "' from file '" +
                                                  file.string() + "': " + error.what());
                    }
                }
            }
            loadedUnitFiles[file] = entry.name;
        }
        unitTable.addUnit(nameSpace, entry.name, merged);
        logMessage(LogLevel::Verbose, "Loaded unit '{}' from {} file(s)\n", entry.name, files.size());
    }

    if (project != mainProject)
        return;
    Util::CiString nameSpace = project->name;
    Util::CiString firstUnit = project->units.front().name;
    unitTable.addUnit(project->name, "1", unitTable.getUnit(nameSpace, firstUnit));
    mainProjectUnitsLoaded = true;
}

void ZarnApplication::LoadProjectTreeUnits(const Zarn::ProjectPtr& project)
{
    LoadProjectUnits(project);
    for (const auto& imported : project->importedProjects)
        LoadProjectTreeUnits(imported);
}

void ZarnApplication::LoadProjectFile(Zarn::Project& project)
{
    logMessage(LogLevel::Debug, "Loading project file {}\n", project.file.string());
    std::string text;
    std::error_code error;
    if (!Zarn::readFileText(project.file, text, Zarn::FileKinds::Any, error)) {
        if (error == std::errc::no_such_file_or_directory)
            throw Zarn::NotFoundException("Project file", project.file.string());
        throw Zarn::ZarnException("Project file '" + project.file.string() + "' cannot be read: " + error.message() +
                                  ".");
    }

    Zarn::CheckedParse parse(text, project.file);
    auto* tree = parse.parser().projFile();
    parse.throwFirstError();
    if (tree == nullptr || tree->zarnProject() == nullptr)
        throw std::runtime_error("Unable to parse project file.");

    ZarnVisitorImpl visitor(Zarn::baseDirectoryOf(project.file), SourceKind::Project);
    auto data = Zarn::takeResult<Zarn::ProjectData>(visitor.visitZarnProject(tree->zarnProject()));

    // Only now, with the whole file read, does the project change.
    if (project.name.empty())
        project.name = std::move(data.name);
    project.imports = std::move(data.imports);
    project.importedProjects.clear();
    project.toolDefinitions = std::move(data.toolDefinitions);
    project.profiles.clear();
    for (auto& profile : data.profiles) {
        Util::CiString key = profile.name;  // the key keeps its first spelling
        project.profiles[key] = std::move(profile);
    }
    project.units = std::move(data.units);
}
