#include "zarn_outputs_file.h"

#include <fstream>
#include <ostream>

#include "types/value_kind.h"
#include "types/value_members.h"
#include "types/zarn_interpolation.h"
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

// The value to write: each text that the value never expands but that a
// plain string would (a resolved "${...}" or "#1" from a directory's name) as
// a raw string, also in lists and blocks. A path keeps its own form.
ZarnValuePtr withRawTexts(const ZarnValuePtr& value)
{
    return mapPlainMembers(value, [](const ZarnValuePtr& member) -> ZarnValuePtr {
        if (valueAs<const ZarnPathString>(member.get()) || valueAs<const ZarnRawString>(member.get()))
            return member;
        const auto* string = valueAs<const ZarnBaseString>(member.get());
        if (!string)
            return member;
        const auto* expanding = valueAs<const ZarnString>(member.get());
        if ((expanding && !expanding->isFinal()) || !holdsReferences(string->toString()))
            return member;
        return std::make_shared<ZarnRawString>(string->toString());
    });
}

// The assignment with the value to write.
Assignment withRawTexts(const Assignment& assignment)
{
    Assignment written = assignment;
    written.value = withRawTexts(assignment.value);
    return written;
}

// The language has no escapes: a line reads back only when every text in
// the value has a literal. A value holding a block is written as the cache
// writes it, and must be one the cache could write. Bytes that are not UTF-8
// are written as they are: no reader takes this file, and each variable
// keeps its line.
bool lineReadsBack(const Assignment& assignment, bool block)
{
    return block ? isCacheWritable(assignment)
                 : isValidIdentifier(assignment.name) && assignment.value->hasLiteralForm();
}

}  // namespace

void writeOutputs(std::ostream& out, const Context& outputs, const std::string& fileName)
{
    for (const auto& [name, assignment] : outputs.variables) {
        if (!assignment.value)
            continue;
        const Assignment written = withRawTexts(assignment);
        // A block value as a block: its own literal is only its names.
        const bool block = holdsBlock(*written.value);
        if (lineReadsBack(written, block))
            out << written.name << " = "
                << (block ? cacheLiteral(*written.value) : written.value->toLiteral()) << "\n";
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
