#include "zarn_tool_tables.h"

namespace Zarn {

const ZarnValuePtr& toolTablePlaceholder()
{
    static const ZarnValuePtr placeholder;
    return placeholder;
}

KeyEntry makeKeyEntry(std::string name, ZarnValuePtr value)
{
    return KeyEntry{std::move(name), std::move(value)};
}

KeySet makeKeySet(const std::vector<KeyEntry>& entries)
{
    KeySet keys;
    for (const KeyEntry& entry : entries)
        keys.emplace(entry.name, Assignment(entry.name, entry.value, Assignment::Set, Assignment::NoFlags));
    return keys;
}

SchemaEntry makeSchemaEntry(std::string name, ZarnValuePtr value)
{
    return SchemaEntry{std::move(name), VariableSpec{std::move(value), 0, 1, 2}};
}

SchemaEntry makeSchemaEntryWithWeights(std::string name, VariableSpec spec)
{
    return SchemaEntry{std::move(name), std::move(spec)};
}

VariableSchema makeVariableSchema(const std::vector<SchemaEntry>& entries)
{
    VariableSchema schema;
    for (const SchemaEntry& entry : entries)
        schema.emplace(entry.first, entry.second);
    return schema;
}

}  // namespace Zarn
