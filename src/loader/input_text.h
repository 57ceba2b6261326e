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

// The runtime's character stream, loaded by decoding the UTF-8 here: the
// runtime's own decoder leaves the code points in a buffer five times their
// size, which dominated the memory of a large unit file.
class InputText : public antlr4::ANTLRInputStream {
public:
    // Valid UTF-8 only; a leading byte-order mark is skipped, as the
    // runtime skips it.
    void loadValidUtf8(std::string_view text);
    // The UTF-8 text of the code points start to stop (inclusive), as
    // getText gives it, without the runtime's converter.
    std::string utf8Text(std::size_t start, std::size_t stop) const;
};

// True when the text is well-formed UTF-8: no stray or missing continuation
// bytes, no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

// True when loadInputText takes the text: valid UTF-8 without a NUL byte.
// A writer of build-language text checks with it what it writes.
bool isLoadableText(std::string_view text);

// Replaces the stream's content with the text (a leading UTF-8 byte-order
// mark is skipped; an InputText is loaded without spare capacity). A NUL
// byte throws ZarnException "Unable to read <sourceName>: a NUL byte at line
// L, column C." (both counted from 1, the column in characters). Text that is
// not valid UTF-8 throws ZarnException
// "Unable to read <sourceName>: the text is not valid UTF-8." (the check is
// ours because the runtime throws for some bad bytes and silently drops a
// bad tail). The nesting limit is checked by LexedText, syntax errors by the
// parse.
void loadInputText(antlr4::ANTLRInputStream& input, std::string_view text, const std::string& sourceName);

// The same for the whole rest of a stream. Stream errors pass through.
void loadInputText(antlr4::ANTLRInputStream& input, std::istream& stream, const std::string& sourceName);

}  // namespace Zarn
