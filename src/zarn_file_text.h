// Reading configuration files and handing their text to the lexer.
#pragma once

#include <filesystem>
#include <string>

#include "antlr4-runtime.h"

namespace Zarn {

// The whole content of the file. False when it cannot be opened or read
// (a directory or a socket in its place included); text is then unchanged.
bool readFileText(const std::filesystem::path& file, std::string& text);

// Loads the text into the lexer's input. The runtime rejects invalid UTF-8
// with a bare conversion error; that becomes a ZarnException naming the file.
void loadLexerInput(antlr4::ANTLRInputStream& input, const std::string& text,
                    const std::filesystem::path& file);

}  // namespace Zarn
