// One assignment of the build language parsed from text: a command-line
// argument or a line of the build cache.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

#include "types/zarn_context_types.h"

// Parses the first assignment of the text; whatever follows it is ignored.
// Relative path literals are joined to baseDirectory; a bare reference value
// (x = y.z) becomes the string "y.z". A syntax or lexical error anywhere in
// the text throws std::runtime_error
// "Parsing assignment failed due to syntax errors."; errors of the visit (the
// "!" modifier, numbers out of range) pass through; text that is not UTF-8
// throws Zarn::ZarnException naming "assignment".
Zarn::Assignment parseAssignmentText(const char* text, std::size_t length,
                                     const std::filesystem::path& baseDirectory);
Zarn::Assignment parseAssignmentText(std::string_view text, const std::filesystem::path& baseDirectory);
