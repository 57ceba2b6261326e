// The tool type "gnu-gcc": its static tables, and the matcher of one GNU
// toolchain, which checks a target against the toolchain and picks the best
// of its tools.
#pragma once

#include <memory>
#include <vector>

#include "tools/zarn_compiler_search.h"
#include "zarn_tool.h"

namespace Zarn {

// Wants: GNU, toolchain_path, toolchain_version, toolchain_min_version, arch,
// TOOLCHAIN_TRIPLET. Variables: none.
const KeySet& gnuWantKeys();
const KeySet& gnuVariableKeys();
// Each tool's match subjects and variable schema. OUTPUT_NAME and STATIC
// weigh 5 for an exact match.
const KeySet& gccMatchSubjects();
const VariableSchema& gccVariableSchema();
const KeySet& gppMatchSubjects();
const VariableSchema& gppVariableSchema();
const KeySet& arMatchSubjects();
const VariableSchema& arVariableSchema();
const KeySet& ldMatchSubjects();
const VariableSchema& ldVariableSchema();
const KeySet& objcopyMatchSubjects();
const VariableSchema& objcopyVariableSchema();

// Builds the tables and registers "gnu-gcc".
void initGnuToolTables();

class GNUMatcher : public Matcher {
public:
    using Matcher::Matcher;

    std::unique_ptr<Matcher> clone() const override;
    // No match (status 0, no kinds) when the target asks for another arch,
    // triplet or version; otherwise the result of the first tool that can
    // build it, or of the last tool.
    MatchResult match(const TargetContext& target) const override;
    // The tool whose schema scores highest for the target; the earlier tool
    // on a tie. A target without sources of its own that declares its
    // product (SO, SHARED, KO; a bare STATIC or an OUTPUT_NAME ending in
    // ".a") gets the tool making it, its own declaration before an inherited
    // one, whatever flags score; what ld would link, a driver that the
    // target names itself with a bare GCC, GPP or EXE links instead. One of
    // this matcher's own tools, shared.
    std::shared_ptr<Builder> createBuilder(const TargetContext& target) override;
    std::string targetArch() const override { return compiler.arch; }
    std::string targetMachine() const override { return compiler.prefix; }

    CompilerRecord compiler;
    // gcc, then g++, ar, ld and objcopy when the toolchain has them.
    std::vector<std::shared_ptr<Builder>> tools;
};

}  // namespace Zarn
