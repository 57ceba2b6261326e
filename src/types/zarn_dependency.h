// One dependency of a target as written in a unit file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "types/identifier_parser.h"
#include "types/qualified_target_name.h"

namespace Zarn {

class ZarnValue;
using ZarnValuePtr = std::shared_ptr<ZarnValue>;

// A dynamic dependency: the variable reference written after "@".
struct DependencyMacro {
    Identifier identifier;
    bool hasSourceParameter = false;  // parameter list began with the "." marker
};

struct Dependency {
    uint32_t modifier = 0;   // 1 when written with a leading "+"
    uint32_t aliasKind = 0;  // 0 none, 1 "=>", 2 "+>"
    ZarnValuePtr sourceValue;  // set only for dependencies made from a source-parameterised macro; shared by copies
    std::vector<Identifier> parameters;
    std::string alias;
    std::variant<QualifiedTargetName, DependencyMacro> target;
};

}  // namespace Zarn
