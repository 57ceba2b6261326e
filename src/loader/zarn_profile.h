// A named context template that a project offers for selection.
#pragma once

#include <memory>
#include <string>

#include "types/zarn_context_types.h"

namespace Zarn {

struct Profile {
    std::string name;
    std::shared_ptr<ContextTemplate> contextTemplate;  // never null after a visit
};

}  // namespace Zarn
