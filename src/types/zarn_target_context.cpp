#include "types/zarn_context_types.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "types/zarn_log.h"

namespace Zarn {

namespace {

// Separates parameter values in the parameter text; a byte that names and
// ordinary texts do not contain.
constexpr char parameterSeparator = '\x1f';

}  // namespace

TargetContext::TargetContext(const QualifiedTargetName& name,
                             const std::vector<std::string>& parameterNames,
                             const std::vector<ZarnValuePtr>& parameterValues,
                             const std::vector<Assignment>& assignments,
                             const std::vector<Condition>& conditions,
                             const std::vector<Dependency>& dependencies)
    : Context(assignments, conditions), name(name), dependencies(dependencies)
{
    std::size_t count = std::min(parameterNames.size(), parameterValues.size());
    for (std::size_t i = 0; i < count; ++i) {
        const ZarnValuePtr& value = parameterValues[i];
        if (i > 0)
            parameterText += parameterSeparator;
        if (value)
            parameterText += value->toString();
        // The value belongs to the depending target; this instance gets its own.
        addAssignment(Assignment(parameterNames[i], value ? value->deepClone() : nullptr,
                                 Assignment::Set, Assignment::NoFlags),
                      0);
    }
}

TargetContext::TargetContext(const Target& target, const QualifiedTargetName& name,
                             const std::vector<ZarnValuePtr>& parameterValues)
    : TargetContext(name, target.parameterNames, parameterValues, target.assignments,
                    target.conditions, target.dependencies)
{
}

TargetContext::TargetContext(const QualifiedTargetName& name, std::string parameterText)
    : name(name), parameterText(std::move(parameterText))
{
}

TargetContext::TargetContext(const TargetContext& other)
    : Context(other), name(other.name), parameterText(other.parameterText), inheritedNames(other.inheritedNames),
      inheritedBareNames(other.inheritedBareNames)
{
}

TargetContext::TargetContext(TargetContext&& other) noexcept
    : Context(std::move(other)), name(std::move(other.name)), dependencies(std::move(other.dependencies)),
      parameterText(std::move(other.parameterText)), inheritedNames(std::move(other.inheritedNames)),
      inheritedBareNames(std::move(other.inheritedBareNames))
{
}

void TargetContext::print(int level) const
{
    if (!logShows(level))
        return;
    logMessage(level, "{}\n", name.toString());
    Context::print(level);
}

std::string TargetContext::parameterHash() const
{
    if (parameterText.empty())
        return "";
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char byte : parameterText) {
        hash ^= byte;
        hash *= 0x100000001b3ULL;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return digits;
}

std::string TargetContext::key() const
{
    std::string text;
    if (!name.project.empty())
        text += name.project + "/";
    if (!name.unit.empty())
        text += name.unit + "::";
    text += name.target;
    if (!parameterText.empty())
        text += "@" + parameterHash();
    return text;
}

}  // namespace Zarn
