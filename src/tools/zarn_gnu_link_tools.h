// The archiver, the linker and objcopy of a GNU toolchain: one recipe each,
// run in the target's output directory.
#pragma once

#include <string>
#include <vector>

#include "tools/zarn_gnu_tool.h"

namespace Zarn {

// Packs OBJS into a static library (LIB).
class GNU_AR : public GNUTool {
public:
    using GNUTool::GNUTool;

    Context createOutputContext(const Context& job, int status) override;
    // The base result; an OUTPUT_NAME ending in ".a" is an exact match.
    MatchResult matchSubjects(const Context& target) const override;
    // A bare STATIC, or an OUTPUT_NAME ending in ".a".
    Origin productDeclaration(const TargetContext& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    std::vector<std::string> buildCommandLine(const std::string& targetName, const Context& job) const override;
};

// Links OBJS into an image (BINARY), a shared object with SO or SHARED, or a
// kernel module with KO.
class GNU_LD : public GNUTool {
public:
    using GNUTool::GNUTool;

    Context createOutputContext(const Context& job, int status) override;
    // SO, SHARED or KO, with any value.
    Origin productDeclaration(const TargetContext& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    std::vector<std::string> buildCommandLine(const std::string& targetName, const Context& job) const override;
};

// Converts INPUT into OUTPUT, as OBJCOPY_FLAGS say.
class GNU_OBJCOPY : public GNUTool {
public:
    using GNUTool::GNUTool;

    Context createOutputContext(const Context& job, int status) override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    std::vector<std::string> buildCommandLine(const std::string& targetName, const Context& job) const override;
};

}  // namespace Zarn
