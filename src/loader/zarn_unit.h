// A unit: the named set of targets of one unit file (or of several merged).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "types/ci_string.h"
#include "types/zarn_context_types.h"

namespace Zarn {

struct Unit {
    std::string name;  // from the "unit" line; empty when the file has none
    std::map<Util::CiString, Target> targets;
    std::string firstTarget;  // name of the first target ever added; never changes afterwards

    // Files the target under its name. A name already present (letter case
    // aside) throws std::invalid_argument "Key already exists: " + the stored
    // spelling, and the unit stays unchanged.
    void addTarget(Target&& target);
};

}  // namespace Zarn
