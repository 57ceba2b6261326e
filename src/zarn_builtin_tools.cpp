#include "zarn_builtin_tools.h"

#include "types/zarn_log.h"
#include "types/zarn_value_types.h"
#include "zarn_target_visitor.h"
#include "zarn_tool_type_registry.h"

namespace Zarn {

namespace {

constexpr const char* noToolName = "NO_TOOL";
constexpr const char* workingDirectoryName = "cwd";

// The commands a value stands for: a string (raw and path strings too) is one
// command, a list one per member, a nested list joined by blanks. False when
// the value, or a member, is no command text (an integer, identifier or
// context); then nothing at all is run.
bool collectCommands(const ZarnValue& value, std::vector<std::string>& commands)
{
    if (dynamic_cast<const ZarnBaseString*>(&value)) {
        commands.push_back(value.toString());
        return true;
    }
    const auto* list = dynamic_cast<const ZarnList*>(&value);
    if (!list)
        return false;
    for (const ZarnValuePtr& member : list->getMembers()) {
        if (!member)
            return false;
        if (dynamic_cast<const ZarnBaseString*>(member.get()) || dynamic_cast<const ZarnList*>(member.get()))
            commands.push_back(member->toString());
        else
            return false;
    }
    return true;
}

// "unit::target" of a job's target, or "" for a plain context.
std::string jobDisplayName(const Context& context)
{
    const auto* target = dynamic_cast<const TargetContext*>(&context);
    return target ? displayNameOf(target->name) : std::string();
}

}  // namespace

const KeySet& commandWantsTable()
{
    static const KeySet table = makeKeySet({makeKeyEntry(workingDirectoryName)});
    return table;
}

const KeySet& commandVariablesTable()
{
    static const KeySet table = makeKeySet({makeKeyEntry("cmdline")});
    return table;
}

const KeySet& noToolVariablesTable()
{
    static const KeySet table = makeKeySet({makeKeyEntry(noToolName)});
    return table;
}

const KeySet& noToolSubjectsTable()
{
    static const KeySet table = makeKeySet({makeKeyEntry(noToolName)});
    return table;
}

std::unique_ptr<Matcher> BasicMatcher::clone() const
{
    return std::make_unique<BasicMatcher>(*this);
}

MatchResult BasicMatcher::match(const TargetContext&) const
{
    MatchResult result;
    result.status = BuildPossible;
    return result;
}

std::shared_ptr<Builder> BasicMatcher::createBuilder(const TargetContext&)
{
    return std::make_shared<BasicBuilder>();
}

BasicBuilder::BasicBuilder()
{
    subjects = makeKeySet({makeKeyEntry(variableName)});
}

Context BasicBuilder::createOutputContext(const Context&, int status)
{
    Context output;
    output.addAssignment(Assignment("result", std::make_shared<ZarnInt>(status), Assignment::Set), 0);
    return output;
}

BuildPlan BasicBuilder::createBuildPlan(const TargetContext& target)
{
    BuildPlan plan;
    RecipeIO recipe;
    for (const auto& [name, assignment] : target.variables) {
        if (!assignment.value)
            continue;
        Assignment copy(assignment.name, assignment.value->deepClone(), Assignment::Set, assignment.flags);
        if (assignment.flags == Assignment::OutputFlag)
            recipe.outputs.push_back(std::move(copy));
        else if (name == variableName || name == workingDirectoryName)
            plan.environment.push_back(std::move(copy));
        else
            recipe.inputs.push_back(RecipeInput{std::move(copy), Assignment(), false});
    }
    if (recipe.outputs.empty())
        plan.environment.clear();
    else
        plan.recipes.push_back(std::move(recipe));
    return plan;
}

std::vector<Recipe> BasicBuilder::createRecipes(const Context& job)
{
    ZarnValuePtr value = getVariable(job, variableName);
    if (!value)
        return {};
    std::vector<std::string> commands;
    if (!collectCommands(*value, commands)) {
        logMessage(LogLevel::Warning,
                   "Target '{}': '{}' holds a value that is not a command ({}). Nothing is run.\n",
                   jobDisplayName(job), variableName, value->toLiteral());
        return {};
    }
    std::string workingDirectory = getString(job, workingDirectoryName);
    std::vector<Recipe> recipes;
    recipes.reserve(commands.size());
    for (std::string& command : commands)
        recipes.push_back(Recipe{std::move(command), workingDirectory, recipeKind, {}});
    return recipes;
}

std::unique_ptr<Matcher> NoToolMatcher::clone() const
{
    return std::make_unique<NoToolMatcher>(*this);
}

MatchResult NoToolMatcher::match(const TargetContext& target) const
{
    MatchResult result;
    if (!hasVariable(target, noToolName))
        return result;
    result.status = BuildPossible;
    result.kinds[noToolName] = MatchEntry{MatchKind::ExactMatch, 0};
    return result;
}

std::shared_ptr<Builder> NoToolMatcher::createBuilder(const TargetContext&)
{
    return std::make_shared<NoToolBuilder>();
}

NoToolBuilder::NoToolBuilder() : Builder(noToolSubjectsTable(), VariableSchema())
{
}

std::unique_ptr<Matcher> createBasicMatcher(Util::CiString name, KeySet wants, KeySet variables)
{
    return std::make_unique<BasicMatcher>(std::move(name), commandWantsTable(), commandVariablesTable(),
                                          wants, variables);
}

std::unique_ptr<Matcher> createNoToolMatcher(Util::CiString name, KeySet wants, KeySet variables)
{
    return std::make_unique<NoToolMatcher>(std::move(name), KeySet(), noToolVariablesTable(), wants,
                                           variables);
}

void initBasicToolTables()
{
    commandWantsTable();
    commandVariablesTable();
    registerToolFactory("command", "NULL", createBasicMatcher);
    noToolSubjectsTable();
    noToolVariablesTable();
    registerToolFactory("no_tool", "NULL", createNoToolMatcher);
}

}  // namespace Zarn
