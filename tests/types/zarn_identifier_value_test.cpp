#include "types_test_support.h"

using namespace TypesTestSupport;

TEST(ZarnIdentifierTest, PrintsItselfEqualsEverythingAndCannotBeCombined)
{
    auto value = idValue("a.b[1][2..3][c.d]");
    // The text form keeps the ".." of references; the literal is what the
    // language reads back.
    EXPECT_EQ(value->toString(), "a.b[1][2..3][c.d]");
    EXPECT_EQ(value->toLiteral(), "a.b[1][2:3][c.d]");
    for (const ZarnValuePtr& other : {num(7), str("y"), ZarnValuePtr(list({})), idValue("z")}) {
        EXPECT_TRUE(value->equals(*other) && !value->notEquals(*other));
        EXPECT_FALSE(value->greaterThan(*other) || value->lessThan(*other));
    }
    auto x = idValue("x");
    EXPECT_EQ(errorOf([&] { x->add(*num(1)); }), "x is not resolved yet and '1' cannot be added.");
    EXPECT_EQ(errorOf([&] { x->append(*str("s")); }), "x is not resolved yet and '\"s\"' cannot be appended to it.");
    EXPECT_THROW(x->append(*num(1)), BadOperation);
}

TEST(ZarnIdentifierTest, WalkIsEmptyAndIndexingIsAnOrderlyError)
{
    auto value = idValue("x");
    EXPECT_NE(value->begin(), nullptr);
    EXPECT_TRUE(walk(value).empty());
    EXPECT_EQ(errorOf([&] { value->get(int64_t{0}); }), "Variable x cannot be indexed with [0]");
}

TEST(ZarnIdentifierTest, ResolvesThroughItsResolverAndFailsWithoutOne)
{
    auto context = contextWith({set("x", str("${y}")), set("y", str("why"))});
    auto value = idValue("x");
    auto& resolvable = dynamic_cast<Resolvable&>(*value);
    EXPECT_EQ(errorOf([&] { resolvable.resolve(); }), "Assignment 'x' not found.");
    resolvable.setResolver(context.get());
    EXPECT_EQ(resolvable.resolve()->toString(), "why");
}
