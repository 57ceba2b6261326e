#include "tools/zarn_gnu_compile_tools.h"

#include <cctype>
#include <map>

#include "types/zarn_cmdline.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"

namespace Zarn {

namespace {

// Both drivers take both kinds of source, so every recorded object is made.
const char* const sourceVariables[] = {"C_FILES", "CPP_FILES"};

bool compileOnly(const Context& context)
{
    return hasCompileOnlyFlag(getString(context, "C_FLAGS"));
}

}  // namespace

bool hasCompileOnlyFlag(const std::string& flags)
{
    size_t position = 0;
    while (position < flags.size()) {
        while (position < flags.size() && std::isspace(static_cast<unsigned char>(flags[position])))
            ++position;
        size_t end = position;
        while (end < flags.size() && !std::isspace(static_cast<unsigned char>(flags[end])))
            ++end;
        if (flags.compare(position, end - position, "-c") == 0)
            return true;
        position = end;
    }
    return false;
}

GNUCompileTool::GNUCompileTool(KeySet subjects, VariableSchema schema, const CompilerRecord& compiler,
                               std::filesystem::path executable, std::vector<std::string> candidates)
    : GNUTool(std::move(subjects), std::move(schema), compiler, std::move(executable)),
      candidates(std::move(candidates))
{
}

GNU_GCC::GNU_GCC(KeySet subjects, VariableSchema schema, const CompilerRecord& compiler,
                 std::filesystem::path executable)
    : GNUCompileTool(std::move(subjects), std::move(schema), compiler, std::move(executable), {"C_FILES", "OBJS"})
{
}

GNU_GPP::GNU_GPP(KeySet subjects, VariableSchema schema, const CompilerRecord& compiler,
                 std::filesystem::path executable)
    : GNUCompileTool(std::move(subjects), std::move(schema), compiler, std::move(executable),
                     {"CPP_FILES", "C_FILES", "OBJS"})
{
}

MatchResult GNUCompileTool::matchSubjects(const Context& target) const
{
    MatchResult result;
    for (const std::string& candidate : candidates) {
        auto found = target.variables.find(Util::CiString(candidate));
        if (found == target.variables.end())
            continue;
        if (found->second.flags == Assignment::OutputFlag) {
            logMessage(LogLevel::Matching, "Skipping '{}' as match subject: output variable\n", candidate);
            continue;
        }
        result.status = BuildPossible;
        break;
    }
    collectMatchKinds(*this, result, target);
    return result;
}

RecipeSet GNUCompileTool::doCreateRecipes(const TargetContext& target) const
{
    RecipeSet set;
    const std::filesystem::path directory = outputDirectoryOf(target);
    for (const char* name : {"C_DEFINES", "C_FLAGS", "INCLUDE"})
        addPlanVariable(target, name, set.variables);
    if (compileOnly(target)) {
        // gcc -c writes each object into the output directory under the
        // source's file name: two sources of one name would overwrite each
        // other, possibly from two jobs at once.
        std::map<std::string, std::string> sourceOfObject;
        for (const char* name : sourceVariables) {
            if (!hasVariable(target, name))
                continue;
            for (const auto& [source, object] : mapObjectFiles(getVariable(target, name), directory)) {
                auto [entry, added] = sourceOfObject.emplace(object->toString(), source->toString());
                if (!added && entry->second != source->toString())
                    throw ZarnException("Sources '" + entry->second + "' and '" + source->toString() +
                                        "' of target '" + target.name.target + "' both compile to '" +
                                        entry->first + "'.");
            }
            addObjectRecipes(target, name, directory, set.recipes);
        }
        return set;
    }
    addPlanVariable(target, "LINK_FLAGS", set.variables);
    addPlanVariable(target, "LIBPATH", set.variables);
    // Sources are handed to the link as they are: the link makes no objects
    // of its own to hand on instead.
    RecipeIO recipe;
    for (const char* name : {"OBJS", "C_FILES", "CPP_FILES", "LIB", "LD_SCRIPT"})
        addRecipeInput(target, name, recipe.inputs, std::nullopt);
    addOutputFile(recipe.outputs, "BINARY", "BINARY_NAME", directory,
                  productFileName(target, target.name.target, ""));
    set.recipes.push_back(std::move(recipe));
    return set;
}

uint64_t GNUCompileTool::getMaxParallelJobs(const TargetContext& target, const RecipeSet&) const
{
    return compileOnly(target) ? noParallelLimit : 1;
}

std::vector<std::string> GNUCompileTool::buildCommandLine(const std::string& targetName, const Context& job) const
{
    const VariableMap& variables = job.variables;
    std::string command = quotedExecutable();
    const std::string flags = getString(job, "C_FLAGS");
    if (!flags.empty())
        command += " " + flags;
    for (const char* name : sourceVariables)
        command += getVariableJoined(variables, name, "", true);
    command += getCommandArguments(variables, "C_DEFINES", "-D", false);
    command += getVariableJoined(variables, "INCLUDE", "-I", true);
    if (!hasCompileOnlyFlag(flags)) {
        command += getVariableJoined(variables, "OBJS", "", true);
        command += getVariableJoined(variables, "LD_SCRIPT", "-T", true);
        command += " -o " + shellQuoted(productFileName(job, targetName, ""));
    } else if (hasVariable(job, "OBJS")) {
        logMessage(LogLevel::Warning, "OBJS were passed to '{}', but target uses -c.\n", targetName);
    }
    command += getCommandArguments(variables, "LIB", "", true);
    if (!getString(job, "LIBPATH").empty() || !getString(job, "LINK_FLAGS").empty()) {
        command += getVariableJoined(variables, "LIBPATH", "-Wl,-L", true);
        command += getCommandArguments(variables, "LINK_FLAGS", "-Wl,", true);
    }
    return makeCommandList(std::move(command));
}

Context GNUCompileTool::createOutputContext(const Context& job, int)
{
    Context output;
    std::vector<ZarnValuePtr> objects;
    for (const char* name : sourceVariables)
        collectObjectFiles(job, name, outputDir, objects);
    output.addAssignment(Assignment("objs", std::make_shared<ZarnList>(std::move(objects)), Assignment::Set), 0);
    if (!compileOnly(job)) {
        const std::string name = productFileName(job, targetName, "");
        exportOutputFile(output, "elf", "elf_name", outputDir, name);
        exportOutputFile(output, "binary", "binary_name", outputDir, name);
    }
    return output;
}

}  // namespace Zarn
