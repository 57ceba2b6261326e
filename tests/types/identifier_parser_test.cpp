#include "types/identifier_parser.h"

#include <gtest/gtest.h>

#include <string>

using namespace Zarn;

namespace {

Identifier parseOk(const std::string& text)
{
    Identifier id;
    ParseError error;
    EXPECT_TRUE(parseIdentifier(text, id, error)) << text << ": " << error.message << " at " << error.position;
    return id;
}

}  // namespace

TEST(IdentifierParser, PlainSegments)
{
    Identifier ab = parseOk("a.b");
    ASSERT_EQ(ab.segments.size(), 2u);
    EXPECT_EQ(ab.segments[0].name, "a");
    EXPECT_EQ(ab.segments[1].name, "b");
    EXPECT_TRUE(ab.segments[0].indexes.empty());
    EXPECT_TRUE(ab.segments[1].indexes.empty());

    for (const char* text : {"a_1", "_x", "Ab9_"}) {
        Identifier id = parseOk(text);
        ASSERT_EQ(id.segments.size(), 1u) << text;
        EXPECT_EQ(id.segments[0].name, text);
    }
}

TEST(IdentifierParser, StopsQuietlyAtFirstByteThatIsNotADot)
{
    for (const char* text : {"a b", "a-b", "a}x"}) {
        Identifier id = parseOk(text);
        ASSERT_EQ(id.segments.size(), 1u) << text;
        EXPECT_EQ(id.segments[0].name, "a") << text;
    }
}

TEST(IdentifierParser, Indexes)
{
    Identifier number = parseOk("a[3]");
    ASSERT_EQ(number.segments.size(), 1u);
    ASSERT_EQ(number.segments[0].indexes.size(), 1u);
    EXPECT_EQ(std::get<0>(number.segments[0].indexes[0]), 3u);

    Identifier range = parseOk("a[1..3]");
    ASSERT_EQ(range.segments[0].indexes.size(), 1u);
    auto r = std::get<1>(range.segments[0].indexes[0]);
    EXPECT_EQ(r.first, 1u);
    EXPECT_EQ(r.second, 3u);

    Identifier nested = parseOk("a[b.c][2].d");
    ASSERT_EQ(nested.segments.size(), 2u);
    const auto& indexes = nested.segments[0].indexes;
    ASSERT_EQ(indexes.size(), 2u);
    const auto& inner = std::get<2>(indexes[0]);
    ASSERT_TRUE(inner);
    ASSERT_EQ(inner->segments.size(), 2u);
    EXPECT_EQ(inner->segments[0].name, "b");
    EXPECT_EQ(inner->segments[1].name, "c");
    EXPECT_EQ(std::get<0>(indexes[1]), 2u);
    EXPECT_EQ(nested.segments[1].name, "d");
}

TEST(IdentifierParser, NumbersWrapModulo64Bits)
{
    Identifier id = parseOk("a[18446744073709551617]");  // 2^64 + 1
    EXPECT_EQ(std::get<0>(id.segments[0].indexes[0]), 1u);
}

TEST(IdentifierParser, ErrorsWithPositions)
{
    struct Case {
        const char* text;
        const char* message;
        uint64_t position;
    };
    const Case cases[] = {
        {"", "Empty identifier", 0},
        {"1a", "Invalid identifier start", 0},
        {"a.", "Expected identifier segment after '.'", 2},
        {"a.1", "Invalid identifier start", 2},
        {"a[", "Unexpected end inside '[]'", 2},
        {"a[3", "Expected ']'", 3},
        {"a[3x]", "Expected ']'", 3},
        {"a[1..]", "Expected number", 5},
        {"a[1.2]", "Expected ']'", 3},
        {"a[-1]", "Invalid index expression inside '[]'", 2},
        {"a[b.]", "Expected identifier segment after '.'", 4},
        {"a[b", "Expected ']'", 3},
    };
    for (const Case& c : cases) {
        Identifier id;
        ParseError error;
        EXPECT_FALSE(parseIdentifier(c.text, id, error)) << c.text;
        EXPECT_EQ(error.message, c.message) << c.text;
        EXPECT_EQ(error.position, c.position) << c.text;
    }
}

TEST(IdentifierParser, SegmentAtEndOfText)
{
    IdentifierParserState state;
    state.text = "a";
    state.position = 1;
    ParseError error;
    state.error = &error;
    Identifier::Segment segment;
    EXPECT_FALSE(parseSegment(state, segment));
    EXPECT_EQ(error.message, "Unexpected end while parsing name");
    EXPECT_EQ(error.position, 1u);
}

TEST(IdentifierParser, StateWithoutErrorRecordStillFails)
{
    IdentifierParserState state;
    state.text = "a[";
    Identifier id;
    EXPECT_FALSE(parseSegments(state, id, '\0'));
}

TEST(IdentifierParser, CallerCanCheckWholeTextWasConsumed)
{
    IdentifierParserState state;
    state.text = "a.b c";
    Identifier id;
    ASSERT_TRUE(parseSegments(state, id, '\0'));
    EXPECT_EQ(state.position, 3u);
}

namespace {

std::string nestedText(unsigned levels)
{
    std::string text = "a";
    for (unsigned i = 0; i < levels; ++i)
        text += "[a";
    return text + std::string(levels, ']');
}

}  // namespace

TEST(IdentifierParser, NestingDepthIsLimited)
{
    Identifier deep = parseOk("a[b[c[d]]]");
    const Identifier* level = &deep;
    for (const char* name : {"a", "b", "c"}) {
        ASSERT_EQ(level->segments[0].name, name);
        level = std::get<2>(level->segments[0].indexes[0]).get();
    }
    EXPECT_EQ(level->segments[0].name, "d");

    parseOk(nestedText(maxIdentifierNesting));

    Identifier id;
    ParseError error;
    EXPECT_FALSE(parseIdentifier(nestedText(maxIdentifierNesting + 1), id, error));
    EXPECT_EQ(error.message, "Identifier nested too deeply");

    // Far deeper than any stack could take without the limit.
    EXPECT_FALSE(parseIdentifier(nestedText(1000000), id, error));
}
