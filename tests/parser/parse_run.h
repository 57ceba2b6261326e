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

// Keeps "line:column message" per reported error.
class ErrorCollector : public antlr4::BaseErrorListener {
public:
    std::vector<std::string> messages;

    void syntaxError(antlr4::Recognizer*, antlr4::Token*, size_t line, size_t column, const std::string& msg,
                     std::exception_ptr) override
    {
        messages.push_back(std::to_string(line) + ":" + std::to_string(column) + " " + msg);
    }
};

// Owns the whole pipeline, so trees and tokens stay valid while it lives.
struct ParseRun {
    explicit ParseRun(const std::string& text)
        : input(text)
        , lexer(&input)
        , tokens(&lexer)
        , parser(&tokens)
    {
        lexer.removeErrorListeners();
        lexer.addErrorListener(&lexerErrors);
        parser.removeErrorListeners();
        parser.addErrorListener(&parserErrors);
    }

    // Symbolic names of all tokens, EOF included.
    std::vector<std::string> tokenNames()
    {
        tokens.fill();
        std::vector<std::string> names;
        for (antlr4::Token* token : tokens.getTokens())
            names.push_back(lexer.getVocabulary().getSymbolicName(token->getType()));
        return names;
    }

    // The tree of a parse as a LISP-style text of rule names and token texts.
    std::string tree(StartRule rule)
    {
        antlr4::ParserRuleContext* root = nullptr;
        switch (rule) {
        case StartRule::Registry: root = parser.registryFile(); break;
        case StartRule::Unit: root = parser.unitFile(); break;
        case StartRule::Project: root = parser.projFile(); break;
        case StartRule::Assignment: root = parser.assignment(); break;
        }
        return root->toStringTree(&parser);
    }

    ErrorCollector lexerErrors;
    ErrorCollector parserErrors;
    antlr4::ANTLRInputStream input;
    CommonLexer lexer;
    antlr4::CommonTokenStream tokens;
    ZarnTopParser parser;
};

}  // namespace ParserTest
