#include "zarn_tool_selection.h"

#include <cctype>
#include <exception>
#include <optional>

#include <sys/utsname.h>

#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "zarn_interrupts.h"
#include "zarn_tool_type_registry.h"

namespace Zarn {

namespace {

constexpr const char* toolTypeName = "tool_type";

// The type text of the definition's one `tool_type`, splitting the other
// assignments into wants and variables ("!"). Empty after a warning.
std::optional<std::string> readToolType(const ToolRecord& record, KeySet& wants, KeySet& variables)
{
    std::optional<std::string> type;
    for (const Assignment& assignment : record.definition->assignments) {
        if (Util::ciEqual(assignment.name, toolTypeName)) {
            if (type) {
                logMessage(LogLevel::Warning, "{} tool '{}' has multiple 'tool_type' assignments. Skipping.\n",
                           record.origin, record.name);
                return std::nullopt;
            }
            std::string text = assignment.value ? assignment.value->toString() : std::string();
            if (text.empty()) {
                logMessage(LogLevel::Warning, "{} tool '{}' has empty 'tool_type'. Skipping.\n",
                           record.origin, record.name);
                return std::nullopt;
            }
            type = std::move(text);
        } else if (assignment.flags == Assignment::ToolFlag) {
            variables.insert_or_assign(assignment.name, assignment);
        } else {
            wants.insert_or_assign(assignment.name, assignment);
        }
    }
    if (!type)
        logMessage(LogLevel::Warning, "{} tool '{}' has no 'tool_type'. Skipping.\n", record.origin,
                   record.name);
    return type;
}

// Values of kinds that refuse to compare (an integer against a text) are
// simply not equal: scoring must not fail the run.
bool valuesEqual(const ZarnValue& targetValue, const ZarnValue& wantValue)
{
    try {
        return targetValue.equals(wantValue);
    } catch (const ZarnException&) {
        return false;
    }
}

int weightOf(int kind, const MatchWeights& weights)
{
    switch (kind) {
    case MatchKind::ExactMatch:
        return weights.exact;
    case MatchKind::PartialMatch:
        return weights.partial;
    case MatchKind::NoMatch:
        return weights.none;
    default:
        return 0;
    }
}

// The family of an architecture name, so that the kernel's name of the
// machine and a compiler's name of its target compare equal: "armv7l" and
// "arm", "ppc64le" and "powerpc64le", "i686" and "i386".
std::string architectureFamily(const std::string& arch)
{
    std::string lower = arch;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.rfind("arm", 0) == 0 && lower.rfind("arm64", 0) != 0)
        return "arm";
    if (lower.rfind("ppc", 0) == 0)
        return "powerpc" + lower.substr(3);
    if (lower.size() == 4 && lower[0] == 'i' && lower[1] >= '3' && lower[1] <= '6' && lower.compare(2, 2, "86") == 0)
        return "i386";
    return lower;
}

// How much at home on this machine a tool's products are: 2 for the native
// architecture and system, or a tool that names no architecture; 1 for the
// native architecture under another system ("x86_64-w64-mingw32" on Linux);
// 0 for another architecture. What cannot be told counts as at home.
int homeRank(const Matcher& matcher, const std::string& nativeArch, const std::string& nativeSystem)
{
    const std::string arch = matcher.targetArch();
    if (nativeArch.empty() || arch.empty())
        return 2;
    if (architectureFamily(arch) != architectureFamily(nativeArch))
        return 0;
    const std::string machine = matcher.targetMachine();
    if (nativeSystem.empty() || machine.empty())
        return 2;
    size_t start = 0;
    for (;;) {
        const size_t dash = machine.find('-', start);
        if (Util::ciEqual(machine.substr(start, dash == std::string::npos ? dash : dash - start), nativeSystem))
            return 2;
        if (dash == std::string::npos)
            return 1;
        start = dash + 1;
    }
}

// What a target says of the machine it is built for.
enum class MachineAsked { Nothing, Architecture, Triplet };

// TOOLCHAIN_TRIPLET with a text chooses the whole machine; ARCH with a text
// only its processor.
MachineAsked machineAsked(const TargetContext& target)
{
    if (!getStringOr(target, "TOOLCHAIN_TRIPLET", "").empty())
        return MachineAsked::Triplet;
    if (!getStringOr(target, "ARCH", "").empty())
        return MachineAsked::Architecture;
    return MachineAsked::Nothing;
}

// Whether a tool of the rank takes a tie from the best so far: a target that
// names only its processor still prefers the native system on it.
bool takesTie(MachineAsked asked, int rank, int bestRank)
{
    switch (asked) {
    case MachineAsked::Nothing:
        return rank > bestRank;
    case MachineAsked::Architecture:
        return bestRank == 1 && rank == 2;
    default:
        return false;
    }
}

void createStaticTool(RegisteredTools& tools, const char* toolName, const char* typeName,
                      const char* variableName)
{
    std::unique_ptr<Matcher> matcher;
    try {
        matcher = createMatcher(typeName, toolName, KeySet(), makeKeySet({makeKeyEntry(variableName)}));
    } catch (const ZarnException& error) {
        logMessage(LogLevel::Warning, "{}\n", error.getMessage());
    } catch (const std::exception& error) {
        logMessage(LogLevel::Warning, "Unable to create static tool '{}' ({}): {}\n", toolName, typeName,
                   error.what());
    }
    if (!matcher) {
        logMessage(LogLevel::Warning, "Unable to create static tool '{}' ({}).\n", toolName, typeName);
        return;
    }
    tools.insert_or_assign(toolName, std::shared_ptr<Matcher>(std::move(matcher)));
}

}  // namespace

std::shared_ptr<Matcher> createTool(const ToolRecord& record)
{
    if (!record.definition) {
        logMessage(LogLevel::Warning, "{} tool '{}' has null context. Skipping.\n", record.origin, record.name);
        return nullptr;
    }
    KeySet wants;
    KeySet variables;
    std::optional<std::string> type = readToolType(record, wants, variables);
    if (!type)
        return nullptr;

    std::unique_ptr<Matcher> matcher;
    try {
        matcher = createMatcher(*type, record.name, std::move(wants), std::move(variables));
    } catch (const ZarnException& error) {
        // A probe that a stop cut short says nothing about the tool.
        awaitInterruptEnd();
        logMessage(LogLevel::Warning, "{}\n", error.getMessage());
        return nullptr;
    } catch (const std::exception& error) {
        awaitInterruptEnd();
        logMessage(LogLevel::Warning, "Unable to create {} tool '{}' for '{}': {}\n", record.origin, *type,
                   record.name, error.what());
        return nullptr;
    }
    if (!matcher) {
        logMessage(LogLevel::Warning, "Unable to create {} tool '{}' for '{}'.\n", record.origin, *type,
                   record.name);
        return nullptr;
    }
    matcher->conditions = record.definition->conditions;
    return std::shared_ptr<Matcher>(std::move(matcher));
}

void registerTool(RegisteredTools& tools, const ToolRecord& record)
{
    std::shared_ptr<Matcher> matcher = createTool(record);
    if (!matcher)
        return;
    auto existing = tools.find(record.name);
    if (existing == tools.end()) {
        tools.emplace(record.name, std::move(matcher));
        return;
    }
    logMessage(LogLevel::Warning, "Tool '{}' from {} overrides an earlier tool with the same name.\n",
               record.name, record.origin);
    existing->second = std::move(matcher);
}

void createStaticTools(RegisteredTools& tools)
{
    createStaticTool(tools, "default_basic", "command", "cmdline");
    createStaticTool(tools, "default_no_tool", "no_tool", "NO_TOOL");
}

ToolScore scoreTool(Matcher& matcher, const TargetContext& target, const MatchWeights& weights)
{
    ToolScore score;
    MatchResult& result = score.result;
    bool admitted = true;
    for (const auto& [name, variable] : matcher.variables) {
        if (!variable.value && !hasVariable(target, name)) {
            admitted = false;
            break;
        }
    }
    if (admitted)
        result = matcher.match(target);
    logMessage(LogLevel::Trace, "{}::match - result.note: {}\n", matcher.name.str(),
               matchStatusText(result.status));

    for (const auto& [name, assignment] : target.variables) {
        auto want = matcher.wants.find(name);
        if (want == matcher.wants.end())
            continue;
        auto reported = result.kinds.find(name);
        if (reported != result.kinds.end() && reported->second.kind != MatchKind::NoMatch)
            continue;
        int kind;
        if (assignment.value && want->second.value && valuesEqual(*assignment.value, *want->second.value)) {
            kind = MatchKind::ExactMatch;
            logMessage(LogLevel::Trace, "{}::match - ExactMatch: key='{}' value='{}'\n", matcher.name.str(),
                       name.str(), assignment.value->toString());
        } else if (assignment.flags == Assignment::OutputFlag && !assignment.value) {
            kind = MatchKind::NoMatch;
            logMessage(LogLevel::Trace, "{}::match - NoMatch: key='{}'\n", matcher.name.str(), name.str());
        } else {
            kind = MatchKind::PartialMatch;
            logMessage(LogLevel::Trace, "{}::match - PartialMatch: key='{}'\n", matcher.name.str(), name.str());
        }
        result.kinds[name] = MatchEntry{kind, 0};
    }

    for (const auto& [name, entry] : result.kinds)
        score.score += weightOf(entry.kind, weights);
    return score;
}

namespace {

// What the kernel says of the machine; all empty when it cannot tell.
const struct utsname& kernelMachine()
{
    static const struct utsname machine = [] {
        struct utsname answer {};
        if (uname(&answer) != 0)
            answer = {};
        return answer;
    }();
    return machine;
}

}  // namespace

const std::string& machineArch()
{
    static const std::string arch = kernelMachine().machine;
    return arch;
}

const std::string& machineSystem()
{
    static const std::string system = kernelMachine().sysname;
    return system;
}

Matcher* selectBestTool(const RegisteredTools& tools, const TargetContext& target,
                        const MatchWeights& weights, const std::string& nativeArch, const std::string& nativeSystem)
{
    Matcher* best = nullptr;
    int bestScore = -1;
    int bestRank = 0;
    // Asked only on a tie that it could decide.
    std::optional<MachineAsked> asked;
    for (const auto& [name, matcher] : tools) {
        if (!matcher)
            continue;
        ToolScore score = scoreTool(*matcher, target, weights);
        if (score.result.status != BuildPossible)
            continue;
        bool better = score.score > bestScore;
        int rank = -1;  // worked out when needed
        if (!better && best && score.score == bestScore && bestRank < 2) {
            rank = homeRank(*matcher, nativeArch, nativeSystem);
            if (rank > bestRank) {
                if (!asked)
                    asked = machineAsked(target);
                better = takesTie(*asked, rank, bestRank);
            }
        }
        if (better) {
            best = matcher.get();
            bestScore = score.score;
            bestRank = rank >= 0 ? rank : homeRank(*matcher, nativeArch, nativeSystem);
        }
    }
    if (best)
        logMessage(LogLevel::Verbose, "Best registered tool: {}, score: {}\n", best->name.str(), bestScore);
    return best;
}

}  // namespace Zarn
