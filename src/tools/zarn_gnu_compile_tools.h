// The compiler drivers of a GNU toolchain, gcc and g++. With "-c" among the
// words of C_FLAGS each source compiles to its own object, in parallel;
// otherwise one command compiles and links all sources into a program.
#pragma once

#include <string>
#include <vector>

#include "tools/zarn_gnu_tool.h"

namespace Zarn {

// True when one white-space-separated word of the flags is "-c".
bool hasCompileOnlyFlag(const std::string& flags);

class GNUCompileTool : public GNUTool {
public:
    // The variables that make the target possible, the first present one wins.
    GNUCompileTool(KeySet subjects, VariableSchema schema, const CompilerRecord& compiler,
                   std::filesystem::path executable, std::vector<std::string> candidates);

    Context createOutputContext(const Context& job, int status) override;
    MatchResult matchSubjects(const Context& target) const override;
    // Compile-only: one recipe per source, its object out; two different
    // sources that would write one object are an error. Otherwise one
    // recipe for the program.
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    uint64_t getMaxParallelJobs(const TargetContext& target, const RecipeSet& set) const override;
    std::vector<std::string> buildCommandLine(const std::string& targetName, const Context& job) const override;

private:
    std::vector<std::string> candidates;
};

// gcc: possible with C_FILES or OBJS.
class GNU_GCC : public GNUCompileTool {
public:
    GNU_GCC(KeySet subjects, VariableSchema schema, const CompilerRecord& compiler,
            std::filesystem::path executable);
};

// g++: possible with CPP_FILES, C_FILES or OBJS.
class GNU_GPP : public GNUCompileTool {
public:
    GNU_GPP(KeySet subjects, VariableSchema schema, const CompilerRecord& compiler,
            std::filesystem::path executable);
};

}  // namespace Zarn
