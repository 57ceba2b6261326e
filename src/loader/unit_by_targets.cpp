#include "loader/unit_by_targets.h"

#include <utility>
#include <vector>

#include "loader/quick_lexer.h"
#include "loader/visit_result.h"
#include "loader/zarn_visitor_impl.h"
#include "parser/ZarnTopParser.h"

namespace Zarn {

namespace {

using Tokens = std::vector<std::unique_ptr<antlr4::Token>>;

// The tokens of one target: from its name up to the brace that closes its
// block. False at a lexical problem, at the end of the text before the
// block closes, or past the nesting limit.
bool collectTarget(QuickLexer& lexer, std::unique_ptr<antlr4::Token> first, Tokens& tokens)
{
    tokens.clear();
    tokens.push_back(std::move(first));
    std::size_t depth = 0;
    bool opened = false;
    std::unique_ptr<antlr4::Token> token;
    while (!opened || depth > 0) {
        if (!lexer.next(token) || token->getType() == antlr4::Token::EOF)
            return false;
        const std::size_t type = token->getType();
        if (type == CommonLexer::LBRACE || type == CommonLexer::LSQUARE) {
            opened = opened || type == CommonLexer::LBRACE;
            if (++depth > maxNestingDepth)
                return false;
        } else if ((type == CommonLexer::RBRACE || type == CommonLexer::RSQUARE) && depth > 0) {
            --depth;
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

class Reader {
public:
    Reader(InputText& input, const std::filesystem::path& baseDirectory)
        : lexer(&input), quick(input, lexer), parser(nullptr), visitor(baseDirectory, SourceKind::Unit)
    {
        parser.removeErrorListeners();
        parser.setErrorHandler(std::make_shared<antlr4::BailErrorStrategy>());
    }

    std::unique_ptr<Unit> read()
    {
        auto unit = std::make_unique<Unit>();
        std::unique_ptr<antlr4::Token> token;
        if (!quick.next(token))
            return nullptr;
        if (token->getType() == CommonLexer::UNIT_STR) {
            if (!quick.next(token) || token->getType() != CommonLexer::IDENTIFIER)
                return nullptr;
            visitor.unitName = token->getText();
            unit->name = visitor.unitName;
            if (!quick.next(token))
                return nullptr;
        }
        // Visited first, filed afterwards in order: a repeated name then
        // fails as it does after the whole file's parse.
        std::vector<Target> targets;
        Tokens tokens;
        while (token->getType() != antlr4::Token::EOF) {
            if (token->getType() != CommonLexer::IDENTIFIER || !collectTarget(quick, std::move(token), tokens))
                return nullptr;
            std::unique_ptr<Target> target = parseTarget(std::move(tokens));
            if (!target)
                return nullptr;
            targets.push_back(std::move(*target));
            tokens = Tokens();
            if (!quick.next(token))
                return nullptr;
        }
        for (Target& target : targets)
            unit->addTarget(std::move(target));
        return unit;
    }

private:
    std::unique_ptr<Target> parseTarget(Tokens tokens)
    {
        antlr4::ListTokenSource source(std::move(tokens));
        antlr4::CommonTokenStream stream(&source);
        parser.setTokenStream(&stream);
        std::unique_ptr<Target> target;
        try {
            ZarnTopParser::TargetContext* tree = parser.target();
            if (stream.LA(1) == antlr4::Token::EOF)
                target = takeOwned<Target>(visitor.visitTarget(tree));
        } catch (...) {
            // A syntax error, or one the visit finds: the ordinary load
            // reports it in its own order.
        }
        parser.setTokenStream(nullptr);
        return target;
    }

    CommonLexer lexer;
    QuickLexer quick;
    ZarnTopParser parser;
    ZarnVisitorImpl visitor;
};

}  // namespace

std::unique_ptr<Unit> readUnitByTargets(InputText& input, const std::filesystem::path& baseDirectory)
{
    std::unique_ptr<Unit> unit = Reader(input, baseDirectory).read();
    if (!unit)
        input.seek(0);
    return unit;
}

}  // namespace Zarn
