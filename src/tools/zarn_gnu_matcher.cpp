#include "tools/zarn_gnu_matcher.h"

#include "tools/zarn_gnu_tool.h"
#include "tools/zarn_gnu_toolchain.h"
#include "types/value_matches_text.h"
#include "zarn_tool_type_registry.h"

namespace Zarn {

namespace {

SchemaEntry weighsFiveWhenExact(const char* name)
{
    return makeSchemaEntryWithWeights(name, VariableSpec{toolTablePlaceholder(), 0, 0, 5});
}

// The compile tools' schema, with the driver's own name and sources.
VariableSchema compilerSchema(const char* driver, bool withCppFiles)
{
    std::vector<SchemaEntry> entries{makeSchemaEntry(driver), makeSchemaEntry("EXE"), makeSchemaEntry("C_FLAGS"),
                                     makeSchemaEntry("C_FILES")};
    if (withCppFiles)
        entries.push_back(makeSchemaEntry("CPP_FILES"));
    for (const char* name : {"C_DEFINES", "INCLUDE", "LIB"})
        entries.push_back(makeSchemaEntry(name));
    entries.push_back(weighsFiveWhenExact("OUTPUT_NAME"));
    for (const char* name : {"OBJS", "LD_SCRIPT", "LIBPATH", "LINK_FLAGS"})
        entries.push_back(makeSchemaEntry(name));
    return makeVariableSchema(entries);
}

// The target's assignment of that name, or null.
const Assignment* findAssignment(const Context& context, const std::string& name)
{
    auto found = context.variables.find(Util::CiString(name));
    return found == context.variables.end() ? nullptr : &found->second;
}

// C_FILES or CPP_FILES that the target asks to compile (not an output it
// hands on).
bool hasOwnSources(const Context& target)
{
    return requestedAssignment(target, "C_FILES") || requestedAssignment(target, "CPP_FILES");
}

}  // namespace

const KeySet& gnuWantKeys()
{
    static const KeySet table = makeKeySet({makeKeyEntry("GNU"), makeKeyEntry("toolchain_path"),
                                            makeKeyEntry("toolchain_version"), makeKeyEntry("toolchain_min_version"),
                                            makeKeyEntry("arch"), makeKeyEntry("TOOLCHAIN_TRIPLET")});
    return table;
}

const KeySet& gnuVariableKeys()
{
    static const KeySet table;
    return table;
}

const KeySet& gccMatchSubjects()
{
    static const KeySet table = makeKeySet({makeKeyEntry("C_FILES"), makeKeyEntry("OBJS")});
    return table;
}

const VariableSchema& gccVariableSchema()
{
    static const VariableSchema table = compilerSchema("GCC", false);
    return table;
}

const KeySet& gppMatchSubjects()
{
    static const KeySet table = makeKeySet({makeKeyEntry("CPP_FILES"), makeKeyEntry("OBJS")});
    return table;
}

const VariableSchema& gppVariableSchema()
{
    static const VariableSchema table = compilerSchema("GPP", true);
    return table;
}

const KeySet& arMatchSubjects()
{
    static const KeySet table = makeKeySet({makeKeyEntry("OBJS")});
    return table;
}

const VariableSchema& arVariableSchema()
{
    static const VariableSchema table =
        makeVariableSchema({weighsFiveWhenExact("STATIC"), makeSchemaEntry("AR"), makeSchemaEntry("LIB"),
                            weighsFiveWhenExact("OUTPUT_NAME"), makeSchemaEntry("OBJS")});
    return table;
}

const KeySet& ldMatchSubjects()
{
    static const KeySet table = makeKeySet({makeKeyEntry("OBJS")});
    return table;
}

const VariableSchema& ldVariableSchema()
{
    static const VariableSchema table = makeVariableSchema(
        {makeSchemaEntry("LD"), makeSchemaEntry("SO"), makeSchemaEntry("KO"), makeSchemaEntry("SHARED"),
         makeSchemaEntry("OBJS"), makeSchemaEntry("LIB"), makeSchemaEntry("LIBPATH"), makeSchemaEntry("LINK_FLAGS"),
         makeSchemaEntry("LD_SCRIPT")});
    return table;
}

const KeySet& objcopyMatchSubjects()
{
    static const KeySet table = makeKeySet({makeKeyEntry("INPUT")});
    return table;
}

const VariableSchema& objcopyVariableSchema()
{
    static const VariableSchema table = makeVariableSchema({makeSchemaEntry("OBJCOPY"), makeSchemaEntry("INPUT"),
                                                            makeSchemaEntry("OBJCOPY_FLAGS"),
                                                            makeSchemaEntry("OUTPUT_NAME")});
    return table;
}

void initGnuToolTables()
{
    gnuWantKeys();
    gnuVariableKeys();
    gccMatchSubjects();
    gccVariableSchema();
    gppMatchSubjects();
    gppVariableSchema();
    arMatchSubjects();
    arVariableSchema();
    ldMatchSubjects();
    ldVariableSchema();
    objcopyMatchSubjects();
    objcopyVariableSchema();
    registerToolFactory("gnu-gcc", "NULL", createGnuMatcher);
}

std::unique_ptr<Matcher> GNUMatcher::clone() const
{
    return std::make_unique<GNUMatcher>(*this);
}

namespace {

// A wanted toolchain_version of "0" stands for any version.
bool versionWanted(const ZarnValuePtr& wanted, const std::string& version)
{
    if (wanted && Util::ciEqual(wanted->toString(), "0"))
        return true;
    return valueMatchesText(wanted, version);
}

}  // namespace

MatchResult GNUMatcher::match(const TargetContext& target) const
{
    const MatchResult noMatch;
    const std::string arch = hasVariable(target, "ARCH") ? getString(target, "ARCH") : compiler.arch;
    if (!arch.empty() && !Util::ciEqual(arch, compiler.arch))
        return noMatch;
    // A triplet declared without value asks for nothing.
    if (const Assignment* triplet = findAssignment(target, "TOOLCHAIN_TRIPLET"); triplet && triplet->value) {
        const std::string text = triplet->value->toString();
        if (!text.empty() && !Util::ciEqual(text, compiler.prefix))
            return noMatch;
    }
    if (hasVariable(target, "toolchain_version") &&
        !valueMatchesText(getVariable(target, "toolchain_version"), compiler.version))
        return noMatch;
    if (hasVariable(target, "toolchain_min_version") &&
        !versionSatisfies(compiler.version, getString(target, "toolchain_min_version")))
        return noMatch;
    if (auto wanted = wants.find(Util::CiString("toolchain_version"));
        wanted != wants.end() && wanted->second.value && !versionWanted(wanted->second.value, compiler.version))
        return noMatch;
    if (auto wanted = wants.find(Util::CiString("toolchain_min_version"));
        wanted != wants.end() && wanted->second.value &&
        !versionSatisfies(compiler.version, wanted->second.value->toString()))
        return noMatch;
    MatchResult result;
    for (const auto& tool : tools) {
        result = tool->matchSubjects(target);
        if (result.status == BuildPossible)
            return result;
    }
    return result;
}

namespace {

// One tool that can build the target, and how it scores it.
struct Candidate {
    std::shared_ptr<Builder> tool;
    uint32_t score = 0;     // over all the target's variables
    uint32_t ownScore = 0;  // over those the target assigns itself
    bool declared = false;  // makes the product the target declares
};

// The tool's score over the target's variables, and over those it does not
// inherit.
Candidate scoreCandidate(const std::shared_ptr<Builder>& tool, const MatchResult& result,
                         const TargetContext& target)
{
    Candidate candidate{tool};
    for (const auto& [name, spec] : tool->schema) {
        auto kind = result.kinds.find(name);
        if (kind == result.kinds.end() || !requestedAssignment(target, name.str().c_str()))
            continue;
        uint32_t weight = spec.noMatchWeight;
        if (kind->second.kind == MatchKind::PartialMatch)
            weight = spec.partialMatchWeight;
        else if (kind->second.kind == MatchKind::ExactMatch)
            weight = spec.exactMatchWeight;
        candidate.score += weight;
        if (target.inheritedNames.count(name) == 0)
            candidate.ownScore += weight;
    }
    return candidate;
}

// The candidate with the highest score of that kind, the earlier on a tie;
// null when there is none.
const Candidate* best(const std::vector<Candidate>& candidates, uint32_t Candidate::*score,
                      bool declaredOnly = false)
{
    const Candidate* chosen = nullptr;
    for (const Candidate& candidate : candidates)
        if ((!declaredOnly || candidate.declared) && (!chosen || candidate.*score > chosen->*score))
            chosen = &candidate;
    return chosen;
}

}  // namespace

std::shared_ptr<Builder> GNUMatcher::createBuilder(const TargetContext& target)
{
    // ar and ld would leave the target's own sources out of the product.
    const bool compilesSources = hasOwnSources(target);
    std::vector<Candidate> candidates;
    for (const auto& tool : tools) {
        const MatchResult result = tool->matchSubjects(target);
        if (result.status != BuildPossible)
            continue;
        candidates.push_back(scoreCandidate(tool, result, target));
        const auto* gnuTool = dynamic_cast<const GNUTool*>(tool.get());
        candidates.back().declared = !compilesSources && gnuTool && gnuTool->makesDeclaredProduct(target);
    }
    const Candidate* byScores = best(candidates, &Candidate::score);
    if (!byScores)
        return nullptr;
    // A tool making the product the target declares outranks the others
    // where their lead comes from what the target inherits. Where the
    // target's own variables alone choose another tool by the same scores
    // (a bare GCC, GPP or EXE weighs as much as a bare SO, and gcc and g++
    // come first), the scores decide.
    const Candidate* declared = best(candidates, &Candidate::score, true);
    if (declared && best(candidates, &Candidate::ownScore)->declared)
        return declared->tool;
    return byScores->tool;
}

}  // namespace Zarn
