#include "types/identifier_parser.h"

#include <string>

#include "test_support.h"

using namespace Zarn;
using TestSupport::ident;

TEST(IdentifierParser, ParsesSegmentsAndIndexesUpToTheFirstForeignByte)
{
    const struct { const char *text, *parsed; } cases[] = {
        {"a.b", "a.b"}, {"Ab9_._x", "Ab9_._x"}, {"a[1..3]", "a[1..3]"},
        {"a[b[c[d]]]", "a[b[c[d]]]"}, {"a-b", "a"},
        {"a[18446744073709551617]", "a[1]"},  // numbers wrap modulo 2^64
    };
    for (const auto& c : cases)
        EXPECT_EQ(identifierText(ident(c.text)), c.parsed) << c.text;
}

TEST(IdentifierParser, ErrorsWithPositions)
{
    const struct { const char* text; const char* message; uint64_t position; } cases[] = {
        {"", "Empty identifier", 0},
        {"1a", "Invalid identifier start", 0},
        {"a.", "Expected identifier segment after '.'", 2},
        {"a[", "Unexpected end inside '[]'", 2},
        {"a[3", "Expected ']'", 3},
        {"a[1..]", "Expected number", 5},
        {"a[-1]", "Invalid index expression inside '[]'", 2},
    };
    for (const auto& c : cases) {
        Identifier id;
        ParseError error;
        EXPECT_FALSE(parseIdentifier(c.text, id, error)) << c.text;
        EXPECT_EQ(error.message, c.message) << c.text;
        EXPECT_EQ(error.position, c.position) << c.text;
    }
}

TEST(IdentifierParser, NestingDepthIsLimited)
{
    auto valid = [](unsigned levels) {
        std::string text = "a";
        for (unsigned i = 0; i < levels; ++i)
            text += "[a";
        return text + std::string(levels, ']');
    };
    Identifier id;
    ParseError error;
    EXPECT_TRUE(parseIdentifier(valid(maxIdentifierNesting), id, error)) << error.message;
    EXPECT_FALSE(parseIdentifier(valid(maxIdentifierNesting + 1), id, error));
    EXPECT_EQ(error.message, "Identifier nested too deeply");
    // Far deeper than any stack could take without the limit.
    EXPECT_FALSE(parseIdentifier(valid(1000000), id, error));
}
