// The base of the five tools of a GNU toolchain: one program file of one
// discovered toolchain, whose bin directory goes in front of PATH.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/zarn_c_builder.h"
#include "tools/zarn_compiler_search.h"

namespace Zarn {

// Where a target's variable comes from: nowhere, what it inherits, or its
// own assignment; a later origin is the stronger.
enum class Origin { None, Inherited, Own };

class GNUTool : public CBuilder {
public:
    GNUTool(KeySet subjects, VariableSchema schema, const CompilerRecord& compiler,
            std::filesystem::path executable);

    // The program's file name, e.g. x86_64-linux-gnu-gcc.
    std::string getName() const override;
    // Each recipe also finds the toolchain's other programs first.
    std::vector<Recipe> createRecipes(const Context& job) override;
    void afterPrepare(const Context&) override {}
    // arch-os-abi; the dashes stay when a part is empty.
    std::string getToolIdentity(const Context&) const override;
    std::string getObjectExtension() const override { return ".o"; }
    // Where the target says that it wants what this tool makes (an archive,
    // a shared object): the stronger origin of the variables that say it;
    // None when none does.
    virtual Origin productDeclaration(const TargetContext&) const { return Origin::None; }

    CompilerRecord compiler;
    std::filesystem::path executable;

protected:
    // The program path in double quotes, safe for the shell.
    std::string quotedExecutable() const;
};

// The target's assignment of that name, set by itself or inherited, or null:
// output variables ("^") are what it hands on, not what it asks for.
const Assignment* requestedAssignment(const Context& target, const char* name);

// The origin of the target's assignment of that name, as
// requestedAssignment finds it.
Origin originOf(const TargetContext& target, const char* name);

// The origin of the target's bare assignment of that name: None when it
// has a value; Inherited when a profile or the command line declared bare
// what the target itself assigns a value.
Origin bareOriginOf(const TargetContext& target, const char* name);

// The text in double quotes, with what the shell would still interpret
// escaped.
std::string shellQuoted(const std::string& text);

}  // namespace Zarn
