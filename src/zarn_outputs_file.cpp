#include "zarn_outputs_file.h"

#include <fstream>
#include <ostream>

#include "loader/input_text.h"
#include "types/zarn_log.h"
#include "zarn_cache_values.h"

namespace Zarn {

namespace {

// The language has no escapes: a literal reads back only when every text in
// the value has one and the lexer takes its bytes.
bool lineReadsBack(const Assignment& assignment, const std::string& literal)
{
    return isCacheWritable(assignment) && literal.find('\0') == std::string::npos && isValidUtf8(literal);
}

}  // namespace

void writeOutputs(std::ostream& out, const Context& outputs, const std::string& fileName)
{
    for (const auto& [name, assignment] : outputs.variables) {
        if (!assignment.value)
            continue;
        // A block value as a block: its own literal is only its names.
        const std::string literal = cacheLiteral(*assignment.value);
        if (lineReadsBack(assignment, literal))
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
