#include "zarn_tool.h"

#include "types/zarn_log.h"

namespace Zarn {

const char* matchStatusText(int status)
{
    return status == BuildPossible ? "BuildPossible" : "BuildImpossible";
}

Matcher::Matcher(Util::CiString name, const KeySet& wantsTable, const KeySet& variablesTable,
                 const KeySet& wantsOfDefinition, const KeySet& variablesOfDefinition)
    : name(std::move(name)), wants(wantsTable), variables(variablesTable)
{
    for (const auto& [key, assignment] : wantsOfDefinition) {
        auto variable = variables.find(key);
        if (variable != variables.end())
            variable->second = assignment;
        else
            wants.insert_or_assign(key, assignment);
    }
    for (const auto& [key, assignment] : variablesOfDefinition) {
        wants.erase(key);
        variables.insert_or_assign(key, assignment);
    }
}

MatchResult Matcher::match(const TargetContext&) const
{
    return MatchResult{};
}

Builder::Builder(KeySet subjects, VariableSchema schema)
    : subjects(std::move(subjects)), schema(std::move(schema))
{
}

std::string Builder::getName() const
{
    return "builder";
}

MatchResult Builder::matchSubjects(const Context& target) const
{
    MatchResult result;
    bool allPresent = true;
    for (const auto& [subjectName, subject] : subjects) {
        auto found = target.variables.find(subjectName);
        if (found == target.variables.end()) {
            allPresent = false;
            break;
        }
        if (found->second.flags == Assignment::OutputFlag) {
            logMessage(LogLevel::Matching, "Skipping '{}' as match subject: output variable\n",
                       subjectName.str());
            allPresent = false;
            break;
        }
    }
    if (allPresent)
        result.status = BuildPossible;
    collectMatchKinds(*this, result, target);
    return result;
}

namespace {

// Null against null is exact; one null is partial; otherwise the texts
// decide, ignoring case.
int compareWithReference(const ZarnValuePtr& reference, const ZarnValuePtr& value)
{
    if (!reference && !value)
        return MatchKind::ExactMatch;
    if (!reference || !value)
        return MatchKind::PartialMatch;
    return Util::ciEqual(reference->toString(), value->toString()) ? MatchKind::ExactMatch
                                                                    : MatchKind::PartialMatch;
}

}  // namespace

void collectMatchKinds(const Builder& builder, MatchResult& result, const Context& target)
{
    for (const auto& [name, assignment] : target.variables) {
        MatchEntry entry;
        auto subject = builder.subjects.find(name);
        if (assignment.flags == Assignment::OutputFlag) {
            if (subject != builder.subjects.end()) {
                entry.kind = compareWithReference(subject->second.value, assignment.value);
                entry.claimed = assignment.value ? 1 : 0;
            }
        } else if (subject != builder.subjects.end()) {
            entry.kind = compareWithReference(subject->second.value, assignment.value);
            entry.claimed = 1;
        } else {
            auto known = builder.schema.find(name);
            if (known != builder.schema.end())
                entry.kind = compareWithReference(known->second.defaultValue, assignment.value);
        }
        result.kinds[name] = entry;
    }
}

std::string getAssignmentText(const KeySet& assignments, const std::string& name)
{
    auto found = assignments.find(name);
    if (found == assignments.end() || !found->second.value)
        return "";
    return found->second.value->toString();
}

std::vector<std::string> makeCommandList(std::string commandLine)
{
    return {std::move(commandLine)};
}

}  // namespace Zarn
