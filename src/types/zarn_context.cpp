#include "types/zarn_context_types.h"

#include "types/nesting_limit.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"

namespace Zarn {

namespace {

// Variables being resolved on this thread, one inside the other.
thread_local unsigned referenceDepth = 0;

void bindTo(const ZarnValuePtr& value, Resolver* resolver)
{
    if (auto* resolvable = dynamic_cast<Resolvable*>(value.get()))
        resolvable->setResolver(resolver);
}

ZarnValuePtr cloneDeep(const ZarnValuePtr& value)
{
    return value ? value->deepClone() : nullptr;
}

// The value that an append may change in place: a copy when someone else
// holds it too (a variable that referred to it, a context copied from this
// one), so that the append never shows through another variable.
ZarnValuePtr& ownedForAppend(ZarnValuePtr& value)
{
    bool shared = value.use_count() > 1;
    if (const auto* context = dynamic_cast<const ZarnContext*>(value.get()))
        shared = shared || context->getContext().use_count() > 1;
    if (shared)
        value = value->deepClone();
    return value;
}

// A copy of the condition whose operands are deep clones bound to the context.
Condition cloneCondition(const Condition& condition, Resolver* resolver)
{
    Condition copy = condition;
    copy.lhs = cloneDeep(condition.lhs);
    copy.rhs = cloneDeep(condition.rhs);
    bindTo(copy.lhs, resolver);
    bindTo(copy.rhs, resolver);
    return copy;
}

}  // namespace

// Sets the resolving mark for its lifetime, also when an exception passes.
class ResolvingGuard {
public:
    explicit ResolvingGuard(Assignment& assignment) : mark(assignment.resolving) { mark.set = true; }
    ~ResolvingGuard() { mark.set = false; }
    ResolvingGuard(const ResolvingGuard&) = delete;
    ResolvingGuard& operator=(const ResolvingGuard&) = delete;

private:
    ResolvingMark& mark;
};

ContextTemplate::ContextTemplate(std::vector<Assignment> assignments)
    : assignments(std::move(assignments))
{
}

ContextTemplate::ContextTemplate(std::vector<Assignment> assignments, std::vector<Condition> conditions)
    : conditions(std::move(conditions)), assignments(std::move(assignments))
{
}

ContextPtr ContextTemplate::createContext() const
{
    return std::make_shared<Context>(assignments, conditions);
}

Context::Context(const std::vector<Assignment>& assignments, const std::vector<Condition>& conditions)
{
    // Deep clones: resolving or appending here must never reach the template.
    for (const Assignment& assignment : assignments)
        addAssignment(Assignment(assignment.name, cloneDeep(assignment.value), assignment.type,
                                 assignment.flags),
                      0);
    for (const Condition& condition : conditions)
        this->conditions.push_back(cloneCondition(condition, this));
}

Context::Context(const Context& other)
    : Resolver(), std::enable_shared_from_this<Context>(), conditions(other.conditions),
      variables(other.variables)
{
}

Context& Context::operator=(const Context& other)
{
    if (this != &other) {
        conditions = other.conditions;
        variables = other.variables;
    }
    return *this;
}

Context::Context(Context&& other) noexcept
    : Resolver(), std::enable_shared_from_this<Context>(), conditions(std::move(other.conditions)),
      variables(std::move(other.variables))
{
    rebindAll();
}

Context& Context::operator=(Context&& other) noexcept
{
    if (this != &other) {
        conditions = std::move(other.conditions);
        variables = std::move(other.variables);
        rebindAll();
    }
    return *this;
}

void Context::rebindAll()
{
    for (auto& entry : variables)
        bindTo(entry.second.value, this);
    for (Condition& condition : conditions) {
        bindTo(condition.lhs, this);
        bindTo(condition.rhs, this);
    }
}

void Context::addAssignment(const Assignment& assignment, uint32_t mode)
{
    auto found = variables.find(Util::CiString(assignment.name));
    if (found == variables.end()) {
        found = variables.emplace(Util::CiString(assignment.name), assignment).first;
        bindTo(found->second.value, this);
        return;
    }

    // The stored assignment keeps its name spelling and operator for good.
    Assignment& stored = found->second;
    bool copyFlags = mode == 1;
    switch (assignment.type) {
    case Assignment::Set:
        stored.value = assignment.value;
        break;
    case Assignment::Append:
        if (!stored.value)
            stored.value = assignment.value;
        else if (assignment.value)
            ownedForAppend(stored.value)->append(*assignment.value);
        break;
    case Assignment::SetIfUnset:
        if (stored.value)
            copyFlags = false;
        else
            stored.value = assignment.value;
        break;
    case Assignment::Declare:
        stored.value = nullptr;
        break;
    default:
        throw AssignmentException(stored, assignment);
    }
    if (copyFlags)
        stored.flags = assignment.flags;
    stored.resolved = false;
    bindTo(stored.value, this);
}

void Context::addAssignments(const Context& other)
{
    // Other may be this context: every name then exists already, so the walk
    // only changes values and never meets an entry it added.
    for (const auto& entry : other.variables) {
        Assignment copy = entry.second;
        copy.value = cloneDeep(entry.second.value);
        addAssignment(copy, 0);
    }
}

void Context::addConditions(const Context& other)
{
    // Copy first: other may be this context.
    std::vector<Condition> added;
    added.reserve(other.conditions.size());
    for (const Condition& condition : other.conditions)
        added.push_back(cloneCondition(condition, this));
    for (Condition& condition : added)
        conditions.push_back(std::move(condition));
}

void Context::appendToLists(const std::vector<Assignment>& assignments)
{
    for (const Assignment& assignment : assignments) {
        auto found = variables.find(Util::CiString(assignment.name));
        if (found == variables.end()) {
            found = variables
                        .emplace(Util::CiString(assignment.name),
                                 Assignment(assignment.name,
                                            std::make_shared<ZarnList>(std::vector<ZarnValuePtr>{}),
                                            Assignment::Set, assignment.flags))
                        .first;
        } else if (!dynamic_cast<ZarnList*>(found->second.value.get())) {
            Assignment& stored = found->second;
            std::vector<ZarnValuePtr> members;
            if (stored.value)
                members.push_back(stored.value);
            stored = Assignment(stored.name, std::make_shared<ZarnList>(std::move(members)),
                                Assignment::Set, stored.flags);
        }
        if (assignment.value) {
            // A deep clone, so later changes here never reach the source.
            found->second.value->append(*assignment.value->deepClone());
            found->second.resolved = false;
        }
    }
}

void Context::resolveVariables()
{
    logMessage(LogLevel::Debug, "Resolving variables.\n");
    for (auto& entry : variables)
        resolveAssignment(entry.second);
}

void Context::print(int level) const
{
    logMessage(level, "{{\n");
    for (const auto& entry : variables)
        logMessage(level, "{}\n", entry.second.toString());
    logMessage(level, "}}\n\n");
}

ContextPtr Context::deepCopy() const
{
    auto copy = std::make_shared<Context>();
    copy->variables = variables;
    for (auto& entry : copy->variables) {
        entry.second.value = cloneDeep(entry.second.value);
        bindTo(entry.second.value, copy.get());
    }
    copy->addConditions(*this);
    return copy;
}

ZarnValuePtr resolveAssignment(Assignment& assignment)
{
    if (assignment.resolved)
        return assignment.value;
    if (assignment.resolving.isSet())
        throw ZarnException("Reference cycle at variable '" + assignment.name + "'.");
    ZarnValuePtr result;
    {
        // Every chain of references passes here once per variable.
        NestingLevel level(referenceDepth, maxReferenceDepth, [&] {
            return "References are nested deeper than " + std::to_string(maxReferenceDepth) +
                   " variables, at variable '" + assignment.name + "'.";
        });
        ResolvingGuard guard(assignment);
        result = resolveValue(assignment.value);
    }
    assignment.setValue(result);
    assignment.resolved = true;
    return result;
}

ZarnValuePtr resolveValue(const ZarnValuePtr& value)
{
    if (auto* resolvable = dynamic_cast<Resolvable*>(value.get()))
        return resolvable->resolve();
    return value;
}

bool hasVariable(const VariableMap& variables, const std::string& name)
{
    return variables.find(Util::CiString(name)) != variables.end();
}

ZarnValuePtr getVariable(const VariableMap& variables, const std::string& name)
{
    auto found = variables.find(Util::CiString(name));
    if (found == variables.end())
        throw NotFoundException("Variable", name);
    return found->second.value;
}

std::string getStringOr(const VariableMap& variables, const std::string& name,
                        const std::string& defaultText)
{
    auto found = variables.find(Util::CiString(name));
    if (found == variables.end() || !found->second.value)
        return defaultText;
    return found->second.value->toString();
}

std::string getString(const VariableMap& variables, const std::string& name)
{
    return getStringOr(variables, name, "");
}

}  // namespace Zarn
