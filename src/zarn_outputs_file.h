// The outputs file of -o: the main target's output variables as the build
// language writes them.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

#include "types/zarn_context_types.h"

namespace Zarn {

// One line per variable that has a value, in name order: the name as its
// assignment holds it, " = ", the value's literal (a block value as the
// block "{ name = literal ... }"; a text that is never expanded but holds
// what a plain string would expand, as a raw string). A text is written as
// its bytes, UTF-8 or not. A variable whose line would not read back as
// written (a name that is no identifier, a text that no literal can hold) is
// left out with a warning naming it and fileName.
void writeOutputs(std::ostream& out, const Context& outputs, const std::string& fileName);

// Writes the file (truncating it). False, after a level-7 message, when it
// cannot be opened or written.
bool writeOutputsFile(const std::filesystem::path& file, const Context& outputs);

}  // namespace Zarn
