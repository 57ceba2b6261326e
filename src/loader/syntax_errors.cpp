#include "loader/syntax_errors.h"

#include <iostream>

#include "types/quoted_bytes.h"

namespace {

// Room for the parser's longest wording; the text of the file that it
// quotes may be anything, of any length.
constexpr std::size_t detailLimit = 200;

}  // namespace

void ZarnErrorCounter::syntaxError(antlr4::Recognizer*, antlr4::Token*, size_t line, size_t charPositionInLine,
                                   const std::string& msg, std::exception_ptr)
{
    ++errors;
    if (quiet)
        return;
    std::cerr << (name ? name : "") << ": line " << line << ":" << charPositionInLine << " " << msg << "\n";
    std::cerr.flush();
}

void ThrowingErrorListener::syntaxError(antlr4::Recognizer*, antlr4::Token* offendingSymbol, size_t line,
                                        size_t charPositionInLine, const std::string& msg, std::exception_ptr)
{
    std::string text =
        sourcePath.string() + "(" + std::to_string(line) + "," + std::to_string(charPositionInLine) + "): ";
    // Lexer errors have no token; the parser's message repeats the token anyway.
    std::string detail;
    if (offendingSymbol)
        detail = "'" + offendingSymbol->getText() + "' ";
    detail += msg;
    text += Zarn::quotedBytes(detail, false, detailLimit);
    messages.push_back(std::move(text));
}

void replaceErrorListeners(antlr4::Recognizer& recognizer, antlr4::ANTLRErrorListener& listener)
{
    recognizer.removeErrorListeners();
    recognizer.addErrorListener(&listener);
}
