// One entry of a "tools" section, in a project file or the registry.
#pragma once

#include <memory>
#include <string>

#include "types/zarn_context_types.h"

namespace Zarn {

struct BuildToolDefinition {
    std::string name;
    std::shared_ptr<ContextTemplate> contextTemplate;  // set by the visitor; other makers may leave it null
};

}  // namespace Zarn
