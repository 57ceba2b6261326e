#include "parser/parse_run.h"

namespace ParserTest {

const char* startRuleName(StartRule rule)
{
    switch (rule) {
    case StartRule::Registry:
        return "registryFile";
    case StartRule::Unit:
        return "unitFile";
    case StartRule::Project:
        return "projFile";
    case StartRule::Assignment:
        return "assignment";
    }
    return "?";
}

void ErrorCollector::syntaxError(antlr4::Recognizer*, antlr4::Token*, size_t line, size_t charPositionInLine,
                                 const std::string& msg, std::exception_ptr)
{
    messages.push_back(std::to_string(line) + ":" + std::to_string(charPositionInLine) + " " + msg);
}

ParseRun::ParseRun(const std::string& text)
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

std::vector<std::string> ParseRun::tokenNames()
{
    tokens.fill();
    std::vector<std::string> names;
    const antlr4::dfa::Vocabulary& vocabulary = lexer.getVocabulary();
    for (antlr4::Token* token : tokens.getTokens()) {
        if (token->getType() == antlr4::Token::EOF)
            names.push_back("EOF");
        else
            names.push_back(vocabulary.getSymbolicName(token->getType()));
    }
    return names;
}

antlr4::ParserRuleContext* ParseRun::parse(StartRule rule)
{
    switch (rule) {
    case StartRule::Registry:
        return parser.registryFile();
    case StartRule::Unit:
        return parser.unitFile();
    case StartRule::Project:
        return parser.projFile();
    case StartRule::Assignment:
        return parser.assignment();
    }
    return nullptr;
}

std::string ParseRun::tree(StartRule rule)
{
    return parse(rule)->toStringTree(&parser);
}

}  // namespace ParserTest
