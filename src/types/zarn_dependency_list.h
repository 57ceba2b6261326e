// Expansion of a target's dependency list: dependency macros ("@ident") are
// replaced by the dependencies their variable's value names.
#pragma once

#include <string>
#include <vector>

#include "types/qualified_target_name.h"
#include "types/zarn_context_types.h"
#include "types/zarn_dependency.h"

namespace Zarn {

// One dependency text found in a macro's value, with the value it came from.
struct DependencyToken {
    std::string text;
    ZarnValuePtr value;
};

// The target's dependencies in order, each macro replaced in place by its
// expansion; every result names a target directly. Macros are looked up in
// the context. A malformed macro value throws ZarnException.
std::vector<Dependency> createDependencyList(TargetContext& context);

// Strict "p/u::t" parser: project only with a unit, no empty parts, no
// trimming. Throws std::runtime_error.
QualifiedTargetName parseDependencyString(const std::string& text);

// Trims the text in place; a blank text adds nothing; a null value becomes a
// string of the text.
void addDependencyToken(std::vector<DependencyToken>& tokens, std::string& text, ZarnValuePtr& value);

// The text without leading and trailing whitespace.
std::string trimWhitespace(const std::string& text);

}  // namespace Zarn
