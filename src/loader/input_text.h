// Loading text into the runtime's character stream, with bad encodings
// reported as the model's own error.
#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "antlr4-runtime.h"

namespace Zarn {

// Blocks and lists nested deeper than this are refused: the parser and the
// visitor recurse once per level and would exhaust the stack long before
// a real file gets near it.
constexpr std::size_t maxNestingDepth = 256;

// True when the text is well-formed UTF-8: no stray or missing continuation
// bytes, no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

// Replaces the stream's content with the text (a leading UTF-8 byte-order
// mark is skipped). A NUL byte throws ZarnException "Unable to read
// <sourceName>: a NUL byte at line L, column C." (both counted from 1, the
// column in characters). Text that is not valid UTF-8 throws ZarnException
// "Unable to read <sourceName>: the text is not valid UTF-8." (the check is
// ours because the runtime throws for some bad bytes and silently drops a
// bad tail); text nested deeper than maxNestingDepth throws ZarnException
// "Unable to read <sourceName>: blocks and lists are nested deeper than 256
// levels." Syntax errors are left to the parse.
void loadInputText(antlr4::ANTLRInputStream& input, std::string_view text, const std::string& sourceName);

// The same for the whole rest of a stream. Stream errors pass through.
void loadInputText(antlr4::ANTLRInputStream& input, std::istream& stream, const std::string& sourceName);

}  // namespace Zarn
