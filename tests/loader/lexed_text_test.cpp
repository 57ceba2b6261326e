#include "loader/lexed_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "loader/input_text.h"
#include "loader/syntax_errors.h"
#include "test_support.h"
#include "parser/ZarnTopParser.h"

using TestSupport::messageOf;

namespace {

// Every report of lexer and parser, in the order they arrive.
class EventLog : public antlr4::BaseErrorListener {
public:
    void syntaxError(antlr4::Recognizer* recognizer, antlr4::Token* offendingSymbol, size_t line,
                     size_t charPositionInLine, const std::string& msg, std::exception_ptr) override
    {
        const bool fromLexer = dynamic_cast<antlr4::Lexer*>(recognizer) != nullptr;
        events.push_back(std::string(fromLexer ? "lexer " : "parser ") + std::to_string(line) + ":" +
                         std::to_string(charPositionInLine) + " " +
                         (offendingSymbol ? "'" + offendingSymbol->getText() + "' " : "") + msg);
    }

    std::vector<std::string> events;
};

// The tree and every report of a unit-file parse, with the parser reading
// either straight from the lexer (quoting as LexedText's does) or from the
// text lexed beforehand.
std::vector<std::string> parseEvents(const std::string& text, bool lexedFirst)
{
    antlr4::ANTLRInputStream input;
    Zarn::loadInputText(input, text, "t");
    EventLog log;
    std::unique_ptr<CommonLexer> direct;
    std::unique_ptr<Zarn::LexedText> lexed;
    antlr4::TokenSource* source;
    if (lexedFirst) {
        lexed = std::make_unique<Zarn::LexedText>(&input, "t");
        replaceErrorListeners(lexed->lexer(), log);
        source = lexed.get();
    } else {
        direct = std::make_unique<QuotingLexer>(&input);
        replaceErrorListeners(*direct, log);
        source = direct.get();
    }
    antlr4::CommonTokenStream tokens(source);
    ZarnTopParser parser(&tokens);
    replaceErrorListeners(parser, log);
    auto* tree = parser.unitFile();
    log.events.push_back("tree " + tree->toStringTree(&parser));
    for (antlr4::Token* token : tokens.getTokens())
        log.events.push_back("token " + token->toString());
    return log.events;
}

const char* const seeds[] = {
    "unit u\n\nt: dep {\n  a = \"x\"\n  ^o = P\"(out/o.txt)\"\n  l = [1, R\"(r)\", y.z]\n}\n",
    "t: { a = $ b = 1 }",
    "t: { a = \"open\n}",
    "t: { a = 1 } # stray } x: {",
    "t: @m(x, .) +d => al { if a == 1 { b = 2 } }",
    "t: { a = R\"(unclosed } /* c",
    "` ' & t: { - 1 ? }",
    "",
    "/* only a comment */ // and another",
    "a b c d e f g : : { [ ( ) ] }",
};

}  // namespace

// The parser reading tokens lexed beforehand sees the same tokens, builds
// the same tree and receives every report of lexer and parser in the same
// order as when it drives the lexer itself.
TEST(LexedText, ParsesAndReportsAsTheLexerItself)
{
    for (const char* text : seeds)
        EXPECT_EQ(parseEvents(text, true), parseEvents(text, false)) << text;
}

TEST(LexedText, AgreesOnRandomMutationsOfUnitTexts)
{
    const std::size_t count = TestSupport::fuzzIterations(300);
    std::mt19937 random(2718);
    auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::string bytes = "{}[]()\"=:;,.@+^!/*$#`- \naZ1R\"(P\")";
    for (std::size_t i = 0; i < count; ++i) {
        std::string text = seeds[below(std::size(seeds))];
        for (std::size_t edits = 1 + below(4); edits > 0; --edits) {
            const std::size_t at = below(text.size() + 1);
            if (below(2) == 0 || at == text.size())
                text.insert(at, 1, bytes[below(bytes.size())]);
            else
                text.erase(at, 1);
        }
        ASSERT_EQ(parseEvents(text, true), parseEvents(text, false)) << text;
    }
}

TEST(LexedText, RefusesNestingDeeperThanTheLimitBeforeReportingAnything)
{
    const std::size_t limit = Zarn::maxNestingDepth;
    auto lex = [](const std::string& text) {
        antlr4::ANTLRInputStream input;
        Zarn::loadInputText(input, text, "x");
        Zarn::LexedText lexed(&input, "/p/x.txt");
    };
    // Brackets inside strings and comments do not count; closers do.
    lex("\"" + std::string(limit + 1, '{') + "\" /* [[[ */ {{{}}}");
    const std::string deepest = std::string(limit, '[') + std::string(limit, ']');
    lex(deepest + deepest);
    // A stray character first: its report is never made, the nesting wins.
    const std::string tooDeep = "$ a = " + std::string(limit / 2, '[') + std::string(limit / 2 + 1, '{');
    testing::internal::CaptureStderr();
    EXPECT_EQ(TestSupport::messageOf<Zarn::ZarnException>([&] { lex(tooDeep); }),
              "Unable to read /p/x.txt: blocks and lists are nested deeper than 256 levels.");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
