#include "tools/zarn_gnu_link_tools.h"

#include <algorithm>

#include "types/zarn_cmdline.h"

namespace Zarn {

namespace {

const char* const archiveExtension = ".a";
const char* const sharedExtension = ".so";

// ".so" with SO or SHARED, else ".ko" with KO, else ".elf"; any value counts.
std::string linkExtension(const Context& context)
{
    if (hasVariable(context, "SO") || hasVariable(context, "SHARED"))
        return sharedExtension;
    return hasVariable(context, "KO") ? ".ko" : ".elf";
}

bool namesArchive(const Context& target)
{
    const Assignment* outputName = requestedAssignment(target, "OUTPUT_NAME");
    return outputName && outputName->value &&
           Util::ciEqual(std::filesystem::path(outputName->value->toString()).extension().string(),
                         archiveExtension);
}

RecipeSet oneRecipe(RecipeIO recipe)
{
    RecipeSet set;
    set.recipes.push_back(std::move(recipe));
    return set;
}

}  // namespace

MatchResult GNU_AR::matchSubjects(const Context& target) const
{
    MatchResult result = Builder::matchSubjects(target);
    if (namesArchive(target))
        result.kinds["OUTPUT_NAME"] = MatchEntry{MatchKind::ExactMatch, 0};
    return result;
}

Origin GNU_AR::productDeclaration(const TargetContext& target) const
{
    return std::max(bareOriginOf(target, "STATIC"),
                    namesArchive(target) ? originOf(target, "OUTPUT_NAME") : Origin::None);
}

RecipeSet GNU_AR::doCreateRecipes(const TargetContext& target) const
{
    RecipeIO recipe;
    addRecipeInput(target, "OBJS", recipe.inputs, std::nullopt);
    addOutputFile(recipe.outputs, "LIB", "LIB_NAME", outputDirectoryOf(target),
                  productFileName(target, target.name.target, archiveExtension));
    return oneRecipe(std::move(recipe));
}

std::vector<std::string> GNU_AR::buildCommandLine(const std::string& targetName, const Context& job) const
{
    return makeCommandList(quotedExecutable() + " rcs " +
                           shellQuoted(productFileName(job, targetName, archiveExtension)) +
                           getVariableJoined(job.variables, "OBJS", "", true));
}

Context GNU_AR::createOutputContext(const Context& job, int)
{
    Context output;
    exportOutputFile(output, "lib", "lib_name", outputDir, productFileName(job, targetName, archiveExtension));
    return output;
}

RecipeSet GNU_LD::doCreateRecipes(const TargetContext& target) const
{
    const std::filesystem::path directory = outputDirectoryOf(target);
    const std::string extension = linkExtension(target);
    const std::string name = productFileName(target, target.name.target, extension);
    RecipeIO recipe;
    for (const char* input : {"OBJS", "LIB", "LIBPATH", "LINK_FLAGS", "LD_SCRIPT"})
        addRecipeInput(target, input, recipe.inputs, std::nullopt);
    addOutputFile(recipe.outputs, "BINARY", "BINARY_NAME", directory, name);
    if (extension == sharedExtension)
        addOutputFile(recipe.outputs, "SO", "SO_NAME", directory, name);
    RecipeSet set = oneRecipe(std::move(recipe));
    for (const char* kind : {"SO", "SHARED", "KO"})
        addPlanVariable(target, kind, set.variables);
    return set;
}

Origin GNU_LD::productDeclaration(const TargetContext& target) const
{
    Origin origin = Origin::None;
    for (const char* kind : {"SO", "SHARED", "KO"})
        origin = std::max(origin, originOf(target, kind));
    return origin;
}

std::vector<std::string> GNU_LD::buildCommandLine(const std::string& targetName, const Context& job) const
{
    const VariableMap& variables = job.variables;
    const std::string extension = linkExtension(job);
    std::string command = quotedExecutable();
    command += getVariableJoined(variables, "OBJS", "", true);
    command += getCommandArguments(variables, "LIB", "", true);
    command += getVariableJoined(variables, "LIBPATH", "-L", true);
    command += getCommandArguments(variables, "LINK_FLAGS", "", true);
    command += getVariableJoined(variables, "LD_SCRIPT", "-T", true);
    if (extension == sharedExtension)
        command += " -shared ";
    command += " -o " + shellQuoted(productFileName(job, targetName, extension));
    return makeCommandList(std::move(command));
}

Context GNU_LD::createOutputContext(const Context& job, int)
{
    Context output;
    const std::string extension = linkExtension(job);
    const std::string name = productFileName(job, targetName, extension);
    if (extension == sharedExtension)
        exportOutputFile(output, "so", "so_name", outputDir, name);
    exportOutputFile(output, "binary", "binary_name", outputDir, name);
    return output;
}

RecipeSet GNU_OBJCOPY::doCreateRecipes(const TargetContext& target) const
{
    RecipeIO recipe;
    for (const char* input : {"INPUT", "OBJCOPY_FLAGS"})
        addRecipeInput(target, input, recipe.inputs, std::nullopt);
    addOutputFile(recipe.outputs, "OUTPUT", "OUTPUT_NAME", outputDirectoryOf(target),
                  productFileName(target, target.name.target, ""));
    return oneRecipe(std::move(recipe));
}

std::vector<std::string> GNU_OBJCOPY::buildCommandLine(const std::string& targetName, const Context& job) const
{
    return makeCommandList(quotedExecutable() + getCommandArguments(job.variables, "OBJCOPY_FLAGS", "", false) +
                           getVariableJoined(job.variables, "INPUT", "", true) + " " +
                           shellQuoted(productFileName(job, targetName, "")));
}

Context GNU_OBJCOPY::createOutputContext(const Context& job, int)
{
    Context output;
    exportOutputFile(output, "output", "output_name", outputDir, productFileName(job, targetName, ""));
    return output;
}

}  // namespace Zarn
