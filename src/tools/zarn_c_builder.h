// The common base of the builders of compiled languages: where a target's
// outputs go, which of its variables the cache compares, how its variables
// become the inputs and outputs of cached recipes, how sources map to
// objects, and how a product is declared and exported.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "zarn_tool.h"

namespace Zarn {

// What a C-family tool plans for a target.
struct RecipeSet {
    std::vector<RecipeIO> recipes;
    std::vector<Assignment> variables;  // the tool's own plan variables
};

// How the values of one input map to intermediate values (sources to
// objects). A null result: the value has none.
struct VariableMapping {
    std::string name;
    std::function<ZarnValuePtr(const ZarnValuePtr&)> transform;
};

class CBuilder : public Builder {
public:
    CBuilder(KeySet subjects, VariableSchema schema);

    // Sets the three fields below from the first job, creates the output
    // directory and calls afterPrepare.
    void prepare(const Context& firstJob, uint64_t jobCount) override;
    void initialize() override;
    // The tool's recipes; the tool's plan variables, then those of the
    // output location that the target has.
    BuildPlan createBuildPlan(const TargetContext& target) override;
    // One recipe per command line, run in the output directory.
    std::vector<Recipe> createRecipes(const Context& job) override;

    // The hooks of the concrete tools.
    virtual RecipeSet doCreateRecipes(const TargetContext& target) const = 0;
    // Base: 1. noParallelLimit: no limit.
    virtual uint64_t getMaxParallelJobs(const TargetContext& target, const RecipeSet& set) const;
    virtual void afterPrepare(const Context& context) = 0;
    virtual void doInitialize();
    // The command lines of one job, one recipe each.
    virtual std::vector<std::string> buildCommandLine(const std::string& targetName,
                                                      const Context& job) const = 0;
    // The directory level that keeps the outputs of different toolchains apart.
    virtual std::string getToolIdentity(const Context& target) const = 0;
    // With its dot.
    virtual std::string getObjectExtension() const = 0;

    // The output directory: OUTPUT_DIR when its text is not empty, else
    // PROJECT_ROOT / OUTPUT_DEF_DIR / identity / PROFILE / project / unit /
    // target + suffix, empty levels left out.
    std::filesystem::path getOutputDirectory(const Context& target, const QualifiedTargetName& name,
                                             const std::string& targetName, const std::string& suffix) const;
    // getOutputDirectory for a target context, or for a plain context as
    // "no_target". The plan needs it before prepare has run.
    std::filesystem::path outputDirectoryOf(const Context& context) const;

    // Of the target prepared last.
    std::filesystem::path outputDir;
    std::string outputName;  // OUTPUT_NAME's text, else the target name
    std::string targetName;  // the target part of the name, or "no_target"

protected:
    // prepare without creating the directory.
    void setupOutputPaths(const Context& context);
    // A deep copy of the target's variable, when it has one; without value
    // it is copied as a declaration.
    void addPlanVariable(const Context& target, const std::string& name, std::vector<Assignment>& list) const;
    // The variable's values as one recipe input; with a mapping, the values
    // it maps become the input's intermediate.
    void addRecipeInput(const Context& target, const std::string& name, std::vector<RecipeInput>& inputs,
                        const std::optional<VariableMapping>& mapping) const;
    // (source, object) for every member of the value: the object is an
    // absolute path value in outputDir, the source's file name with the
    // object extension.
    std::vector<std::pair<ZarnValuePtr, ZarnValuePtr>> mapObjectFiles(const ZarnValuePtr& value,
                                                                      const std::filesystem::path& outputDir) const;
    // One recipe per source of the variable: the source in, OBJS out.
    void addObjectRecipes(const Context& target, const std::string& name, const std::filesystem::path& outputDir,
                          std::vector<RecipeIO>& recipes) const;
    void collectObjectFiles(const Context& target, const std::string& name, const std::filesystem::path& outputDir,
                            std::vector<ZarnValuePtr>& values) const;
    // The product as a recipe's output variables (path, then file name).
    void addOutputFile(std::vector<Assignment>& outputs, const std::string& pathName, const std::string& nameName,
                       const std::filesystem::path& outputDir, const std::string& fileText) const;
    // The product as exported variables of an output context.
    void exportOutputFile(Context& context, const std::string& pathName, const std::string& nameName,
                          const std::filesystem::path& outputDir, const std::string& fileText) const;

private:
    ZarnValuePtr objectPathOf(const std::string& sourceText, const std::filesystem::path& outputDir) const;
};

// Members of nested lists in order, depth first; null gives nothing; any
// other value is one member (a string is not split).
std::vector<ZarnValuePtr> flattenValue(const ZarnValuePtr& value);

// The file-name part of the text, or the text when that part is empty.
std::string fileNameOf(const std::string& text);

// "@" and the parameter hash for a target with parameters, else "".
std::string parameterSuffixOf(const Context& context);

// The file name of a target's product, the same in its command, its
// recorded outputs and its exports: a non-empty OUTPUT_NAME as it is; an
// OUTPUT_NAME that is empty, without value or an empty list gives the target
// name with the tool's extension (none when it is ""); no OUTPUT_NAME at all
// gives the target name.
std::string productFileName(const Context& context, const std::string& targetName, const std::string& extension);

}  // namespace Zarn
