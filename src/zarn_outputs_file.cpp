#include "zarn_outputs_file.h"

#include <fstream>
#include <ostream>

#include "loader/input_text.h"
#include "types/value_kind.h"
#include "types/zarn_value_types.h"
#include "types/zarn_log.h"
#include "zarn_cache_values.h"
#include "zarn_names.h"

namespace Zarn {

namespace {

bool holdsBlock(const ZarnValue& value)
{
    if (valueAs<const ZarnContext>(&value))
        return true;
    if (const auto* list = valueAs<const ZarnList>(&value))
        for (const ZarnValuePtr& member : list->getMembers())
            if (member && holdsBlock(*member))
                return true;
    return false;
}

// The language has no escapes: a literal reads back only when every text in
// the value has one and the lexer takes its bytes. A value holding a block
// is written as the cache writes it, and must be one the cache could write.
bool lineReadsBack(const Assignment& assignment, bool block, const std::string& literal)
{
    const bool texts = block ? isCacheWritable(assignment)
                             : isValidIdentifier(assignment.name) && assignment.value->hasLiteralForm();
    return texts && isLoadableText(literal);
}

}  // namespace

void writeOutputs(std::ostream& out, const Context& outputs, const std::string& fileName)
{
    for (const auto& [name, assignment] : outputs.variables) {
        if (!assignment.value)
            continue;
        // A block value as a block: its own literal is only its names.
        const bool block = holdsBlock(*assignment.value);
        const std::string literal = block ? cacheLiteral(*assignment.value) : assignment.value->toLiteral();
        if (lineReadsBack(assignment, block, literal))
            out << assignment.name << " = " << literal << "\n";
        else
            logMessage(LogLevel::Warning,
                       "Variable '{}' cannot be written in '{}' so that it reads back; it is left out.\n",
                       assignment.name, fileName);
    }
}

bool writeOutputsFile(const std::filesystem::path& file, const Context& outputs)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        logMessage(LogLevel::Error, "Unable to open outputs file '{}' for writing.\n", file.string());
        return false;
    }
    writeOutputs(out, outputs, file.string());
    out.close();
    if (!out) {
        logMessage(LogLevel::Error, "Unable to write outputs file '{}'.\n", file.string());
        return false;
    }
    return true;
}

}  // namespace Zarn
