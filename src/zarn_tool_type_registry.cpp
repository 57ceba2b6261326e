#include "zarn_tool_type_registry.h"

#include <mutex>

#include "zarn_builtin_tools.h"

namespace Zarn {

ToolTypeRegistry& toolTypeRegistry()
{
    static ToolTypeRegistry registry = [] {
        ToolTypeRegistry table;
        table.max_load_factor(1.0f);
        return table;
    }();
    return registry;
}

void registerToolFactory(const Util::CiString& name, const Util::CiString& fallbackName,
                         MatcherFactory factory)
{
    ToolTypeRegistry& registry = toolTypeRegistry();
    if (!factory)
        factory = registry[fallbackName];
    registry[name] = std::move(factory);
}

std::unique_ptr<Matcher> createMatcher(const Util::CiString& typeName, Util::CiString toolName,
                                       KeySet wants, KeySet variables)
{
    const ToolTypeRegistry& registry = toolTypeRegistry();
    auto found = registry.find(typeName);
    if (found == registry.end() || !found->second)
        return nullptr;
    return found->second(std::move(toolName), std::move(wants), std::move(variables));
}

void initProgramStatics(const std::vector<ToolTypeInitializer>& toolchainTypes)
{
    static std::once_flag builtinsDone;
    std::call_once(builtinsDone, [] { initBasicToolTables(); });
    for (ToolTypeInitializer initialize : toolchainTypes) {
        if (initialize)
            initialize();
    }
}

}  // namespace Zarn
