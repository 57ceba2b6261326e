#pragma once
// How lexer and parser errors become visible: what they quote of the file,
// and the listeners that show or collect them.

#include <filesystem>
#include <string>
#include <vector>

#include "antlr4-runtime.h"
#include "parser/CommonLexer.h"

// Error messages quote the file's text (a token, the input that no
// alternative takes, what the lexer cannot read) short and printable, as
// quotedBytes makes it: a file may hold anything, a string left open takes
// in the whole rest of it, and the parser's diagnosis follows the quote.

// The grammar's lexer, quoting what it cannot read that way.
class QuotingLexer : public CommonLexer {
public:
    using CommonLexer::CommonLexer;
    std::string getErrorDisplay(const std::string& text) override;
};

// The parser's ordinary error reports and recovery, quoting tokens and
// input that way.
class QuotingErrorStrategy : public antlr4::DefaultErrorStrategy {
protected:
    std::string escapeWSAndQuote(const std::string& text) const override;
};

// Counts syntax errors; unless quiet, also prints each one to standard error
// as "<name>: line L:C message".
class ZarnErrorCounter : public antlr4::BaseErrorListener {
public:
    ZarnErrorCounter(const char* name, bool quiet)
        : name(name)
        , quiet(quiet)
    {
    }

    void syntaxError(antlr4::Recognizer* recognizer, antlr4::Token* offendingSymbol, size_t line,
                     size_t charPositionInLine, const std::string& msg, std::exception_ptr e) override;

    const char* name;  // what is being parsed; not owned
    bool quiet;
    int errors = 0;
};

// Collects one line per error, "<path>(L,C): '<token>' message", for loaders
// that report the first one as their failure. The token is quoted short and
// printable: these files (the registry, project files) may hold anything;
// the message is taken as it is, from a QuotingLexer or a parser with a
// QuotingErrorStrategy. Despite the name it never throws: the installer
// inspects `messages` after the parse.
class ThrowingErrorListener : public antlr4::BaseErrorListener {
public:
    void syntaxError(antlr4::Recognizer* recognizer, antlr4::Token* offendingSymbol, size_t line,
                     size_t charPositionInLine, const std::string& msg, std::exception_ptr e) override;

    std::vector<std::string> messages;
    std::filesystem::path sourcePath;
};

// Makes `listener` the only error listener of `recognizer`, so the runtime's
// console listener prints nothing.
void replaceErrorListeners(antlr4::Recognizer& recognizer, antlr4::ANTLRErrorListener& listener);
