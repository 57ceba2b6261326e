// Token sequences of the lexer: longest match, first rule on ties, reserved
// keywords, non-greedy raw strings and error recovery.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/parse_run.h"

namespace {

using Names = std::vector<std::string>;

struct LexCase {
    const char* text;
    Names tokens;  // symbolic names, EOF included
    Names errors;  // "line:column message" of each recognition error
};

class LexerTable : public ::testing::TestWithParam<LexCase> { };

TEST_P(LexerTable, GivesTokensAndErrors)
{
    const LexCase& c = GetParam();
    ParserTest::ParseRun run(c.text);
    EXPECT_EQ(run.tokenNames(), c.tokens);
    EXPECT_EQ(run.lexerErrors.messages, c.errors);
}

const std::string kId = "IDENTIFIER";

INSTANTIATE_TEST_SUITE_P(
    Lexer, LexerTable,
    ::testing::Values(
        LexCase {" \t\r\n// line\n/* block\n over lines */  ", {"EOF"}, {}},
        LexCase {"unit units unit2 Unit if import profiles projects tools name Name names",
                 {"UNIT_STR", "UNITS_STR", kId, kId, "IF_STR", "IMPORT_STR", "PROFILES_STR", "PROJECTS_STR",
                  "TOOLS_STR", "NAME_STR", kId, kId, "EOF"},
                 {}},
        LexCase {"a::b a: :b", {kId, "DCOLON", kId, kId, "COLON", "COLON", kId, "EOF"}, {}},
        LexCase {"x=>y x= >y", {kId, "ALIAS", kId, kId, "EQUALS", "GREATER", kId, "EOF"}, {}},
        LexCase {"x<=1 x>=1", {kId, "LESSER", "EQUALS", "NUMBER", kId, "GREATER", "EQUALS", "NUMBER", "EOF"}, {}},
        LexCase {"a+>b a+=b a+b", {kId, "MERGE_ALIAS", kId, kId, "APPEND", kId, kId, "PLUS", kId, "EOF"}, {}},
        LexCase {"!a != b ?= c !=d", {"MUST", kId, "NEQUALS", kId, "ASSIGNEMPTY", kId, "NEQUALS", kId, "EOF"}, {}},
        LexCase {"{}()[]@^/,.;",
                 {"LBRACE", "RBRACE", "LBRACKET", "RBRACKET", "LSQUARE", "RSQUARE", "AT", "UP", "SLASH", "COMMA", "DOT",
                  "SEMICOLON", "EOF"},
                 {}},
        LexCase {"my-lib -5 a -5 1abc _x9", {kId, "NUMBER", kId, "NUMBER", "NUMBER", kId, kId, "EOF"}, {}},
        LexCase {"a//b\nc \"a//b /* c */\" \"a\\b\nc\"", {kId, kId, "STRING", "STRING", "EOF"}, {}},
        LexCase {"R\"(a))\"", {kId, "STRING", "EOF"}, {}},
        LexCase {"R\"(a)))\" R\"()\" R\"(x \"y\" (z)\nw)\" P\"(x)\"",
                 {"RAW_STRING", "RAW_STRING", "RAW_STRING", "PATH_STRING", "EOF"},
                 {}},
        LexCase {"P\"x\" r\"x\" p\"(x)\"", {kId, "STRING", kId, "STRING", kId, "STRING", "EOF"}, {}},
        // Failures: the failed text is dropped and lexing goes on.
        LexCase {"- 5", {"NUMBER", "EOF"}, {"1:0 token recognition error at: '- '"}},
        LexCase {"-x", {"EOF"}, {"1:0 token recognition error at: '-x'"}},
        LexCase {"a\n  $ b", {kId, kId, "EOF"}, {"2:2 token recognition error at: '$'"}},
        LexCase {"\"abc\n def", {"EOF"}, {"1:0 token recognition error at: '\"abc\\n def'"}},
        LexCase {"/* abc", {"SLASH", kId, "EOF"}, {"1:1 token recognition error at: '*'"}},
        LexCase {"R\"(open", {kId, "EOF"}, {"1:1 token recognition error at: '\"(open'"}},
        LexCase {"#`", {"EOF"}, {"1:0 token recognition error at: '#'", "1:1 token recognition error at: '`'"}}));

}  // namespace
