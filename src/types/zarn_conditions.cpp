#include "types/nesting_limit.h"
#include "types/zarn_context_types.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"

namespace Zarn {

namespace {

// A bare test holds when its operand resolves, whatever it yields. The
// resolved operands are local handles; the condition keeps its own.
bool testHolds(const ZarnValuePtr& operand)
{
    if (!operand)
        return false;
    try {
        resolveValue(operand);
        return true;
    } catch (const NestingLimitError&) {
        throw;
    } catch (...) {
        return false;
    }
}

bool comparisonHolds(const Condition& condition)
{
    ZarnValuePtr left = resolveValue(condition.lhs);
    ZarnValuePtr right = resolveValue(condition.rhs);
    // A variable declared without a value equals only another missing value.
    if (!left || !right) {
        bool same = !left && !right;
        switch (condition.op) {
        case Condition::Equal:
            return same;
        case Condition::NotEqual:
            return !same;
        default:
            return false;
        }
    }
    switch (condition.op) {
    case Condition::Equal:
        return left->equals(*right);
    case Condition::NotEqual:
        return left->notEquals(*right);
    case Condition::Less:
        return left->lessThan(*right);
    case Condition::Greater:
        return left->greaterThan(*right);
    default:
        throw ZARN_INTERNAL_ERROR();
    }
}

}  // namespace

void Context::evaluateConditions()
{
    // By position, re-reading the count: conditions added by a holding one
    // are evaluated in the same walk. Each is copied first, since appending
    // may move the vector.
    for (std::size_t i = 0; i < conditions.size(); ++i) {
        Condition condition = conditions[i];
        bool holds;
        switch (condition.op) {
        case Condition::Test:
            holds = testHolds(condition.lhs);
            break;
        case Condition::Equal:
        case Condition::NotEqual:
        case Condition::Less:
        case Condition::Greater:
            holds = comparisonHolds(condition);
            break;
        default:
            throw ZARN_INTERNAL_ERROR();
        }
        if (!holds || !condition.context)
            continue;

        // Fresh clones from the nested template; the temporary context is
        // private, so its values and operands move here without cloning again.
        ContextPtr applied = condition.context->createContext();
        for (const auto& entry : applied->variables)
            addAssignment(entry.second, 0);
        for (Condition nested : applied->conditions) {
            if (auto* resolvable = dynamic_cast<Resolvable*>(nested.lhs.get()))
                resolvable->setResolver(this);
            if (auto* resolvable = dynamic_cast<Resolvable*>(nested.rhs.get()))
                resolvable->setResolver(this);
            conditions.push_back(std::move(nested));
        }
    }
}

std::vector<Assignment> Context::addImplicitContext(const Context& other, uint32_t typeOverride,
                                                    bool withConditions, uint32_t mode)
{
    std::vector<Assignment> failed;
    for (const auto& entry : other.variables) {
        const Assignment& source = entry.second;
        // A deep clone: resolving or appending here must not change the
        // other context, which serves every target of its project.
        ZarnValuePtr value = source.value ? source.value->deepClone() : nullptr;
        Assignment assignment = source;
        if (typeOverride != 0)
            assignment = Assignment(source.name, value, static_cast<Assignment::AssignType>(typeOverride),
                                    source.flags);
        else
            assignment.value = value;
        try {
            addAssignment(assignment, mode);
        } catch (const BadOperation& error) {
            logMessage(LogLevel::Detail, "Exception when adding implicit context: {}\n", error.getMessage());
            failed.push_back(assignment);
        }
    }
    if (withConditions)
        addConditions(other);
    return failed;
}

}  // namespace Zarn
