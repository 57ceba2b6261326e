// A text lexed once, before the parse: the nesting limit is checked on the
// way, and the parser then reads the tokens from here instead of lexing.
#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "antlr4-runtime.h"
#include "loader/syntax_errors.h"
#include "parser/CommonLexer.h"

namespace Zarn {

class LexedText final : public antlr4::TokenSource {
public:
    // Lexes all of the input, with the quick lexer where it can and the
    // grammar's lexer where it gives up. Blocks and lists nested deeper than
    // maxNestingDepth throw ZarnException "Unable to read <sourceName>:
    // blocks and lists are nested deeper than 256 levels." before anything
    // is reported.
    LexedText(antlr4::CharStream* input, const std::string& sourceName);
    LexedText(const LexedText&) = delete;
    LexedText& operator=(const LexedText&) = delete;

    // The lexer that made the tokens; it quotes what it cannot read short and
    // printable (QuotingLexer). Its error listeners (the runtime's
    // console listener unless replaced) receive its error reports, each
    // when the parser reaches the token that followed it, as if the parser
    // were driving the lexer itself.
    CommonLexer& lexer() { return textLexer; }
    // True when the lexer reported errors, handed on or not yet.
    bool hasReports() const { return !reports.empty(); }

    std::unique_ptr<antlr4::Token> nextToken() override;
    size_t getLine() const override { return textLexer.getLine(); }
    size_t getCharPositionInLine() override { return textLexer.getCharPositionInLine(); }
    antlr4::CharStream* getInputStream() override { return textLexer.getInputStream(); }
    std::string getSourceName() override { return textLexer.getSourceName(); }
    antlr4::TokenFactory<antlr4::CommonToken>* getTokenFactory() override { return textLexer.getTokenFactory(); }

private:
    // One error report of the lexer, made before token `before` was made.
    struct Report {
        std::size_t before;
        std::size_t line;
        std::size_t column;
        std::string message;
        std::exception_ptr error;
    };

    class Recorder : public antlr4::BaseErrorListener {
    public:
        explicit Recorder(LexedText& owner) : owner(owner) {}
        void syntaxError(antlr4::Recognizer* recognizer, antlr4::Token* offendingSymbol, size_t line,
                         size_t charPositionInLine, const std::string& msg, std::exception_ptr e) override;

    private:
        LexedText& owner;
    };

    QuotingLexer textLexer;
    std::vector<std::unique_ptr<antlr4::Token>> tokens;  // the last one is EOF
    std::vector<Report> reports;
    std::size_t nextTokenIndex = 0;
    std::size_t nextReport = 0;
};

}  // namespace Zarn
