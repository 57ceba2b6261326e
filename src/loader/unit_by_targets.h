// A unit file read one target at a time: each target's tokens are lexed,
// parsed and visited, and dropped before the next, so a large file never
// holds the tokens and parse tree of all its targets at once.
#pragma once

#include <filesystem>
#include <memory>

#include "loader/input_text.h"
#include "loader/zarn_unit.h"

namespace Zarn {

// The unit of a text without lexical or syntax errors, nested no deeper than
// the limit, whose targets all visit without error: the unit that the whole
// file's parse and visit would give. Null, with nothing reported and the
// input back at its start, for any other text: the caller must then load it
// the ordinary way, which reports what is wrong.
std::unique_ptr<Unit> readUnitByTargets(InputText& input, const std::filesystem::path& baseDirectory);

}  // namespace Zarn
