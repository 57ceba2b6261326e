// The state shared by the visits of one build: which targets are being
// visited, so that a target reached again through its own dependencies is
// reported as a loop instead of recursing without end.
#pragma once

#include <forward_list>
#include <string>
#include <unordered_set>

#include "types/ci_string.h"
#include "types/qualified_target_name.h"

namespace Zarn {

class Target;

struct VisitingState {
    // Names of the targets being visited, the most recently entered first.
    std::forward_list<std::string> path;
    // The same names, compared without regard to case.
    std::unordered_set<Util::CiString> names;
    // The definitions being visited: one target reached under two spellings
    // (unit "1" and the unit's own name) is still the same target.
    std::unordered_set<const Target*> targets;
};

// "unit::target": how a visit names its target in the log.
std::string displayNameOf(const QualifiedTargetName& name);

}  // namespace Zarn
