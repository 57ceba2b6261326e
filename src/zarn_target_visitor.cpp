// The target visitor: builds one target after, depth first, every target it
// depends on, and returns the target's output context.
#include "zarn_target_visitor.h"

#include <forward_list>
#include <iterator>
#include <memory>
#include <set>
#include <utility>
#include <variant>

#include "types/nesting_limit.h"
#include "types/zarn_dependency_list.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"
#include "zarn_app.h"
#include "zarn_build_cache.h"
#include "zarn_build_jobs.h"
#include "zarn_dependency_outputs.h"
#include "zarn_tool.h"

namespace Zarn {

std::string displayNameOf(const QualifiedTargetName& name)
{
    return name.unit + "::" + name.target;
}

namespace {

using OwnOutputs = std::map<Util::CiString, Assignment>;

// Takes the target off the visiting state when its visit ends, also by an
// exception.
class VisitEntry {
public:
    VisitEntry(VisitingState& state, std::string name) : state(state), name(std::move(name))
    {
        state.names.insert(this->name);
        state.path.push_front(this->name);
    }
    ~VisitEntry()
    {
        state.names.erase(name);
        state.path.pop_front();
        if (target)
            state.targets.erase(target);
    }
    VisitEntry(const VisitEntry&) = delete;
    VisitEntry& operator=(const VisitEntry&) = delete;

    void enterDefinition(const Target* definition)
    {
        state.targets.insert(definition);
        target = definition;
    }

private:
    VisitingState& state;
    std::string name;
    const Target* target = nullptr;
};

// An assignment whose value shares nothing with the source, so that output
// contexts and records never change each other.
Assignment detachedCopy(const Assignment& assignment, Assignment::AssignType type)
{
    return Assignment(assignment.name, assignment.value ? assignment.value->deepClone() : nullptr, type,
                      assignment.flags);
}

bool isOutputVariable(const Assignment& assignment)
{
    return assignment.flags == Assignment::OutputFlag;
}

// The matcher's wants, then its variables, each in name order, with the
// matcher's conditions: the defaults a tool gives the targets it builds.
ContextPtr createToolDefaults(const Matcher& matcher)
{
    std::vector<Assignment> assignments;
    for (const auto& entry : matcher.wants)
        assignments.push_back(entry.second);
    for (const auto& entry : matcher.variables)
        assignments.push_back(entry.second);
    return ContextTemplate(std::move(assignments), matcher.conditions).createContext();
}

void reportToolSelection(const Matcher& matcher, const Builder& builder, const MatchResult& result)
{
    logMessage(LogLevel::Verbose, "Tool selection\n");
    logMessage(LogLevel::Verbose, "--------------\n");
    logMessage(LogLevel::Verbose, "Registered : {}\n", matcher.name.str());
    logMessage(LogLevel::Verbose, "Tool       : {}\n", builder.getName());
    logMessage(LogLevel::Verbose, "Reason     :\n");
    bool any = false;
    for (const auto& [name, entry] : result.kinds) {
        if (entry.kind == MatchKind::NoMatch)
            continue;
        any = true;
        logMessage(LogLevel::Verbose, "  - {} {}\n", name.str(),
                   entry.kind == MatchKind::ExactMatch ? "full match" : "partial match");
    }
    if (!any)
        logMessage(LogLevel::Verbose, "  - no matched variables\n");
}

void reportClaims(const MatchResult& result)
{
    logMessage(LogLevel::Debug, "Filtering context.\n");
    for (const auto& [name, entry] : result.kinds)
        if (entry.claimed == 1)
            logMessage(LogLevel::Debug, "Claiming variable '{}'.\n", name.str());
}

std::string literalOf(const ZarnValuePtr& value)
{
    return value ? value->toLiteral() : std::string();
}

// A tool's outputs are texts it made from resolved values and file names:
// expanding them again in a dependent would expand the directories in them
// ("#12", "${x}"). Raw strings keep their meaning: expanded where inserted.
void markToolTextsFinal(const ZarnValuePtr& value)
{
    if (auto* string = dynamic_cast<ZarnString*>(value.get())) {
        string->setFinal(true);
    } else if (const auto* list = dynamic_cast<const ZarnList*>(value.get())) {
        for (const ZarnValuePtr& member : list->getMembers())
            markToolTextsFinal(member);
    } else if (const auto* block = dynamic_cast<const ZarnContext*>(value.get())) {
        if (block->getContext())
            for (const auto& entry : block->getContext()->variables)
                markToolTextsFinal(entry.second.value);
    }
}

// Values handed from target to target may nest one level more per target;
// past the limit the chain stops, naming where.
void checkValueDepth(const ZarnValuePtr& value, const std::string& what)
{
    if (value && valueDepth(*value) > maxValueDepth)
        throwNestingLimit(what + " is nested deeper than " + std::to_string(maxValueDepth) + " levels.");
}

// Appends each output of a "+" dependency to the variable of its name; the
// appends that cannot be made yet wait for the second try.
void mergeOutputs(TargetContext& target, const Context& outputs, const std::string& dependency,
                  std::vector<Assignment>& pending)
{
    for (const auto& [name, output] : outputs.variables) {
        Assignment append(output.name, output.value ? output.value->deepClone() : nullptr, Assignment::Append,
                          output.flags);
        try {
            target.addAssignment(append, 0);
        } catch (const BadOperation& error) {
            logMessage(LogLevel::Detail, "Exception when adding implicit context: {}\n", error.getMessage());
            pending.push_back(std::move(append));
        } catch (const BadConversion&) {
            throw ZarnException("Target '" + displayNameOf(target.name) + "' cannot append output '" +
                                name.str() + "' of dependency '" + dependency + "' to its variable '" +
                                name.str() + "', which holds another kind of value.");
        }
    }
}

}  // namespace

}  // namespace Zarn

using namespace Zarn;

Context ZarnApplication::buildTarget(const QualifiedTargetName& requestedName,
                                     const std::vector<ZarnValuePtr>& parameters, VisitingState& visiting)
{
    const std::string targetName = requestedName.toString();
    if (visiting.names.count(targetName) != 0)
        throw LoopFoundException(targetName, visiting.path, {visiting.path.begin(), visiting.path.end()});
    if (visiting.names.size() >= maxDependencyDepth)
        throwNestingLimit("Dependencies are nested deeper than " + std::to_string(maxDependencyDepth) +
                          " targets, at target '" + displayNameOf(requestedName) + "'.");
    VisitEntry entry(visiting, targetName);

    const std::string displayName = displayNameOf(requestedName);
    ScopedLogPrefix prefix("[" + displayName + "] ");
    logMessage(LogLevel::Info, "Visiting target\n");

    QualifiedTargetName name = requestedName;
    const Target& definition = unitTable.getTarget(name);
    if (visiting.targets.count(&definition) != 0) {
        // This visit's own name is on the path already; the loop is reported
        // as the name test would.
        std::forward_list<std::string> chain(std::next(visiting.path.begin()), visiting.path.end());
        throw LoopFoundException(targetName, chain, {chain.begin(), chain.end()});
    }
    entry.enterDefinition(&definition);

    // The variables every target of the project starts from.
    Context base;
    if (mainProject) {
        const auto found = projectRuntimeContexts.find(name.project);
        if (found == projectRuntimeContexts.end())
            throw NotFoundException("project namespace", name.project);
        base = found->second.context;
    } else {
        base = profileContext;
    }

    auto target = std::make_shared<TargetContext>(definition, name, parameters);
    // An output variable keeps the target's own value over the project's.
    OwnOutputs ownOutputs;
    for (const auto& [variable, assignment] : target->variables)
        if (isOutputVariable(assignment) && hasVariable(base, variable))
            ownOutputs[variable] = detachedCopy(assignment, Assignment::Set);
    // What the target assigns itself; the rest it inherits.
    std::set<Util::CiString> ownNames;
    std::vector<const Assignment*> ownValues;  // the map's nodes stay where they are
    ownValues.reserve(target->variables.size());
    for (const auto& [variable, assignment] : target->variables) {
        ownNames.insert(variable);
        if (assignment.value)
            ownValues.push_back(&assignment);
    }
    std::vector<Assignment> pendingAssignments = target->addImplicitContext(base, 0, true, 0);
    // A bare declaration of a profile or the command line stays inherited
    // where it takes away a value that the target assigns itself.
    for (const Assignment* own : ownValues)
        if (!own->value)
            target->inheritedBareNames.emplace(own->name);

    Matcher* matcher = selectBestTool(*target);
    if (!matcher)
        throw ZarnException("No tool to build " + displayName + ".");
    target->addImplicitContext(*createToolDefaults(*matcher), Assignment::SetIfUnset, true, 1);
    for (const auto& entry : target->variables)
        if (ownNames.count(entry.first) == 0)
            target->inheritedNames.insert(entry.first);
    std::shared_ptr<Builder> builder = matcher->createBuilder(*target);
    if (!builder)
        throw ZarnException("No tool to build " + displayName + ".");
    reportToolSelection(*matcher, *builder, builder->matchSubjects(*target));
    reportClaims(builder->matchSubjects(base));

    target->evaluateConditions();
    const std::vector<Dependency> dependencies = createDependencyList(*target);
    DependencyOutputStore store(*target, name);
    std::vector<Assignment> pendingAppends;
    for (const Dependency& dependency : dependencies) {
        const auto* reference = std::get_if<QualifiedTargetName>(&dependency.target);
        if (!reference)
            throw ZARN_INTERNAL_ERROR();
        std::vector<ZarnValuePtr> values;
        if (dependency.sourceValue)
            values.push_back(dependency.sourceValue);
        for (const Identifier& parameter : dependency.parameters)
            values.push_back(target->lookup(parameter));
        for (const ZarnValuePtr& value : values)
            checkValueDepth(value, "A parameter value of a dependency of target '" + displayName + "'");
        QualifiedTargetName dependencyName = *reference;
        if (dependencyName.project.empty())
            dependencyName.project = name.project;
        if (dependencyName.unit.empty())
            dependencyName.unit = name.unit;

        auto outputs = std::make_shared<Context>(buildTarget(dependencyName, values, visiting));
        if (dependency.aliasKind == 2)
            store.addMergedAliasOutput(dependency, dependencyName, outputs);
        else
            store.createDependencyContext(dependency, dependencyName, outputs);
        if (dependency.modifier == 1)
            mergeOutputs(*target, *outputs, displayNameOf(dependencyName), pendingAppends);
    }

    target->resolveVariables();

    for (const Assignment& pending : pendingAssignments) {
        logMessage(LogLevel::Debug, "Second try adding implicit assignment {}.\n", literalOf(pending.value));
        const ZarnValuePtr current = getVariable(*target, pending.name);
        const uint32_t flags = target->variables.find(pending.name)->second.flags;
        ownOutputs[pending.name] =
            Assignment(pending.name, current ? current->deepClone() : nullptr, Assignment::Set, flags);
        target->addAssignment(pending, 0);
    }
    for (const Assignment& pending : pendingAppends) {
        logMessage(LogLevel::Debug, "Second try adding implicit append {}.\n", literalOf(pending.value));
        target->addAssignment(pending, 0);
    }
    store.appendMergedOutput();

    logMessage(LogLevel::Verbose, "Input context:\n");
    target->print(LogLevel::Verbose);

    Context result;
    if (buildCache) {
        CacheLookupResult lookup = buildCache->lookupOrClaim(*builder, *target, jobCount);
        // Noted before any recipe can touch an output, so that a run that
        // dies halfway leaves no record that looks up to date.
        if (!lookup.recipes.empty() && !lookup.jobContexts.empty())
            buildCache->journal.recordStart(target->key());
        runBuildJobs(*builder, toJobContextList(lookup.jobContexts), displayName, result);
        if (lookup.claimToken != 0)
            buildCache->upsert(target->key(), lookup.recipes, lookup.environment, lookup.claimToken);
        // The outputs are those recorded for every recipe of the plan, built
        // now or reused.
        result = Context();
        for (const auto& recipe : lookup.recipes)
            result.appendToLists(deepCopyAssignments(recipe.second.outputs));
    } else {
        runBuildJobs(*builder, {target}, displayName, result);
    }
    for (const auto& entry : result.variables)
        markToolTextsFinal(entry.second.value);

    for (const auto& [variable, assignment] : target->variables) {
        if (!isOutputVariable(assignment))
            continue;
        const auto own = ownOutputs.find(variable);
        const Assignment& chosen = own != ownOutputs.end() ? own->second : assignment;
        // A variable made by appending (the outputs of a "+" dependency)
        // holds its whole value by now, and the recipes' outputs already
        // hold that value: appending it again would repeat it.
        const auto type = chosen.type == Assignment::Append ? Assignment::Set : chosen.type;
        result.addAssignment(detachedCopy(chosen, type), 0);
    }

    for (const auto& [variable, assignment] : result.variables)
        checkValueDepth(assignment.value, "Output '" + variable.str() + "' of target '" + displayName + "'");

    logMessage(LogLevel::Verbose, "Output context:\n");
    result.print(LogLevel::Verbose);
    logMessage(LogLevel::Info, "Build done\n");
    return result;
}
