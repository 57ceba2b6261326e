// The two tool types that need no toolchain: "command" runs the shell
// commands a target gives in `cmdline`; "no_tool" builds nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zarn_tool.h"

namespace Zarn {

// The "command" type's tables: wants {cwd}, variables {cmdline}.
const KeySet& commandWantsTable();
const KeySet& commandVariablesTable();
// The "no_tool" type's tables: variables {NO_TOOL}, and the match subjects of
// its builders {NO_TOOL}.
const KeySet& noToolVariablesTable();
const KeySet& noToolSubjectsTable();

class BasicMatcher : public Matcher {
public:
    using Matcher::Matcher;
    std::unique_ptr<Matcher> clone() const override;
    // Always possible; whether the target has `cmdline` is the admission
    // test of tool selection.
    MatchResult match(const TargetContext& target) const override;
    std::shared_ptr<Builder> createBuilder(const TargetContext& target) override;
};

class BasicBuilder : public Builder {
public:
    BasicBuilder();
    std::string getName() const override { return variableName; }
    void prepare(const Context&, uint64_t) override {}
    void initialize() override {}
    // {result = status}
    Context createOutputContext(const Context& job, int status) override;
    // Output variables are the one recipe's outputs; `cmdline` and `cwd` the
    // environment; everything else valued the inputs. No outputs: no plan.
    BuildPlan createBuildPlan(const TargetContext& target) override;
    // One recipe per command in `cmdline`, run in `cwd`.
    std::vector<Recipe> createRecipes(const Context& job) override;

    std::string variableName = "cmdline";
    int recipeKind = 0;
};

class NoToolMatcher : public Matcher {
public:
    using Matcher::Matcher;
    std::unique_ptr<Matcher> clone() const override;
    // Possible exactly when the target assigns NO_TOOL, with or without value.
    MatchResult match(const TargetContext& target) const override;
    std::shared_ptr<Builder> createBuilder(const TargetContext& target) override;
};

class NoToolBuilder : public Builder {
public:
    NoToolBuilder();
    std::string getName() const override { return "no_tool"; }
    void prepare(const Context&, uint64_t) override {}
    void initialize() override {}
    Context createOutputContext(const Context&, int) override { return Context(); }
    BuildPlan createBuildPlan(const TargetContext&) override { return BuildPlan(); }
    std::vector<Recipe> createRecipes(const Context&) override { return {}; }
};

// Factories of the two types; neither fails.
std::unique_ptr<Matcher> createBasicMatcher(Util::CiString name, KeySet wants, KeySet variables);
std::unique_ptr<Matcher> createNoToolMatcher(Util::CiString name, KeySet wants, KeySet variables);

// Builds both types' tables and registers "command" and "no_tool".
void initBasicToolTables();

}  // namespace Zarn
