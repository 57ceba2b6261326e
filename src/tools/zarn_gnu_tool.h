// The base of the five tools of a GNU toolchain: one program file of one
// discovered toolchain, whose bin directory goes in front of PATH.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/zarn_c_builder.h"
#include "tools/zarn_compiler_search.h"

namespace Zarn {

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
    // Whether the target says it wants what this tool makes (an archive, a
    // shared object): then this tool builds it, however well the others
    // score on the compiler and linker variables it inherits, unless the
    // target's own variables choose another.
    virtual bool makesDeclaredProduct(const Context&) const { return false; }

    CompilerRecord compiler;
    std::filesystem::path executable;

protected:
    // The program path in double quotes, safe for the shell.
    std::string quotedExecutable() const;
};

// The target's assignment of that name, set by itself or inherited, or null:
// output variables ("^") are what it hands on, not what it asks for.
const Assignment* requestedAssignment(const Context& target, const char* name);

// The text in double quotes, with what the shell would still interpret
// escaped.
std::string shellQuoted(const std::string& text);

}  // namespace Zarn
