// The static tables from which each tool type describes itself: key sets of
// variable names, and schemas of variables with default values and weights.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "types/ci_string.h"
#include "types/zarn_context_types.h"

namespace Zarn {

// Variable names (as value-less set assignments), ordered ignoring case.
using KeySet = VariableMap;

// The value every built-in table entry holds: always null, so an entry names
// a variable without giving it a value.
const ZarnValuePtr& toolTablePlaceholder();

struct KeyEntry {
    std::string name;
    ZarnValuePtr value;
};

KeyEntry makeKeyEntry(std::string name, ZarnValuePtr value = toolTablePlaceholder());
// Each entry becomes a set assignment without flags; the first of a name wins.
KeySet makeKeySet(const std::vector<KeyEntry>& entries);

// A variable's default value and its weight for each match kind.
struct VariableSpec {
    ZarnValuePtr defaultValue;
    uint32_t noMatchWeight = 0;
    uint32_t partialMatchWeight = 1;
    uint32_t exactMatchWeight = 2;
};

using VariableSchema = std::map<Util::CiString, VariableSpec>;
using SchemaEntry = std::pair<std::string, VariableSpec>;

// Weights 0, 1 and 2.
SchemaEntry makeSchemaEntry(std::string name, ZarnValuePtr value = toolTablePlaceholder());
SchemaEntry makeSchemaEntryWithWeights(std::string name, VariableSpec spec);
// The first entry of a name wins.
VariableSchema makeVariableSchema(const std::vector<SchemaEntry>& entries);

}  // namespace Zarn
