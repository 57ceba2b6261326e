// The three-part name of a target: project, unit and target.
#pragma once

#include <string>
#include <string_view>

namespace Zarn {

struct QualifiedTargetName {
    std::string project;  // empty: the current project
    std::string unit;     // empty: the main unit
    std::string target;

    QualifiedTargetName() = default;
    QualifiedTargetName(std::string project, std::string unit, std::string target);

    // "p/u::t", "u::t" or "t". The target is everything after the first "::";
    // the head splits at its first "/". Nothing is trimmed.
    static QualifiedTargetName parse(std::string_view text);

    // Always "project/unit::target", also when parts are empty.
    std::string toString() const;
};

}  // namespace Zarn
