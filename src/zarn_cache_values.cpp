#include "zarn_cache_values.h"
#include "types/value_kind.h"

#include <filesystem>
#include <system_error>
#include <typeinfo>

#include "types/zarn_value_types.h"
#include "zarn_names.h"

namespace Zarn {

namespace {

bool containsContext(const ZarnValue& value)
{
    if (valueAs<const ZarnContext>(&value))
        return true;
    if (const auto* list = valueAs<const ZarnList>(&value)) {
        for (const ZarnValuePtr& member : list->getMembers())
            if (member && containsContext(*member))
                return true;
    }
    return false;
}

// One assignment inside a block: the grammar has no " : " operator there, so
// a declaration is the bare name and any other value takes its operator.
std::string blockItemText(const Assignment& assignment)
{
    std::string text = assignment.flags == Assignment::OutputFlag ? "^" : "";
    text += assignment.name;
    if (!assignment.value)
        return text;
    switch (assignment.type) {
    case Assignment::Append:
        text += " += ";
        break;
    case Assignment::SetIfUnset:
        text += " ?= ";
        break;
    default:
        text += " = ";
        break;
    }
    return text + cacheLiteral(*assignment.value);
}

// With needLiteral, also every text must have a literal form.
bool isValueWritable(const ZarnValuePtr& value, bool needLiteral)
{
    if (!value)
        return true;
    if (const auto* context = valueAs<const ZarnContext>(value.get())) {
        if (!context->getContext())
            return false;
        for (const auto& [name, assignment] : context->getContext()->variables)
            if (!isValidIdentifier(assignment.name) || !isValueWritable(assignment.value, needLiteral))
                return false;
        return true;
    }
    if (const auto* list = valueAs<const ZarnList>(value.get())) {
        for (const ZarnValuePtr& member : list->getMembers())
            if (!member || !isValueWritable(member, needLiteral))
                return false;
        return true;
    }
    return !needLiteral || value->hasLiteralForm();
}

bool pathsEqual(const ZarnPathString& a, const ZarnPathString& b)
{
    const std::filesystem::path left = a.fullPath();
    const std::filesystem::path right = b.fullPath();
    // Equal texts have equal normal forms; most stored paths match this way.
    if (left.native() == right.native())
        return true;
    if (left.lexically_normal() == right.lexically_normal())
        return true;
    std::error_code error;
    const bool same = std::filesystem::equivalent(left, right, error);
    return !error && same;
}

bool valuesEqual(const ZarnValue& a, const ZarnValue& b)
{
    const auto* pathA = valueAs<const ZarnPathString>(&a);
    const auto* pathB = valueAs<const ZarnPathString>(&b);
    if (pathA || pathB)
        return pathA && pathB && pathsEqual(*pathA, *pathB);

    const auto* stringA = valueAs<const ZarnBaseString>(&a);
    const auto* stringB = valueAs<const ZarnBaseString>(&b);
    if (stringA || stringB)
        return stringA && stringB && stringA->toString() == stringB->toString();

    const auto* intA = valueAs<const ZarnInt>(&a);
    const auto* intB = valueAs<const ZarnInt>(&b);
    if (intA || intB)
        return intA && intB && intA->getValue() == intB->getValue();

    const auto* listA = valueAs<const ZarnList>(&a);
    const auto* listB = valueAs<const ZarnList>(&b);
    if (listA || listB) {
        if (!listA || !listB || listA->size() != listB->size())
            return false;
        for (std::size_t i = 0; i < listA->size(); ++i)
            if (!cacheValuesEqual(listA->getMembers()[i], listB->getMembers()[i]))
                return false;
        return true;
    }

    const auto* contextA = valueAs<const ZarnContext>(&a);
    const auto* contextB = valueAs<const ZarnContext>(&b);
    if (contextA || contextB)
        return contextA && contextB && cacheLiteral(a) == cacheLiteral(b);

    return typeid(a) == typeid(b) && a.toString() == b.toString();
}

}  // namespace

std::string cacheLiteral(const ZarnValue& value)
{
    if (!containsContext(value))
        return value.toLiteral();
    if (const auto* context = valueAs<const ZarnContext>(&value)) {
        std::string text = "{";
        if (context->getContext())
            for (const auto& [name, assignment] : context->getContext()->variables)
                text += " " + blockItemText(assignment);
        return text + " }";
    }
    // A list holding a context: the list's own layout, "[ a, b ]".
    const auto& members = static_cast<const ZarnList&>(value).getMembers();
    if (members.empty())
        return "[]";
    std::string text = "[";
    for (const ZarnValuePtr& member : members)
        text += " " + (member ? cacheLiteral(*member) : std::string()) + ",";
    text.back() = ' ';
    return text + "]";
}

std::string cacheAssignmentText(const Assignment& assignment)
{
    if (assignment.type == Assignment::Declare && !assignment.value)
        return assignment.name;
    std::string text = assignment.name;
    // The reader takes the operator from the item's line, not from the text;
    // " : " with a value would not read back.
    text += assignment.type == Assignment::Declare ? " = " : Assignment::operatorText(assignment.type);
    if (assignment.value)
        text += cacheLiteral(*assignment.value);
    return text;
}

bool isCacheWritable(const Assignment& assignment)
{
    return isValidIdentifier(assignment.name) && isValueWritable(assignment.value, true);
}

bool isCacheHoldable(const Assignment& assignment)
{
    return isValidIdentifier(assignment.name) && isValueWritable(assignment.value, false);
}

bool cacheValuesEqual(const ZarnValuePtr& a, const ZarnValuePtr& b)
{
    if (a == b)
        return true;
    if (!a || !b)
        return false;
    try {
        return valuesEqual(*a, *b);
    } catch (...) {
        // A value that cannot even be inspected is no match: rebuild.
        return false;
    }
}

namespace {

void collectNestedPaths(const ZarnValuePtr& value, bool insideContext, std::vector<std::filesystem::path>& paths)
{
    if (!value)
        return;
    if (const auto* path = valueAs<const ZarnPathString>(value.get())) {
        if (insideContext)
            paths.push_back(path->fullPath());
        return;
    }
    if (const auto* list = valueAs<const ZarnList>(value.get())) {
        for (const ZarnValuePtr& member : list->getMembers())
            collectNestedPaths(member, insideContext, paths);
        return;
    }
    if (const auto* context = valueAs<const ZarnContext>(value.get())) {
        if (context->getContext())
            for (const auto& [name, assignment] : context->getContext()->variables)
                collectNestedPaths(assignment.value, true, paths);
    }
}

}  // namespace

void collectContextPaths(const ZarnValuePtr& value, std::vector<std::filesystem::path>& paths)
{
    collectNestedPaths(value, false, paths);
}

bool cacheAssignmentsEqual(const Assignment& a, const Assignment& b)
{
    return Util::ciEqual(a.name, b.name) && cacheValuesEqual(a.value, b.value);
}

}  // namespace Zarn
