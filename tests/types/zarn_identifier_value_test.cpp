#include <gtest/gtest.h>

#include "types/value_test_support.h"

using namespace Zarn;
using namespace ValueTestSupport;

namespace {

TEST(ZarnIdentifierTest, PrintsSegmentsAndIndexes)
{
    auto value = identifierValue("a.b[1][2..3][c.d]");
    EXPECT_EQ(value->toString(), "a.b[1][2..3][c.d]");
    EXPECT_EQ(value->toLiteral(), "a.b[1][2..3][c.d]");
    EXPECT_EQ(value->clone()->toString(), "a.b[1][2..3][c.d]");
    EXPECT_EQ(identifierText(Identifier{}), "");
}

TEST(ZarnIdentifierTest, EqualsEverythingAndOrdersNothing)
{
    auto value = identifierValue("x");
    for (const ZarnValuePtr& other : std::vector<ZarnValuePtr>{number(7), makeString("y"), listOf({}), identifierValue("z")}) {
        EXPECT_TRUE(value->equals(*other));
        EXPECT_FALSE(value->notEquals(*other));
        EXPECT_FALSE(value->greaterThan(*other));
        EXPECT_FALSE(value->lessThan(*other));
    }
}

TEST(ZarnIdentifierTest, CannotBeCombined)
{
    auto value = identifierValue("x");
    EXPECT_EQ(zarnErrorOf([&] { value->add(*number(1)); }), "x is not resolved yet and '1' cannot be added.");
    EXPECT_EQ(zarnErrorOf([&] { value->append(*makeString("s")); }),
              "x is not resolved yet and '\"s\"' cannot be appended to it.");
    EXPECT_THROW(value->append(*number(1)), BadOperation);
}

TEST(ZarnIdentifierTest, WalkIsEmptyAndIndexingIsAnOrderlyError)
{
    auto value = identifierValue("x");
    EXPECT_TRUE(walkTexts(value).empty());
    EXPECT_NE(value->begin(), nullptr);
    EXPECT_EQ(zarnErrorOf([&] { value->get(int64_t{0}); }), "Variable x cannot be indexed with [0]");
}

TEST(ZarnIdentifierTest, ResolvesThroughItsResolver)
{
    auto context = contextWith({{"x", makeString("${y}")}, {"y", makeString("why")}});
    auto value = identifierValue("x");
    dynamic_cast<Resolvable&>(*value).setResolver(context.get());
    EXPECT_EQ(dynamic_cast<Resolvable&>(*value).resolve()->toString(), "why");
}

TEST(ZarnIdentifierTest, ResolvingWithoutResolverIsAFailedLookup)
{
    auto value = identifierValue("x");
    EXPECT_EQ(zarnErrorOf([&] { dynamic_cast<Resolvable&>(*value).resolve(); }), "Assignment 'x' not found.");
}

}  // namespace
