#include "tools/zarn_c3_toolchain.h"

#include "tools/zarn_c3_compiler_search.h"
#include "tools/zarn_compiler_probe.h"
#include "tools/zarn_toolchain_directory.h"
#include "types/zarn_exceptions.h"
#include "zarn_tool_type_registry.h"

namespace Zarn {

const KeySet& c3WantsTable()
{
    static const KeySet table = makeKeySet({makeKeyEntry("C3C"), makeKeyEntry("toolchain_path"),
                                            makeKeyEntry("toolchain_version"),
                                            makeKeyEntry("toolchain_min_version")});
    return table;
}

const KeySet& c3VariablesTable()
{
    static const KeySet table;
    return table;
}

const KeySet& c3SubjectsTable()
{
    static const KeySet table =
        makeKeySet({makeKeyEntry("C3_FILES"), makeKeyEntry("C3C_FILES"), makeKeyEntry("C3_TEST_FILES")});
    return table;
}

const VariableSchema& c3Schema()
{
    static const VariableSchema schema = makeVariableSchema({
        makeSchemaEntry("C3C"), makeSchemaEntry("C3_FILES"), makeSchemaEntry("C3C_FILES"),
        makeSchemaEntry("C3_TEST_FILES"), makeSchemaEntry("C3C_FLAGS"), makeSchemaEntry("EXE"),
        makeSchemaEntry("STATIC"), makeSchemaEntry("DLL"), makeSchemaEntry("SO"), makeSchemaEntry("LIB"),
        makeSchemaEntry("LIB_PATH"), makeSchemaEntry("LIBPATH"), makeSchemaEntry("LINK_FLAGS"),
        makeSchemaEntry("OUTPUT_NAME"),
    });
    return schema;
}

std::unique_ptr<Matcher> C3Matcher::clone() const
{
    return std::make_unique<C3Matcher>(*this);
}

MatchResult C3Matcher::match(const TargetContext& target) const
{
    MatchResult result;
    // Unlike the definition's wants, a target's version is compared as it
    // stands: no "0" and no prefix rule.
    if (hasVariable(target, "toolchain_version") && !Util::ciEqual(getString(target, "toolchain_version"), version))
        return result;
    const bool hasMinimum = hasVariable(target, "toolchain_min_version");
    if (hasMinimum && !versionSatisfies(version, getString(target, "toolchain_min_version")))
        return result;
    result = builder->matchSubjects(target);
    if (result.status == BuildPossible && hasMinimum)
        result.kinds["toolchain_min_version"] = MatchEntry{MatchKind::ExactMatch, 0};
    return result;
}

std::shared_ptr<Builder> C3Matcher::createBuilder(const TargetContext& target)
{
    if (builder->matchSubjects(target).status != BuildPossible)
        return nullptr;
    return builder;
}

std::unique_ptr<Matcher> createC3Matcher(Util::CiString name, KeySet wants, KeySet variables)
{
    auto matcher = std::make_unique<C3Matcher>(std::move(name), c3WantsTable(), c3VariablesTable(), wants, variables);
    const C3ToolchainRequest request = readC3ToolchainRequest(wants);
    if (!request.toolchainPath)
        throw ZarnException("C3Matcher requires want variable 'toolchain_path'.");
    requireSearchPathDirectory(matcher->name, *request.toolchainPath);
    const std::optional<C3CompilerProbe> chosen = chooseNewestC3Compiler(findC3Compilers(request));
    if (!chosen)
        throw ZarnException("Couldn't find C3 toolchain from provided 'wants' variables.");
    requireSearchPathDirectory(matcher->name, chosen->binDir);
    matcher->version = chosen->version;
    matcher->compilerPath = chosen->compilerPath;
    matcher->binDir = chosen->binDir;
    matcher->builder = std::make_shared<C3Builder>(c3SubjectsTable(), c3Schema(), chosen->version,
                                                   chosen->compilerPath, chosen->binDir);
    return matcher;
}

void initC3ToolTables()
{
    c3WantsTable();
    c3VariablesTable();
    c3SubjectsTable();
    c3Schema();
    registerToolFactory("c3c", "NULL", createC3Matcher);
}

}  // namespace Zarn
