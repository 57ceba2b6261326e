#include "tools/zarn_c_builder.h"

#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"

namespace Zarn {

namespace fs = std::filesystem;

namespace {

const char* const outputLocationVariables[] = {"PROJECT_ROOT", "OUTPUT_NAME", "OUTPUT_DIR", "OUTPUT_DEF_DIR",
                                                "PROFILE"};

// The variable's assignment, or null when the context lacks it.
const Assignment* findAssignment(const Context& context, const std::string& name)
{
    auto found = context.variables.find(Util::CiString(name));
    return found == context.variables.end() ? nullptr : &found->second;
}

ZarnValuePtr makeList(std::vector<ZarnValuePtr> members)
{
    return std::make_shared<ZarnList>(std::move(members));
}

// One value as it is, several (or none) as a new list.
ZarnValuePtr singleOrList(std::vector<ZarnValuePtr> values)
{
    if (values.size() == 1)
        return values.front();
    return makeList(std::move(values));
}

}  // namespace

CBuilder::CBuilder(KeySet subjects, VariableSchema schema) : Builder(std::move(subjects), std::move(schema))
{
}

void CBuilder::prepare(const Context& firstJob, uint64_t)
{
    setupOutputPaths(firstJob);
    logMessage(LogLevel::Info, "Output dir: {}\n", outputDir.string());
    fs::create_directories(outputDir);
    afterPrepare(firstJob);
}

void CBuilder::initialize()
{
    doInitialize();
}

BuildPlan CBuilder::createBuildPlan(const TargetContext& target)
{
    RecipeSet set = doCreateRecipes(target);
    for (const char* name : outputLocationVariables)
        addPlanVariable(target, name, set.variables);
    BuildPlan plan;
    plan.limit = getMaxParallelJobs(target, set);
    plan.recipes = std::move(set.recipes);
    plan.environment = std::move(set.variables);
    return plan;
}

std::vector<Recipe> CBuilder::createRecipes(const Context& job)
{
    std::vector<Recipe> recipes;
    for (std::string& command : buildCommandLine(targetName, job))
        recipes.push_back(Recipe{std::move(command), outputDir, 0, {}});
    return recipes;
}

uint64_t CBuilder::getMaxParallelJobs(const TargetContext&, const RecipeSet&) const
{
    return 1;
}

void CBuilder::doInitialize()
{
}

fs::path CBuilder::getOutputDirectory(const Context& target, const QualifiedTargetName& name,
                                      const std::string& targetName, const std::string& suffix) const
{
    const std::string outputDirText = getString(target, "OUTPUT_DIR");
    if (!outputDirText.empty())
        return fs::path(outputDirText);
    // Declared without a value is as good as missing: there is no root to
    // build below.
    const ZarnValuePtr root = getVariable(target, "PROJECT_ROOT");
    if (!root)
        throw NotFoundException("Variable", "PROJECT_ROOT");
    fs::path directory(root->toString());
    for (const std::string& level : {getString(target, "OUTPUT_DEF_DIR"), getToolIdentity(target),
                                     getString(target, "PROFILE"), name.project, name.unit, targetName + suffix}) {
        if (!level.empty())
            directory /= level;
    }
    return directory;
}

fs::path CBuilder::outputDirectoryOf(const Context& context) const
{
    if (const auto* target = dynamic_cast<const TargetContext*>(&context))
        return getOutputDirectory(context, target->name, target->name.target, parameterSuffixOf(context));
    return getOutputDirectory(context, QualifiedTargetName(), "no_target", "");
}

void CBuilder::setupOutputPaths(const Context& context)
{
    const auto* target = dynamic_cast<const TargetContext*>(&context);
    const std::string name = target ? target->name.target : "no_target";
    outputName = getStringOr(context, "OUTPUT_NAME", name);
    targetName = name;
    outputDir = outputDirectoryOf(context);
}

void CBuilder::addPlanVariable(const Context& target, const std::string& name, std::vector<Assignment>& list) const
{
    const Assignment* assignment = findAssignment(target, name);
    if (!assignment)
        return;
    ZarnValuePtr copy = assignment->value ? assignment->value->deepClone() : nullptr;
    const auto type = copy ? Assignment::Set : Assignment::Declare;
    list.emplace_back(assignment->name, std::move(copy), type, assignment->flags);
}

void CBuilder::addRecipeInput(const Context& target, const std::string& name, std::vector<RecipeInput>& inputs,
                              const std::optional<VariableMapping>& mapping) const
{
    const Assignment* assignment = findAssignment(target, name);
    if (!assignment || !assignment->value)
        return;
    std::vector<ZarnValuePtr> copies;
    std::vector<ZarnValuePtr> mapped;
    for (const ZarnValuePtr& member : flattenValue(assignment->value)) {
        copies.push_back(member->deepClone());
        if (mapping) {
            if (ZarnValuePtr intermediate = mapping->transform(copies.back()))
                mapped.push_back(std::move(intermediate));
        }
    }
    RecipeInput input;
    input.input = Assignment(assignment->name, singleOrList(std::move(copies)), Assignment::Set, assignment->flags);
    if (!mapped.empty())
        input.intermediate = Assignment(mapping->name, singleOrList(std::move(mapped)), Assignment::Set,
                                        assignment->flags);
    inputs.push_back(std::move(input));
}

ZarnValuePtr CBuilder::objectPathOf(const std::string& sourceText, const fs::path& outputDir) const
{
    fs::path object = outputDir / fs::path(sourceText).filename();
    object.replace_extension(getObjectExtension());
    return makePathString(fs::absolute(object).string(), fs::path());
}

std::vector<std::pair<ZarnValuePtr, ZarnValuePtr>> CBuilder::mapObjectFiles(const ZarnValuePtr& value,
                                                                            const fs::path& outputDir) const
{
    std::vector<std::pair<ZarnValuePtr, ZarnValuePtr>> pairs;
    for (const ZarnValuePtr& member : flattenValue(value))
        pairs.emplace_back(member, objectPathOf(member->toString(), outputDir));
    return pairs;
}

void CBuilder::addObjectRecipes(const Context& target, const std::string& name, const fs::path& outputDir,
                                std::vector<RecipeIO>& recipes) const
{
    const Assignment* assignment = findAssignment(target, name);
    if (!assignment || !assignment->value)
        return;
    for (auto& [source, object] : mapObjectFiles(assignment->value, outputDir)) {
        RecipeIO recipe;
        recipe.inputs.push_back(
            RecipeInput{Assignment(assignment->name, source->deepClone(), Assignment::Set, assignment->flags),
                        Assignment(), false});
        recipe.outputs.emplace_back("OBJS", std::move(object), Assignment::Set, Assignment::OutputFlag);
        recipes.push_back(std::move(recipe));
    }
}

void CBuilder::collectObjectFiles(const Context& target, const std::string& name, const fs::path& outputDir,
                                  std::vector<ZarnValuePtr>& values) const
{
    const Assignment* assignment = findAssignment(target, name);
    if (!assignment || !assignment->value)
        return;
    for (auto& pair : mapObjectFiles(assignment->value, outputDir))
        values.push_back(std::move(pair.second));
}

namespace {

// A product keeps its directory wherever it is passed, also where a
// dependent reads it as plain text: the absolute path, no base.
ZarnValuePtr productPath(const fs::path& outputDir, const std::string& fileText)
{
    return makePathString(fs::absolute(outputDir / fileText).string(), fs::path());
}

}  // namespace

void CBuilder::addOutputFile(std::vector<Assignment>& outputs, const std::string& pathName,
                             const std::string& nameName, const fs::path& outputDir,
                             const std::string& fileText) const
{
    outputs.emplace_back(pathName, productPath(outputDir, fileText), Assignment::Set, Assignment::OutputFlag);
    outputs.emplace_back(nameName, makeString(fileNameOf(fileText)), Assignment::Set, Assignment::OutputFlag);
}

void CBuilder::exportOutputFile(Context& context, const std::string& pathName, const std::string& nameName,
                                const fs::path& outputDir, const std::string& fileText) const
{
    context.addAssignment(Assignment(pathName, productPath(outputDir, fileText), Assignment::Set), 0);
    context.addAssignment(Assignment(nameName, makeString(fileNameOf(fileText)), Assignment::Set), 0);
}

std::vector<ZarnValuePtr> flattenValue(const ZarnValuePtr& value)
{
    std::vector<ZarnValuePtr> members;
    if (!value)
        return members;
    const auto* list = dynamic_cast<const ZarnList*>(value.get());
    if (!list) {
        members.push_back(value);
        return members;
    }
    for (const ZarnValuePtr& member : list->getMembers()) {
        std::vector<ZarnValuePtr> inner = flattenValue(member);
        members.insert(members.end(), inner.begin(), inner.end());
    }
    return members;
}

std::string fileNameOf(const std::string& text)
{
    const std::string name = fs::path(text).filename().string();
    return name.empty() ? text : name;
}

std::string parameterSuffixOf(const Context& context)
{
    const auto* target = dynamic_cast<const TargetContext*>(&context);
    if (!target)
        return {};
    const std::string hash = target->parameterHash();
    return hash.empty() ? std::string() : "@" + hash;
}

std::string productFileName(const Context& context, const std::string& targetName, const std::string& extension)
{
    const Assignment* assignment = findAssignment(context, "OUTPUT_NAME");
    if (!assignment)
        return targetName;
    const std::string text = assignment->value ? assignment->value->toString() : std::string();
    if (!text.empty())
        return text;
    if (extension.empty())
        return targetName;
    return fs::path(targetName).replace_extension(extension).string();
}

}  // namespace Zarn
