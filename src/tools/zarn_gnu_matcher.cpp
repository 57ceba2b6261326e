#include "tools/zarn_gnu_matcher.h"

#include <algorithm>

#include "tools/zarn_gnu_compile_tools.h"
#include "tools/zarn_gnu_link_tools.h"
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

// C_FILES or CPP_FILES that the target assigns itself, with or without a
// value (a bare one takes the sources a dependency hands on); inherited ones
// do not make it a compile.
bool hasOwnSources(const TargetContext& target)
{
    return originOf(target, "C_FILES") == Origin::Own || originOf(target, "CPP_FILES") == Origin::Own;
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

// One tool that can build the target, how it scores it, and where the target
// declares the product the tool makes.
struct Candidate {
    std::shared_ptr<Builder> tool;
    uint32_t score = 0;
    Origin declaration = Origin::None;
};

// The tool's score over the variables the target asks for.
uint32_t scoreOf(const Builder& tool, const MatchResult& result, const TargetContext& target)
{
    uint32_t score = 0;
    for (const auto& [name, spec] : tool.schema) {
        auto kind = result.kinds.find(name);
        if (kind == result.kinds.end() || !requestedAssignment(target, name.str().c_str()))
            continue;
        if (kind->second.kind == MatchKind::PartialMatch)
            score += spec.partialMatchWeight;
        else if (kind->second.kind == MatchKind::ExactMatch)
            score += spec.exactMatchWeight;
        else
            score += spec.noMatchWeight;
    }
    return score;
}

// The highest scoring candidate that `keep` accepts, the earlier on a tie;
// null when there is none.
template <typename Keep>
const Candidate* best(const std::vector<Candidate>& candidates, Keep keep)
{
    const Candidate* chosen = nullptr;
    for (const Candidate& candidate : candidates)
        if (keep(candidate) && (!chosen || candidate.score > chosen->score))
            chosen = &candidate;
    return chosen;
}

// The target's own bare declaration of that name.
bool ownBare(const TargetContext& target, const char* name)
{
    return bareOriginOf(target, name) == Origin::Own;
}

// Whether the target itself names the tool as its compiler driver: g++ with
// a bare GPP, else gcc with a bare GCC or EXE (g++ links what gcc links, and
// the C++ runtime too).
bool namesDriver(const TargetContext& target, const Builder& tool)
{
    if (dynamic_cast<const GNU_GPP*>(&tool))
        return ownBare(target, "GPP");
    return dynamic_cast<const GNU_GCC*>(&tool) && !ownBare(target, "GPP") &&
           (ownBare(target, "GCC") || ownBare(target, "EXE"));
}

}  // namespace

std::shared_ptr<Builder> GNUMatcher::createBuilder(const TargetContext& target)
{
    std::vector<Candidate> candidates;
    Origin declared = Origin::None;
    for (const auto& tool : tools) {
        const MatchResult result = tool->matchSubjects(target);
        if (result.status != BuildPossible)
            continue;
        const auto* gnuTool = dynamic_cast<const GNUTool*>(tool.get());
        candidates.push_back(
            {tool, scoreOf(*tool, result, target), gnuTool ? gnuTool->productDeclaration(target) : Origin::None});
        declared = std::max(declared, candidates.back().declaration);
    }
    const Candidate* chosen = nullptr;
    // ar and ld would leave the target's own sources out of the product.
    if (declared != Origin::None && !hasOwnSources(target)) {
        // Flags, whoever sets them, do not turn a declared library into a
        // program.
        chosen = best(candidates, [&](const Candidate& c) { return c.declaration == declared; });
        // What ld would link, a driver that the target names itself links
        // instead; no driver makes an archive.
        const Candidate* driver = best(candidates, [&](const Candidate& c) { return namesDriver(target, *c.tool); });
        if (driver && dynamic_cast<const GNU_LD*>(chosen->tool.get()))
            chosen = driver;
    }
    if (!chosen)
        chosen = best(candidates, [](const Candidate&) { return true; });
    return chosen ? chosen->tool : nullptr;
}

}  // namespace Zarn
