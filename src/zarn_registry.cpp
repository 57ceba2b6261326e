#include "zarn_registry.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "loader/input_text.h"
#include "loader/visit_result.h"
#include "loader/zarn_reg_data.h"
#include "loader/zarn_visitor_impl.h"
#include "short_path_literals.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"
#include "zarn_checked_parse.h"
#include "zarn_file_lock.h"
#include "zarn_file_text.h"
#include "zarn_state_file.h"
#include "zarn_names.h"

namespace fs = std::filesystem;

namespace {

void appendBody(std::string& text, const Zarn::ContextTemplate* body, const std::string& indent);
void appendBody(std::string& text, const std::vector<Zarn::Assignment>& assignments,
                const std::vector<Zarn::Condition>& conditions, const std::string& indent);

bool holdsBlock(const Zarn::ZarnList& list)
{
    for (const Zarn::ZarnValuePtr& member : list.getMembers()) {
        if (dynamic_cast<const Zarn::ZarnContext*>(member.get()))
            return true;
        if (const auto* nested = dynamic_cast<const Zarn::ZarnList*>(member.get()); nested && holdsBlock(*nested))
            return true;
    }
    return false;
}

// A value as the registry writes it: the value's own literal, but a block
// written out with its assignments and "if" blocks (a context value's own
// literal holds only its names) and lists taken member by member for the
// blocks they may hold. indent is that of the line the value starts on.
std::string registryLiteral(const Zarn::ZarnValue& value, const std::string& indent)
{
    if (const auto* block = dynamic_cast<const Zarn::ZarnContext*>(&value)) {
        const Zarn::ContextPtr& context = block->getContext();
        if (!context)
            return "{}";
        std::vector<Zarn::Assignment> assignments;
        for (const auto& [name, assignment] : context->variables)
            assignments.push_back(assignment);
        std::string text = "{\n";
        appendBody(text, assignments, context->conditions, indent + "  ");
        return text + indent + "}";
    }
    const auto* list = dynamic_cast<const Zarn::ZarnList*>(&value);
    if (!list || !holdsBlock(*list))
        return value.toLiteral();
    // The list's own layout, "[ a, b ]".
    std::string text = "[";
    for (const Zarn::ZarnValuePtr& member : list->getMembers())
        text += " " + (member ? registryLiteral(*member, indent) : std::string("\"\"")) + ",";
    text.back() = ' ';
    return text + "]";
}

// The assignment as the registry writes it: with its modifier, which the
// assignment's own text form leaves out, and "{}" for a missing value, which
// the registry reads back as exactly that.
std::string registryAssignmentText(const Zarn::Assignment& assignment, const std::string& indent)
{
    std::string text;
    if (assignment.flags & Zarn::Assignment::ToolFlag)
        text = "!";
    else if (assignment.flags & Zarn::Assignment::OutputFlag)
        text = "^";
    text += assignment.name;
    if (assignment.type == Zarn::Assignment::Declare && !assignment.value)
        return text;
    text += Zarn::Assignment::operatorText(assignment.type);
    return text + (assignment.value ? registryLiteral(*assignment.value, indent) : std::string("{}"));
}

bool sameValue(const Zarn::ZarnValuePtr& a, const Zarn::ZarnValuePtr& b)
{
    if (!a || !b)
        return !a && !b;
    return a->typeName() == b->typeName() && registryLiteral(*a, "") == registryLiteral(*b, "");
}

const char* comparisonText(Zarn::Condition::OperatorType op)
{
    switch (op) {
    case Zarn::Condition::Equal:
        return " = ";
    case Zarn::Condition::NotEqual:
        return " != ";
    case Zarn::Condition::Less:
        return " < ";
    case Zarn::Condition::Greater:
        return " > ";
    default:
        return "";
    }
}

// "if <name> [<operator> <value>]", without the block.
std::string conditionText(const Zarn::Condition& condition, const std::string& indent = "")
{
    std::string text = "if " + (condition.lhs ? condition.lhs->toLiteral() : std::string());
    if (condition.op != Zarn::Condition::Test)
        text += comparisonText(condition.op) +
                (condition.rhs ? registryLiteral(*condition.rhs, indent) : std::string("{}"));
    return text;
}

// A body: its assignments, then its "if" blocks, as the reader keeps them.
// The blocks are written too: a tool's conditions take part in its use, so
// dropping them would change the tool.
void appendBody(std::string& text, const std::vector<Zarn::Assignment>& assignments,
                const std::vector<Zarn::Condition>& conditions, const std::string& indent)
{
    for (const auto& assignment : assignments)
        text += indent + registryAssignmentText(assignment, indent) + "\n";
    for (const auto& condition : conditions) {
        text += indent + conditionText(condition, indent) + " {\n";
        appendBody(text, condition.context.get(), indent + "  ");
        text += indent + "}\n";
    }
}

void appendBody(std::string& text, const Zarn::ContextTemplate* body, const std::string& indent)
{
    if (body)
        appendBody(text, body->assignments, body->conditions, indent);
}

// Why the body read back differs from the one written, or "".
std::string bodyDifference(const Zarn::ContextTemplate* written, const Zarn::ContextTemplate* read)
{
    static const Zarn::ContextTemplate empty;
    const Zarn::ContextTemplate& mine = written ? *written : empty;
    const Zarn::ContextTemplate& theirs = read ? *read : empty;
    if (mine.assignments.size() != theirs.assignments.size() || mine.conditions.size() != theirs.conditions.size())
        return "its body does not read back as written";
    for (std::size_t i = 0; i < mine.assignments.size(); ++i) {
        const Zarn::Assignment& a = mine.assignments[i];
        const Zarn::Assignment& b = theirs.assignments[i];
        if (a.name != b.name || a.type != b.type || a.flags != b.flags || !sameValue(a.value, b.value))
            return "'" + registryAssignmentText(a, "") + "' does not read back as written";
    }
    for (std::size_t i = 0; i < mine.conditions.size(); ++i) {
        const Zarn::Condition& a = mine.conditions[i];
        const Zarn::Condition& b = theirs.conditions[i];
        if (a.op != b.op || !sameValue(a.lhs, b.lhs) || !sameValue(a.rhs, b.rhs))
            return "'" + conditionText(a) + "' does not read back as written";
        std::string difference = bodyDifference(a.context.get(), b.context.get());
        if (!difference.empty())
            return difference;
    }
    return {};
}

// The first variable name, in a body or its blocks, that cannot be written
// as it is; null when there is none.
const std::string* firstInvalidName(const Zarn::ContextTemplate* body)
{
    if (!body)
        return nullptr;
    for (const auto& assignment : body->assignments)
        if (!Zarn::isValidIdentifier(assignment.name))
            return &assignment.name;
    for (const auto& condition : body->conditions)
        if (const std::string* name = firstInvalidName(condition.context.get()))
            return name;
    return nullptr;
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

namespace {

// Parses registry text as the file at sourcePath is parsed, short path
// literals included; relative project paths are taken from its directory.
// Syntax errors throw std::runtime_error with the first error line.
ZarnRegData parseRegistryText(const std::string& text, const fs::path& sourcePath)
{
    Zarn::CheckedParse parse(Zarn::rewriteShortPathLiterals(text), sourcePath);
    auto* tree = parse.parser().registryFile();
    parse.throwFirstError();
    if (tree == nullptr || tree->zarnRegistry() == nullptr)
        throw std::runtime_error("Unable to parse registry file.");

    ZarnVisitorImpl visitor(Zarn::baseDirectoryOf(sourcePath), SourceKind::Registry);
    return Zarn::takeResult<ZarnRegData>(visitor.visitZarnRegistry(tree->zarnRegistry()));
}

}  // namespace

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
    std::error_code error;
    if (!Zarn::readFileText(filePath, text, Zarn::FileKinds::RegularOnly, error))
        throw Zarn::ZarnException("Registry file '" + filePath.native() + "' cannot be read: " + error.message() + ".");
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
            appendBody(text, definition.get(), "    ");
            text += "  }\n";
        }
        text += "}\n";
    }
    return text;
}

void ZarnRegistry::checkReadsBack(const std::string& text) const
{
    const std::string problem = readBackProblem(text);
    if (!problem.empty())
        throw std::runtime_error("Registry file '" + filePath.native() + "' not saved: " + problem + ".");
}

std::string ZarnRegistry::toolWriteProblem(const Util::CiString& name,
                                           const std::shared_ptr<Zarn::ContextTemplate>& definition) const
{
    if (definition) {
        for (const auto& assignment : definition->assignments) {
            if (assignment.value && !assignment.value->hasLiteralForm())
                return "the text of '" + assignment.name + "' cannot be written so that it reads back";
            // The loader takes UTF-8 only, and the language has no escapes.
            if (assignment.value && !Zarn::isValidUtf8(assignment.value->toString()))
                return "the text of '" + assignment.name + "' is not valid UTF-8";
        }
    }
    ZarnRegistry alone(filePath);
    alone.tools[name] = definition;
    return alone.readBackProblem(alone.toText());
}

std::string ZarnRegistry::readBackProblem(const std::string& text) const
{
    // The clearest reasons first; the read-back below catches the rest.
    for (const auto& [name, path] : projects) {
        if (!Zarn::isValidIdentifier(name))
            return "project name '" + name.str() + "' is not a valid identifier";
        if (path.native().find('"') != std::string::npos)
            return "the path of project '" + name.str() + "' holds a double quote";
        // The loader takes UTF-8 only, and the language has no escapes.
        if (!Zarn::isValidUtf8(path.native()))
            return "the path of project '" + name.str() + "' is not valid UTF-8";
    }
    for (const auto& [name, definition] : tools) {
        if (!Zarn::isValidIdentifier(name))
            return "tool name '" + name.str() + "' is not a valid identifier";
        if (const std::string* variable = firstInvalidName(definition.get()))
            return "variable name '" + *variable + "' of tool '" + name.str() + "' is not a valid identifier";
    }

    ZarnRegData data;
    try {
        data = parseRegistryText(text, filePath);
    } catch (const Zarn::ZarnException& error) {
        return "its text would not read back: " + error.getMessage();
    } catch (const std::exception& error) {
        return std::string("its text would not read back: ") + error.what();
    }

    if (data.projects.size() != projects.size() || data.tools.size() != tools.size())
        return "its text would not read back with the same entries";
    auto readProject = data.projects.begin();
    for (const auto& [name, path] : projects) {
        if (readProject->name != name.str() || readProject->path != path)
            return "the path of project '" + name.str() + "' does not read back as written";
        ++readProject;
    }
    auto readTool = data.tools.begin();
    for (const auto& [name, definition] : tools) {
        if (readTool->name != name.str())
            return "tool '" + name.str() + "' does not read back as written";
        const std::string difference = bodyDifference(definition.get(), readTool->contextTemplate.get());
        if (!difference.empty())
            return "in tool '" + name.str() + "', " + difference;
        ++readTool;
    }
    return {};
}

void ZarnRegistry::save()
{
    if (loadFailed)
        throw std::runtime_error("Registry file '" + filePath.native() +
                                 "' could not be read; not overwriting it.");
    const std::string text = toText();
    checkReadsBack(text);

    const Zarn::StateWriteResult written = Zarn::writeStateFile(resolveLinks(filePath), text);
    switch (written.step) {
    case Zarn::StateWriteStep::Done:
        break;
    case Zarn::StateWriteStep::Open:
        throw std::runtime_error("Unable to open registry file for writing: " + filePath.native());
    default:
        throw std::runtime_error("Unable to write registry file: " + filePath.native());
    }
    logMessage(LogLevel::Info, "Updated file '{}'.\n", filePath.native());
}

void ZarnRegistry::update(const std::function<void(ZarnRegistry&)>& change)
{
    const fs::path lockFile = Zarn::lockFileFor(filePath);
    std::optional<Zarn::FileLock> lock;
    try {
        lock.emplace(lockFile);
    } catch (const std::system_error& error) {
        throw std::runtime_error("Unable to lock registry file '" + filePath.native() + "': " +
                                 error.code().message());
    }
    // What other runs saved since start-up is part of what is written back.
    const auto refuse = [this] {
        return std::runtime_error("Registry file '" + filePath.native() + "' could not be read; not overwriting it.");
    };
    try {
        load();
    } catch (const Zarn::ZarnException&) {
        throw refuse();
    } catch (const std::exception&) {
        throw refuse();
    }
    change(*this);
    save();
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
