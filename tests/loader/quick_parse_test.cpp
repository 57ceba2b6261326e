#include "loader/quick_parse.h"

#include <gtest/gtest.h>

#include "test_support.h"

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "loader/input_text.h"
#include "loader/syntax_errors.h"

namespace {

// Every report of the parser, in order.
class Reports : public antlr4::BaseErrorListener {
public:
    void syntaxError(antlr4::Recognizer*, antlr4::Token* offendingSymbol, size_t line, size_t column,
                     const std::string& msg, std::exception_ptr) override
    {
        lines.push_back(std::to_string(line) + ":" + std::to_string(column) + " " +
                        (offendingSymbol ? "'" + offendingSymbol->getText() + "' " : "") + msg);
    }

    std::vector<std::string> lines;
};

// The tree, the parser's reports and its error count, parsed quietly first
// or the ordinary way (with the strategy that quotes tokens as the loaders
// do).
std::vector<std::string> parse(const std::string& text, bool quietFirst)
{
    antlr4::ANTLRInputStream input;
    Zarn::loadInputText(input, text, "t");
    Zarn::LexedText lexed(&input, "t");
    Reports lexerReports;
    replaceErrorListeners(lexed.lexer(), lexerReports);
    antlr4::CommonTokenStream tokens(&lexed);
    ZarnTopParser parser(&tokens);
    Reports reports;
    ZarnTopParser::UnitFileContext* tree;
    if (quietFirst) {
        tree = Zarn::parseQuietlyFirst(parser, lexed, reports, &ZarnTopParser::unitFile);
    } else {
        replaceErrorListeners(parser, reports);
        parser.setErrorHandler(std::make_shared<QuotingErrorStrategy>());
        tree = parser.unitFile();
    }
    std::vector<std::string> out = reports.lines;
    out.insert(out.end(), lexerReports.lines.begin(), lexerReports.lines.end());
    out.push_back("errors " + std::to_string(parser.getNumberOfSyntaxErrors()));
    out.push_back(tree->toStringTree(&parser));
    // The parser stays usable the ordinary way afterwards.
    out.push_back(typeid(*parser.getErrorHandler()).name());
    return out;
}

const char* const seeds[] = {
    "unit u\nt(p): a b::c @m(x, .) +d => al {\n  ^a = \"x\"\n  b += [1, R\"(r)\", y.z[2][0:3]]\n"
    "  c ?= { d = P\"(p)\" }\n  e\n  if a { f = 1 } if g = -2 { h = [] }\n}\n",
    "t: { a = 1 }",
    "t: { a = [1, 2,] } u: { = 3 } v { w",
    "unit: : { } t: x( { a = }",
    "t: { a = $x }",
    "",
};

}  // namespace

TEST(QuickParse, GivesTheOrdinaryTreeAndReports)
{
    for (const char* text : seeds)
        EXPECT_EQ(parse(text, true), parse(text, false)) << text;
}

TEST(QuickParse, AgreesOnRandomMutationsOfUnitTexts)
{
    const std::size_t count = TestSupport::fuzzIterations(300);
    std::mt19937 random(4242);
    auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::string bytes = "{}[]()\"=:,.@+^!/- \nax1$";
    std::size_t clean = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::string text = seeds[below(2)];
        for (std::size_t edits = below(3); edits > 0; --edits) {
            const std::size_t at = below(text.size() + 1);
            if (below(2) == 0 || at == text.size())
                text.insert(at, 1, bytes[below(bytes.size())]);
            else
                text.erase(at, 1);
        }
        const std::vector<std::string> quick = parse(text, true);
        ASSERT_EQ(quick, parse(text, false)) << text;
        clean += quick.front() == "errors 0";
    }
    // Both outcomes are tested: clean texts and texts with errors.
    EXPECT_GT(clean, count / 10);
    EXPECT_LT(clean, count - count / 10);
}
