#include "zarn_registry.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "loader/input_text.h"
#include "loader/syntax_errors.h"
#include "loader/visit_result.h"
#include "loader/zarn_visitor_impl.h"
#include "parser/CommonLexer.h"
#include "parser/ZarnTopParser.h"
#include "short_path_literals.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "zarn_file_text.h"
#include "zarn_names.h"

namespace fs = std::filesystem;

namespace {

// The assignment as the registry writes it: with its modifier, which the
// assignment's own text form leaves out, and "{}" for a missing value, which
// the registry reads back as exactly that.
std::string registryAssignmentText(const Zarn::Assignment& assignment)
{
    std::string text;
    if (assignment.flags & Zarn::Assignment::ToolFlag)
        text = "!";
    else if (assignment.flags & Zarn::Assignment::OutputFlag)
        text = "^";
    text += assignment.toString();
    if (!assignment.value && assignment.type != Zarn::Assignment::Declare)
        text += "{}";
    return text;
}

bool sameValue(const Zarn::ZarnValuePtr& a, const Zarn::ZarnValuePtr& b)
{
    if (!a || !b)
        return !a && !b;
    return a->typeName() == b->typeName() && a->toLiteral() == b->toLiteral();
}

// Why the assignment read back differs from the one written, or "".
std::string assignmentDifference(const Zarn::Assignment& written, const Zarn::Assignment& read)
{
    if (written.name != read.name || written.type != read.type || written.flags != read.flags ||
        !sameValue(written.value, read.value))
        return "'" + registryAssignmentText(written) + "' does not read back as written";
    return {};
}

std::string toolDifference(const std::string& tool, const std::shared_ptr<Zarn::ContextTemplate>& written,
                           const std::shared_ptr<Zarn::ContextTemplate>& read)
{
    static const std::vector<Zarn::Assignment> none;
    const auto& mine = written ? written->assignments : none;
    const auto& theirs = read ? read->assignments : none;
    if (mine.size() != theirs.size())
        return "the body of tool '" + tool + "' does not read back as written";
    for (std::size_t i = 0; i < mine.size(); ++i) {
        std::string difference = assignmentDifference(mine[i], theirs[i]);
        if (!difference.empty())
            return "in tool '" + tool + "', " + difference;
    }
    return {};
}

// Follows symbolic links, so that a save replaces the file a link points to
// and not the link.
fs::path resolveLinks(fs::path file)
{
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(file, error)))
            break;
        fs::path link = fs::read_symlink(file, error);
        if (error)
            break;
        file = link.is_absolute() ? link : file.parent_path() / link;
    }
    return file;
}

}  // namespace

fs::path configDirectory()
{
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        throw std::runtime_error("Unable to resolve HOME path.");
    fs::path directory = fs::path(home) / ".config" / "zarn";
    fs::create_directories(directory);
    return directory;
}

ZarnRegData parseRegistryText(const std::string& text, const fs::path& sourcePath)
{
    const std::string rewritten = Zarn::rewriteShortPathLiterals(text);
    antlr4::ANTLRInputStream input;
    Zarn::loadInputText(input, rewritten, sourcePath.string());
    CommonLexer lexer(&input);
    antlr4::CommonTokenStream tokens(&lexer);
    ZarnTopParser parser(&tokens);
    ThrowingErrorListener listener;
    listener.sourcePath = sourcePath;
    replaceErrorListeners(lexer, listener);
    replaceErrorListeners(parser, listener);

    auto* tree = parser.registryFile();
    if (!listener.messages.empty())
        throw std::runtime_error(listener.messages.front());
    if (tree == nullptr || tree->zarnRegistry() == nullptr)
        throw std::runtime_error("Unable to parse registry file.");

    fs::path directory = sourcePath.parent_path();
    if (directory.empty())
        directory = ".";
    ZarnVisitorImpl visitor(fs::weakly_canonical(directory), SourceKind::Registry);
    return Zarn::takeResult<ZarnRegData>(visitor.visitZarnRegistry(tree->zarnRegistry()));
}

ZarnRegistry::ZarnRegistry(fs::path filePath) : filePath(std::move(filePath)) {}

void ZarnRegistry::load()
{
    loadFailed = true;
    if (!fs::exists(filePath)) {
        std::ofstream create(filePath, std::ios::app);  // a failure shows when saving
        loadFailed = false;
        return;
    }
    std::string text;
    if (!Zarn::readFileText(filePath, text))
        throw Zarn::NotFoundException("Registry file", filePath.native());
    ZarnRegData data = parseRegistryText(text, filePath);

    // A later entry of a name replaces the earlier one; the key keeps the
    // first spelling.
    projects.clear();
    for (auto& project : data.projects)
        projects[project.name] = std::move(project.path);
    tools.clear();
    for (auto& tool : data.tools)
        tools[tool.name] = std::move(tool.contextTemplate);
    loadFailed = false;
}

std::string ZarnRegistry::toText() const
{
    std::string text;
    if (!projects.empty()) {
        text += "projects {\n";
        for (const auto& [name, path] : projects)
            text += "  " + name.str() + " \"" + path.native() + "\"\n";
        text += "}";
        text += tools.empty() ? "\n" : "\n\n";
    }
    if (!tools.empty()) {
        text += "tools {\n";
        for (const auto& [name, definition] : tools) {
            text += "  " + name.str() + " {\n";
            if (definition)
                for (const auto& assignment : definition->assignments)
                    text += "    " + registryAssignmentText(assignment) + "\n";
            text += "  }\n";
        }
        text += "}\n";
    }
    return text;
}

void ZarnRegistry::checkReadsBack(const std::string& text) const
{
    const auto refuse = [this](const std::string& reason) {
        return std::runtime_error("Registry file '" + filePath.native() + "' not saved: " + reason + ".");
    };
    // The clearest reasons first; the read-back below catches the rest.
    for (const auto& [name, path] : projects) {
        if (!Zarn::isValidIdentifier(name))
            throw refuse("project name '" + name.str() + "' is not a valid identifier");
        if (path.native().find('"') != std::string::npos)
            throw refuse("the path of project '" + name.str() + "' holds a double quote");
    }
    for (const auto& [name, definition] : tools) {
        if (!Zarn::isValidIdentifier(name))
            throw refuse("tool name '" + name.str() + "' is not a valid identifier");
        if (!definition)
            continue;
        for (const auto& assignment : definition->assignments)
            if (!Zarn::isValidIdentifier(assignment.name))
                throw refuse("variable name '" + assignment.name + "' of tool '" + name.str() +
                             "' is not a valid identifier");
    }

    ZarnRegData data;
    try {
        data = parseRegistryText(text, filePath);
    } catch (const Zarn::ZarnException& error) {
        throw refuse("its text would not read back: " + error.getMessage());
    } catch (const std::exception& error) {
        throw refuse(std::string("its text would not read back: ") + error.what());
    }

    if (data.projects.size() != projects.size() || data.tools.size() != tools.size())
        throw refuse("its text would not read back with the same entries");
    auto readProject = data.projects.begin();
    for (const auto& [name, path] : projects) {
        if (readProject->name != name.str() || readProject->path != path)
            throw refuse("the path of project '" + name.str() + "' does not read back as written");
        ++readProject;
    }
    auto readTool = data.tools.begin();
    for (const auto& [name, definition] : tools) {
        std::string difference = readTool->name == name.str()
                                     ? toolDifference(name, definition, readTool->contextTemplate)
                                     : "tool '" + name.str() + "' does not read back as written";
        if (!difference.empty())
            throw refuse(difference);
        ++readTool;
    }
}

void ZarnRegistry::save()
{
    if (loadFailed)
        throw std::runtime_error("Registry file '" + filePath.native() +
                                 "' could not be read; not overwriting it.");
    const std::string text = toText();
    checkReadsBack(text);

    const fs::path target = resolveLinks(filePath);
    fs::path temporary = target;
    temporary += ".tmp." + std::to_string(::getpid());
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("Unable to open registry file for writing: " + filePath.native());
    out << text;
    out.flush();
    out.close();
    std::error_code error;
    if (out.fail()) {
        fs::remove(temporary, error);
        throw std::runtime_error("Unable to write registry file: " + filePath.native());
    }
    // The replacement keeps the old file's permissions.
    const fs::file_status old = fs::status(target, error);
    if (!error && fs::is_regular_file(old))
        fs::permissions(temporary, old.permissions(), error);
    fs::rename(temporary, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw std::runtime_error("Unable to write registry file: " + filePath.native());
    }
    logMessage(LogLevel::Info, "Updated file '{}'.\n", filePath.native());
}

void ZarnRegistry::addProject(const Zarn::ProjectPtr& project)
{
    if (!project)
        throw ZARN_INTERNAL_ERROR();
    auto it = projects.find(project->name);
    if (it != projects.end() && it->second.compare(project->file) == 0) {
        logMessage(LogLevel::Warning, "Project already registered");
        return;
    }
    if (it != projects.end())
        it->second = project->file;
    else
        projects.emplace(project->name, project->file);
}
