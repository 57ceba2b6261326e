// The parse of a project or registry file: lexical and syntax errors are
// collected instead of printed, and the first one is the load's failure.
#pragma once

#include <filesystem>
#include <string>

#include "antlr4-runtime.h"
#include "loader/input_text.h"
#include "loader/lexed_text.h"
#include "loader/syntax_errors.h"
#include "parser/CommonLexer.h"
#include "parser/ZarnTopParser.h"

namespace Zarn {

class CheckedParse {
public:
    // Takes the file's text; text that is not valid UTF-8 throws
    // Zarn::ZarnException naming the source.
    CheckedParse(const std::string& text, const std::filesystem::path& source);
    CheckedParse(const CheckedParse&) = delete;
    CheckedParse& operator=(const CheckedParse&) = delete;

    // Parse with a start rule of this; the tree lives as long as this object.
    ZarnTopParser& parser() { return zarnParser; }
    // After the parse: std::runtime_error with the first error line, if any.
    void throwFirstError() const;

private:
    struct LoadedInput {
        LoadedInput(const std::string& text, const std::filesystem::path& source);
        InputText stream;
    };

    ThrowingErrorListener listener;
    LoadedInput input;  // loaded before it is lexed
    LexedText lexed;
    antlr4::CommonTokenStream tokens;
    ZarnTopParser zarnParser;
};

}  // namespace Zarn
