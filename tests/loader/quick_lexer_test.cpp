#include "loader/quick_lexer.h"

#include <gtest/gtest.h>

#include "test_support.h"

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "loader/input_text.h"
#include "loader/syntax_errors.h"

namespace {

// Every field of every token, as the runtime prints it, plus the channel.
std::vector<std::string> describe(const std::vector<std::unique_ptr<antlr4::Token>>& tokens)
{
    std::vector<std::string> out;
    for (const auto& token : tokens)
        out.push_back(token->toString() + " ch" + std::to_string(token->getChannel()) + " " +
                      std::to_string(token->getStartIndex()) + "-" + std::to_string(token->getStopIndex()));
    return out;
}

struct Lexed {
    bool quick = false;
    std::vector<std::string> quickTokens;
    std::vector<std::string> grammarTokens;
    int grammarErrors = 0;
};

Lexed lexBoth(const std::string& text)
{
    Lexed result;
    // Decoded here, so the quick lexer gives its tokens their texts.
    Zarn::InputText input;
    Zarn::loadInputText(input, text, "t");
    {
        CommonLexer lexer(&input);
        std::vector<std::unique_ptr<antlr4::Token>> tokens;
        result.quick = Zarn::lexQuickly(input, lexer, tokens);
        if (result.quick)
            result.quickTokens = describe(tokens);
        else
            EXPECT_EQ(input.index(), 0u) << "the input goes back to its start";
    }
    input.seek(0);
    CommonLexer lexer(&input);
    ZarnErrorCounter counter("t", true);
    replaceErrorListeners(lexer, counter);
    std::vector<std::unique_ptr<antlr4::Token>> tokens;
    do
        tokens.push_back(lexer.nextToken());
    while (tokens.back()->getType() != antlr4::Token::EOF);
    result.grammarTokens = describe(tokens);
    result.grammarErrors = counter.errors;
    return result;
}

}  // namespace

TEST(QuickLexer, GivesTheGrammarLexersTokens)
{
    const char* const texts[] = {
        "",
        "  \n\t\r\n ",
        "unit u\n\nt: dep {\n  a = \"x\"\n  ^o = P\"(out/o.txt)\"\n  l = [1, R\"(r)\", y.z]\n}\n",
        "unit units unit2 Unit unitx if import profiles projects tools name names tools_x",
        "a::b a: :b x=>y x= >y x<=1 a+>b a+=b a+b !a a!=b a?=b",
        "my-lib -5 1abc 007 -0 a-1",
        "\"multi\nline \\\\ string\" \"\" \"// not /* a comment\"",
        "R\"(a\"b(c)\" R\"()\" P\"(x))\" R\"(a)b)\" R\"(a))x)\"",
        "R\"x\" P\"short\" r\"(no)\" RR\"(x)\"",
        "a // comment\nb /* block\n comment */ c /**/ d //",
        "t(a, b): @m(x, .) +d => al +e +> m { if a == 1 { b = 2 } if c }",
        "a = \"\xF0\x9F\x98\x80\" b",
        "; , . @ ^ / > < ( ) [ ] { }",
    };
    for (const char* text : texts) {
        const Lexed lexed = lexBoth(text);
        EXPECT_TRUE(lexed.quick) << text;
        EXPECT_EQ(lexed.grammarErrors, 0) << text;
        EXPECT_EQ(lexed.quickTokens, lexed.grammarTokens) << text;
    }
}

// A raw or path string ends at the first ")" and double quote, also right
// after another ")"; what follows is lexed on its own.
TEST(QuickLexer, RawAndPathStringsEndAtTheFirstCloserInBothLexers)
{
    const struct { const char* text; std::vector<std::string> tokens; } cases[] = {
        {"R\"(ab))\"", {"RAW_STRING R\"(ab))\""}},
        {"R\"(a)))\"", {"RAW_STRING R\"(a)))\""}},
        {"R\"())\"", {"RAW_STRING R\"())\""}},
        {"R\"(a))\" , \")\"", {"RAW_STRING R\"(a))\"", "COMMA ,", "STRING \")\""}},
        {"P\"(out(1))\" R\"(x)\"", {"PATH_STRING P\"(out(1))\"", "RAW_STRING R\"(x)\""}},
        {"c = R\"(echo $(echo hi))\"\nnote = R\"(unused)\"",
         {"IDENTIFIER c", "EQUALS =", "RAW_STRING R\"(echo $(echo hi))\"", "IDENTIFIER note", "EQUALS =",
          "RAW_STRING R\"(unused)\""}},
        {"R\"(a)b)c)\"", {"RAW_STRING R\"(a)b)c)\""}},
        {"R\"(a)\"\"b\" R\"(c)\"", {"RAW_STRING R\"(a)\"", "STRING \"b\"", "RAW_STRING R\"(c)\""}},
        {"R\"(x \"y\" (z)\nw)\"", {"RAW_STRING R\"(x \"y\" (z)\nw)\""}},
    };
    for (const auto& c : cases) {
        Zarn::InputText input;
        Zarn::loadInputText(input, c.text, "t");
        CommonLexer lexer(&input);
        std::vector<std::unique_ptr<antlr4::Token>> tokens;
        ASSERT_TRUE(Zarn::lexQuickly(input, lexer, tokens)) << c.text;
        std::vector<std::string> got;
        for (const auto& token : tokens)
            if (token->getType() != antlr4::Token::EOF)
                got.push_back(std::string(lexer.getVocabulary().getSymbolicName(token->getType())) + " " +
                              token->getText());
        EXPECT_EQ(got, c.tokens) << c.text;
        const Lexed lexed = lexBoth(c.text);
        EXPECT_EQ(lexed.grammarErrors, 0) << c.text;
        EXPECT_EQ(lexed.quickTokens, lexed.grammarTokens) << c.text;
    }
}

TEST(QuickLexer, LeavesErrorsAndShorterFallbacksToTheGrammarLexer)
{
    const std::string texts[] = {
        "a = $x", "#", "&", "*", "`", "'", "- 5", "-x", "a ? b", "\"open", "R\"(open", "P\"(open )",
        "/* open", "caf\xC3\xA9 = 1",
    };
    for (const std::string& text : texts)
        EXPECT_FALSE(lexBoth(text).quick) << text;
}

TEST(QuickLexer, AgreesWithTheGrammarLexerOnRandomTexts)
{
    const std::size_t count = TestSupport::fuzzIterations(3000);
    std::mt19937 random(314159);
    auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::string pieces[] = {"{", "}", "[", "]", "(", ")", "\"", "=", ":", ",", ".", "@", "+", "^", "!", "/",
                                  "*", "-", "?", ">", "<", ";", " ", "\n", "\r", "\t", "a", "Z9", "_x-",
                                  "R", "P", "R\"(", "P\"(", ")\"", "1", "unit", "units", "name", "//", "/*",
                                  "*/", "\xC3\xA9", "$"};
    std::size_t quick = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::string text;
        for (std::size_t k = below(30); k > 0; --k)
            text += pieces[below(std::size(pieces))];
        const Lexed lexed = lexBoth(text);
        if (!lexed.quick)
            continue;
        ++quick;
        ASSERT_EQ(lexed.grammarErrors, 0) << text;
        ASSERT_EQ(lexed.quickTokens, lexed.grammarTokens) << text;
    }
    // Enough of the texts lex without trouble to test the comparison.
    EXPECT_GT(quick, count / 20) << quick;
}
