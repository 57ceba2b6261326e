// What a matcher or a builder reports about a target: how each variable
// matched, whether the builder consumes it, and whether a build is possible.
#pragma once

#include <map>

#include "types/ci_string.h"

namespace Zarn {

namespace MatchKind {
constexpr int NoMatch = 0;
constexpr int PartialMatch = 1;
constexpr int ExactMatch = 2;
}  // namespace MatchKind

// Status of a MatchResult that lets the tool build the target; any other
// value means it cannot.
constexpr int BuildPossible = 1;

struct MatchEntry {
    int kind = MatchKind::NoMatch;
    int claimed = 0;  // 1 when the builder consumes this variable
};

struct MatchResult {
    std::map<Util::CiString, MatchEntry> kinds;
    int status = 0;
};

// "BuildPossible" for status 1, "BuildImpossible" for anything else.
const char* matchStatusText(int status);

}  // namespace Zarn
