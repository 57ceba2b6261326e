#include "short_path_literals.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct RewriteCase {
    const char* input;
    const char* expected;
};

class ShortPathRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(ShortPathRewrite, MatchesLexerTokens)
{
    EXPECT_EQ(Zarn::rewriteShortPathLiterals(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShortPathRewrite,
    ::testing::Values(
        // the short form at a token start is rewritten
        RewriteCase{R"~(out = P"/t/p/out.txt")~", R"~(out = P"(/t/p/out.txt)")~"},
        RewriteCase{R"~(x = [ P"a", P"b c" ])~", R"~(x = [ P"(a)", P"(b c)" ])~"},
        // the long form is left alone, also with quotes and parentheses inside
        RewriteCase{R"~(x = P"(a)")~", R"~(x = P"(a)")~"},
        RewriteCase{R"~(x = P"(say "P"hi" (now) ok)")~", R"~(x = P"(say "P"hi" (now) ok)")~"},
        // a P" inside a string is no token start
        RewriteCase{R"~(DEFS = [ "USE_HTTP", "x" ])~", R"~(DEFS = [ "USE_HTTP", "x" ])~"},
        // a P" inside a raw string is no token start
        RewriteCase{R"~(c = R"(a P"b" c)")~", R"~(c = R"(a P"b" c)")~"},
        // a P at the end of an identifier starts nothing
        RewriteCase{R"~(x = AP"a")~", R"~(x = AP"a")~"},
        // after a number the P starts a token of its own
        RewriteCase{R"~(x = 1P"a")~", R"~(x = 1P"(a)")~"},
        // text with a line break stays; any run of ")" at the end takes the
        // long form, which ends at the first )"
        RewriteCase{"x = P\"a\nb\"", "x = P\"a\nb\""},
        RewriteCase{R"~(x = P"a)")~", R"~(x = P"(a))")~"},
        RewriteCase{R"~(x = P"a))")~", R"~(x = P"(a)))")~"},
        // comments are copied, quotes in them start no string
        RewriteCase{"// it's \"odd\nx = P\"a\"", "// it's \"odd\nx = P\"(a)\""},
        // unclosed literals end like the lexer ends them
        RewriteCase{R"~(x = P"(abc")~", R"~(x = P"(abc")~"},
        RewriteCase{R"~(x = "abc P"d")~", R"~(x = "abc P"d")~"},
        // R before a plain string is an identifier and a string
        RewriteCase{R"~(x = R"a" P"b")~", R"~(x = R"a" P"(b)")~"},
        RewriteCase{"", ""}));

// A raw literal closes at its first )", also right after another ")".
TEST(ShortPathRewrite, RawContentClosesAtTheFirstCloser)
{
    // content a)) closes where written; the P after it is a token start
    EXPECT_EQ(Zarn::rewriteShortPathLiterals(R"~(R"(a)))" P"x")~"), R"~(R"(a)))" P"(x)")~");
    // so does content a), and the P"x" after it is rewritten too
    EXPECT_EQ(Zarn::rewriteShortPathLiterals(R"~(R"(a))" P"x")")~"), R"~(R"(a))" P"(x)")")~");
}

}  // namespace
