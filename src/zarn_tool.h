// The two halves of every tool type: the matcher, which scores a target and
// makes its builder, and the builder, which turns the target into a build
// plan, recipes and an output context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "types/ci_string.h"
#include "types/zarn_context_types.h"
#include "zarn_match_result.h"
#include "zarn_recipe.h"
#include "zarn_tool_tables.h"

namespace Zarn {

class Builder;

class Matcher {
public:
    // Starts from the type's static tables, then merges the definition's
    // wants and variables: a want that names a variable replaces that
    // variable; a variable is taken out of the wants.
    Matcher(Util::CiString name, const KeySet& wantsTable, const KeySet& variablesTable,
            const KeySet& wants, const KeySet& variables);
    Matcher(const Matcher&) = default;
    Matcher& operator=(const Matcher&) = delete;
    virtual ~Matcher() = default;

    virtual std::unique_ptr<Matcher> clone() const = 0;
    // The type's own verdict. The base never builds (status 0).
    virtual MatchResult match(const TargetContext& target) const;
    // The builder for the target, or null when none fits.
    virtual std::shared_ptr<Builder> createBuilder(const TargetContext& target) = 0;
    // The architecture the tool's products run on, as a target's ARCH names
    // it; empty when the tool does not build for one in particular.
    virtual std::string targetArch() const { return {}; }
    // The whole machine text of the tool's products ("x86_64-linux-gnu"),
    // whose parts name the system they run on; empty when not known.
    virtual std::string targetMachine() const { return {}; }

    Util::CiString name;
    KeySet wants;       // settings a target may ask for; they score
    KeySet variables;   // one without a value must be assigned by the target
    std::vector<Condition> conditions;  // of the tool's definition
};

class Builder {
public:
    Builder() = default;
    Builder(KeySet subjects, VariableSchema schema);
    virtual ~Builder() = default;

    // Shown as the chosen tool.
    virtual std::string getName() const;
    // Once per target, before any recipe is made.
    virtual void prepare(const Context& firstJob, uint64_t jobCount) = 0;
    // Once per target, after every job succeeded and its outputs were made.
    virtual void initialize() = 0;
    // What one succeeded job exports to the dependent targets.
    virtual Context createOutputContext(const Context& job, int status) = 0;
    // Whether this builder takes the target, with each variable's kind and
    // claim. Also called with the plain base context of a visit.
    virtual MatchResult matchSubjects(const Context& target) const;
    // What the cache records and compares, and the parallel limit.
    virtual BuildPlan createBuildPlan(const TargetContext& target) = 0;
    // The recipes of one job.
    virtual std::vector<Recipe> createRecipes(const Context& job) = 0;

    KeySet subjects;        // variables a target must assign for this builder
    VariableSchema schema;  // variables the builder knows, with weights
};

// Fills result.kinds with one entry per variable of the target, compared
// against the builder's subjects and schema.
void collectMatchKinds(const Builder& builder, MatchResult& result, const Context& target);

// The text of the named assignment's value; "" when absent or value-less.
std::string getAssignmentText(const KeySet& assignments, const std::string& name);

// A command list of one command line.
std::vector<std::string> makeCommandList(std::string commandLine);

}  // namespace Zarn
