#include "tools/zarn_gnu_tool.h"

#include "types/zarn_cmdline.h"

namespace Zarn {

GNUTool::GNUTool(KeySet subjects, VariableSchema schema, const CompilerRecord& compiler,
                 std::filesystem::path executable)
    : CBuilder(std::move(subjects), std::move(schema)), compiler(compiler), executable(std::move(executable))
{
}

std::string GNUTool::getName() const
{
    return executable.filename().string();
}

std::vector<Recipe> GNUTool::createRecipes(const Context& job)
{
    std::vector<Recipe> recipes = CBuilder::createRecipes(job);
    if (!compiler.binDir.empty()) {
        for (Recipe& recipe : recipes)
            recipe.pathPrefixes.push_back(compiler.binDir);
    }
    return recipes;
}

std::string GNUTool::getToolIdentity(const Context&) const
{
    return compiler.arch + "-" + compiler.os + "-" + compiler.abi;
}

std::string GNUTool::quotedExecutable() const
{
    return shellQuoted(executable.string());
}

const Assignment* requestedAssignment(const Context& target, const char* name)
{
    auto found = target.variables.find(Util::CiString(name));
    if (found == target.variables.end() || found->second.flags == Assignment::OutputFlag)
        return nullptr;
    return &found->second;
}

Origin originOf(const TargetContext& target, const char* name)
{
    if (!requestedAssignment(target, name))
        return Origin::None;
    return target.inheritedNames.count(Util::CiString(name)) != 0 ? Origin::Inherited : Origin::Own;
}

Origin bareOriginOf(const TargetContext& target, const char* name)
{
    const Assignment* assignment = requestedAssignment(target, name);
    if (!assignment || assignment->value)
        return Origin::None;
    return target.inheritedBareNames.count(Util::CiString(name)) != 0 ? Origin::Inherited
                                                                       : originOf(target, name);
}

std::string shellQuoted(const std::string& text)
{
    return "\"" + escapeForDoubleQuotes(text) + "\"";
}

}  // namespace Zarn
