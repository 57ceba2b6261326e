#include "zarn_outputs_file.h"

#include <fstream>
#include <ostream>

#include "types/zarn_log.h"

namespace Zarn {

void writeOutputs(std::ostream& out, const Context& outputs)
{
    for (const auto& [name, assignment] : outputs.variables) {
        if (assignment.value)
            out << assignment.name << " = " << assignment.value->toLiteral() << "\n";
    }
}

bool writeOutputsFile(const std::filesystem::path& file, const Context& outputs)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        logMessage(LogLevel::Error, "Unable to open outputs file '{}' for writing.\n", file.string());
        return false;
    }
    writeOutputs(out, outputs);
    out.close();
    if (!out) {
        logMessage(LogLevel::Error, "Unable to write outputs file '{}'.\n", file.string());
        return false;
    }
    return true;
}

}  // namespace Zarn
