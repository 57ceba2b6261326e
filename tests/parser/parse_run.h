#pragma once
// One lex and parse of a text, with every lexer and parser error collected
// instead of printed.

#include <string>
#include <vector>

#include "antlr4-runtime.h"
#include "parser/CommonLexer.h"
#include "parser/ZarnTopParser.h"

namespace ParserTest {

enum class StartRule { Registry, Unit, Project, Assignment };

// The name of a start rule as the grammar spells it.
const char* startRuleName(StartRule rule);

// Keeps "line:column message" per reported error.
class ErrorCollector : public antlr4::BaseErrorListener {
public:
    std::vector<std::string> messages;

    void syntaxError(antlr4::Recognizer* recognizer, antlr4::Token* offendingSymbol, size_t line,
                     size_t charPositionInLine, const std::string& msg, std::exception_ptr e) override;
};

// Owns the whole pipeline, so trees and tokens stay valid while it lives.
class ParseRun {
public:
    explicit ParseRun(const std::string& text);

    // Symbolic names of all tokens up to and including EOF.
    std::vector<std::string> tokenNames();
    // Parses with the given start rule; the tree is owned by the parser.
    antlr4::ParserRuleContext* parse(StartRule rule);
    // The tree of a parse as a LISP-style text of rule names and token texts.
    std::string tree(StartRule rule);

    ErrorCollector lexerErrors;
    ErrorCollector parserErrors;
    antlr4::ANTLRInputStream input;
    CommonLexer lexer;
    antlr4::CommonTokenStream tokens;
    ZarnTopParser parser;
};

}  // namespace ParserTest
