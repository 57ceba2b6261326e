// Tools are named instances of tool types: made from tool definitions,
// registered by name, and scored against each target to choose its builder.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "types/ci_string.h"
#include "types/zarn_context_types.h"
#include "zarn_tool.h"

namespace Zarn {

// One tool definition with the label of where it came from ("Registry",
// "Project <name>"), which only messages use.
struct ToolRecord {
    std::string name;
    std::shared_ptr<ContextTemplate> definition;
    std::string origin;
};

// The registered tools, in the order of scoring (names ignoring case).
using RegisteredTools = std::map<Util::CiString, std::shared_ptr<Matcher>>;

// Score of each match kind.
struct MatchWeights {
    int exact = 2;
    int partial = 1;
    int none = 0;
};

// The tool's matcher, or null after a level-6 warning: no template, no or
// several `tool_type`, an empty one, an unknown type, or a failing factory.
std::shared_ptr<Matcher> createTool(const ToolRecord& record);

// Makes the tool and enters it under its name; a tool of the same name is
// replaced with a warning (the key keeps its first spelling).
void registerTool(RegisteredTools& tools, const ToolRecord& record);

// Enters "default_basic" (type "command") and "default_no_tool" (type
// "no_tool"), replacing entries of those names silently.
void createStaticTools(RegisteredTools& tools);

// How one tool scores a target.
struct ToolScore {
    MatchResult result;  // status and the kinds that were summed
    int score = 0;
};

// A tool whose value-less variables the target lacks is not admitted (status
// 0, match not called); then the wants add their kinds. A comparison that
// fails (values of kinds that cannot be compared) counts as unequal.
ToolScore scoreTool(Matcher& matcher, const TargetContext& target, const MatchWeights& weights);

// The architecture of the machine zarn runs on, as uname names it
// ("x86_64"); empty when it cannot be told.
const std::string& machineArch();

// The system zarn runs on, as uname names it ("Linux"); empty when it cannot
// be told.
const std::string& machineSystem();

// The possible tool with the strictly highest score; null when no tool is
// possible. Of tools with equal scores, one that builds for the machine zarn
// runs on beats one that builds for another: best a tool for nativeArch
// whose machine text names nativeSystem (or a tool for no architecture in
// particular), then one for nativeArch that names another system (a
// toolchain for Windows or bare metal on the same processor), then the rest.
// A target that sets ARCH keeps only the preference of the native system on
// its processor, one that sets TOOLCHAIN_TRIPLET none. Otherwise the earlier
// name wins. The map keeps ownership.
Matcher* selectBestTool(const RegisteredTools& tools, const TargetContext& target,
                        const MatchWeights& weights, const std::string& nativeArch = machineArch(),
                        const std::string& nativeSystem = machineSystem());

}  // namespace Zarn
