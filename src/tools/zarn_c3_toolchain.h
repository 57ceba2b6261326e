// The "c3c" tool type: its tables, its matcher and the factory that finds
// the compiler a tool definition names.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "tools/zarn_c3_builder.h"
#include "zarn_tool.h"

namespace Zarn {

// wants {C3C, toolchain_path, toolchain_version, toolchain_min_version}
const KeySet& c3WantsTable();
// none
const KeySet& c3VariablesTable();
// {C3_FILES, C3C_FILES, C3_TEST_FILES}
const KeySet& c3SubjectsTable();
// The variables a C3 target may set, weights 0, 1, 2.
const VariableSchema& c3Schema();

// One C3 compiler as a tool; every target it takes shares one builder.
class C3Matcher : public Matcher {
public:
    using Matcher::Matcher;
    std::unique_ptr<Matcher> clone() const override;
    // A target's toolchain_version must be exactly this compiler's version
    // and its toolchain_min_version met; then the builder's subjects decide.
    MatchResult match(const TargetContext& target) const override;
    // The shared builder when it takes the target, else null.
    std::shared_ptr<Builder> createBuilder(const TargetContext& target) override;

    std::string version;
    std::filesystem::path compilerPath;
    std::filesystem::path binDir;
    std::shared_ptr<C3Builder> builder;
};

// Finds the newest acceptable compiler below the definition's
// toolchain_path. Throws ZarnException when toolchain_path is missing, no
// compiler fits, or the compiler's directory holds ":" (PATH cannot hold it).
std::unique_ptr<Matcher> createC3Matcher(Util::CiString name, KeySet wants, KeySet variables);

// Builds the tables and registers "c3c".
void initC3ToolTables();

}  // namespace Zarn
