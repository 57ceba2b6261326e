#include "tools/zarn_c3_builder.h"

#include "types/zarn_cmdline.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"

namespace Zarn {

namespace fs = std::filesystem;

namespace {

constexpr const char* outputNameVariable = "OUTPUT_NAME";
constexpr const char* testFilesVariable = "C3_TEST_FILES";

// The output variables of a kind, upper case for the recipe, lower case for
// the exports.
struct KindOutputs {
    const char* path;
    const char* name;
    const char* exportPath;
    const char* exportName;
};

KindOutputs kindOutputs(C3OutputKind kind)
{
    switch (kind) {
    case C3StaticLibrary:
        return {"LIB", "LIB_NAME", "lib", "lib_name"};
    case C3Dll:
        return {"DLL", "DLL_NAME", "dll", "dll_name"};
    case C3SharedObject:
        return {"SO", "SO_NAME", "so", "so_name"};
    case C3Executable:
        break;
    }
    return {"EXE", "EXE_NAME", "exe", "exe_name"};
}

const char* modeWord(const Context& job, C3OutputKind kind)
{
    if (hasVariable(job, testFilesVariable))
        return " compile-test";
    switch (kind) {
    case C3StaticLibrary:
        return " static-lib";
    case C3Dll:
    case C3SharedObject:
        return " dynamic-lib";
    case C3Executable:
        break;
    }
    return " compile";
}

// " -l name" per library, joined through nested lists and unquoted, so a
// string of several names stays as written. A path value (a library a
// dependency made) is quoted: its directory may hold anything.
std::string renderLibraries(const Context& job)
{
    if (!hasVariable(job, "LIB"))
        return {};
    std::string text;
    for (const ZarnValuePtr& library : flattenValue(getVariable(job, "LIB"))) {
        const bool isPath = dynamic_cast<const ZarnPathString*>(library.get()) != nullptr;
        text += renderArgument(library, "-l ", isPath);
    }
    return text;
}

}  // namespace

void validateC3Selectors(const Context& target)
{
    int selectors = 0;
    for (const char* name : {"EXE", "STATIC", "DLL", "SO"})
        selectors += hasVariable(target, name) ? 1 : 0;
    if (selectors > 1)
        throw ZarnException(
            "C3C received conflicting output selectors. Only one of EXE, STATIC, DLL, SO can be present.");
    if (hasVariable(target, testFilesVariable) &&
        (hasVariable(target, "STATIC") || hasVariable(target, "DLL") || hasVariable(target, "SO")))
        throw ZarnException("C3C compile-test cannot be combined with STATIC, DLL, or SO.");
}

bool isC3MatchSubject(const Context& target, const std::string& name)
{
    const auto found = target.variables.find(Util::CiString(name));
    if (found == target.variables.end())
        return false;
    if (found->second.flags == Assignment::OutputFlag) {
        logMessage(LogLevel::Matching, "Skipping '{}' as match subject: output variable\n", name);
        return false;
    }
    return true;
}

C3Builder::C3Builder(KeySet subjects, VariableSchema schema, std::string version, fs::path compilerPath,
                     fs::path binDir)
    : CBuilder(std::move(subjects), std::move(schema)), version(std::move(version)),
      compilerPath(std::move(compilerPath)), binDir(std::move(binDir))
{
}

C3OutputKind C3Builder::getOutputKind(const Context& target) const
{
    if (hasVariable(target, "STATIC"))
        return C3StaticLibrary;
    if (hasVariable(target, "DLL"))
        return C3Dll;
    if (hasVariable(target, "SO"))
        return C3SharedObject;
    return C3Executable;
}

std::string C3Builder::getOutputFileName(const Context& target, const std::string& defaultName,
                                         C3OutputKind kind) const
{
    // Empty, value-less and an empty list all mean "no name given", in the
    // target and in a job's lists alike.
    std::string name = getString(target, outputNameVariable);
    if (name.empty())
        name = defaultName;
    fs::path file(name);
    if (file.has_extension())
        return name;
    const bool windows = Util::ciEqual(compilerPath.extension().string(), ".exe");
    switch (kind) {
    case C3Dll:
        file.replace_extension(".dll");
        break;
    case C3SharedObject:
        file.replace_extension(".so");
        break;
    case C3StaticLibrary:
        file.replace_extension(windows ? ".lib" : ".a");
        break;
    case C3Executable:
        if (windows)
            file.replace_extension(".exe");
        break;
    }
    return file.string();
}

MatchResult C3Builder::matchSubjects(const Context& target) const
{
    MatchResult result;
    for (const char* name : {"C3_FILES", "C3C_FILES", testFilesVariable}) {
        if (isC3MatchSubject(target, name)) {
            result.status = BuildPossible;
            break;
        }
    }
    collectMatchKinds(*this, result, target);
    return result;
}

RecipeSet C3Builder::doCreateRecipes(const TargetContext& target) const
{
    validateC3Selectors(target);
    const std::string& name = target.name.target;
    const fs::path directory = getOutputDirectory(target, target.name, name, parameterSuffixOf(target));
    const C3OutputKind kind = getOutputKind(target);
    const std::string file = getOutputFileName(target, name, kind);

    RecipeSet set;
    RecipeIO recipe;
    for (const char* input : {"C3_FILES", "C3C_FILES", testFilesVariable, "C3C_FLAGS", "LIB", "LIB_PATH", "LIBPATH",
                              "LINK_FLAGS"})
        addRecipeInput(target, input, recipe.inputs, std::nullopt);
    for (const char* selector : {"C3C", "EXE", "STATIC", "DLL", "SO"})
        addPlanVariable(target, selector, set.variables);
    addOutputFile(recipe.outputs, "BINARY", "BINARY_NAME", directory, file);
    const KindOutputs outputs = kindOutputs(kind);
    addOutputFile(recipe.outputs, outputs.path, outputs.name, directory, file);
    set.recipes.push_back(std::move(recipe));
    return set;
}

std::vector<std::string> C3Builder::buildCommandLine(const std::string& name, const Context& job) const
{
    validateC3Selectors(job);
    const C3OutputKind kind = getOutputKind(job);
    const std::string file = getOutputFileName(job, name, kind);

    std::string command = "\"" + escapeForDoubleQuotes(compilerPath.string()) + "\"";
    command += getCommandArguments(job.variables, "C3C_FLAGS", "", false);
    command += " -o \"" + escapeForDoubleQuotes(file) + "\"";
    command += getVariableJoined(job.variables, "LIB_PATH", "-L ", true);
    command += getVariableJoined(job.variables, "LIBPATH", "-L ", true);
    command += renderLibraries(job);
    command += getCommandArguments(job.variables, "LINK_FLAGS", "-z ", true);
    command += modeWord(job, kind);
    for (const char* sources : {"C3_FILES", "C3C_FILES", testFilesVariable})
        command += getVariableJoined(job.variables, sources, "", true);
    return makeCommandList(std::move(command));
}

std::vector<Recipe> C3Builder::createRecipes(const Context& job)
{
    std::vector<Recipe> recipes = CBuilder::createRecipes(job);
    if (!binDir.empty())
        for (Recipe& recipe : recipes)
            recipe.pathPrefixes.push_back(binDir);
    return recipes;
}

Context C3Builder::createOutputContext(const Context& job, int)
{
    const C3OutputKind kind = getOutputKind(job);
    const std::string file = getOutputFileName(job, targetName, kind);
    Context outputs;
    exportOutputFile(outputs, "binary", "binary_name", outputDir, file);
    const KindOutputs names = kindOutputs(kind);
    exportOutputFile(outputs, names.exportPath, names.exportName, outputDir, file);
    return outputs;
}

}  // namespace Zarn
