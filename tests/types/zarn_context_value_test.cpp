#include "types_test_support.h"

using namespace TypesTestSupport;

static std::string variable(const ZarnValuePtr& value, const std::string& name)
{
    return getString(*static_cast<ZarnContext&>(*value).getContext(), name);
}

TEST(ZarnContextValueTest, AppendingAStringDeclaresItAndAContextMergesByOperator)
{
    auto value = block({set("a", str("1"))});
    value->append(*str("x"));
    EXPECT_EQ(value->getContext()->variables.at("X").toString(), "x");  // declared without value
    EXPECT_EQ(errorOf([&] { value->append(*raw("r")); }), "Cannot convert ZarnRawString R\"(r)\" to ZarnContext");
    EXPECT_THROW(value->append(*num(1)), BadConversion);

    auto appended = str("2");
    auto other = contextWith({append("A", appended), set("c", str("3"))});
    value->append(ZarnContext(other));
    EXPECT_EQ(variable(value, "a"), "1 2");
    EXPECT_EQ(variable(value, "c"), "3");
    // The other context's values were not taken over.
    EXPECT_EQ(dynamic_cast<ZarnString&>(*appended).getResolver(), other.get());
    value->append(*value);
    EXPECT_EQ(variable(value, "c"), "3");
}

TEST(ZarnContextValueTest, CloneSharesTheContextEqualityIsIdentityOrderCountsVariables)
{
    auto value = block({set("a", num(1))});
    auto copy = value->clone();
    copy->append(*str("b"));
    EXPECT_EQ(value->toString(), "a b");
    EXPECT_TRUE(value->equals(*copy));
    auto other = block({set("a", num(1))});
    EXPECT_FALSE(value->equals(*other));
    EXPECT_EQ(errorOf([&] { value->equals(*str("a")); }), "Cannot convert ZarnString \"a\" to ZarnContext");
    EXPECT_TRUE(value->greaterThan(*other) && other->lessThan(*value));
    EXPECT_THROW(other->lessThan(*num(1)), BadConversion);
}

TEST(ZarnContextValueTest, DeepCloneOwnsItsNestedContextAndResolveResolvesInPlace)
{
    auto value = block({set("x", str("${y}")), set("y", str("one"))});
    auto copy = value->deepClone();
    ASSERT_NE(static_cast<ZarnContext&>(*copy).getContext(), value->getContext());
    EXPECT_EQ(dynamic_cast<Resolvable&>(*copy).resolve(), copy);
    EXPECT_EQ(variable(copy, "x"), "one");
    EXPECT_TRUE(static_cast<ZarnContext&>(*copy).getContext()->variables.at("x").resolved);
    EXPECT_EQ(variable(value, "x"), "${y}");
    EXPECT_FALSE(value->equals(*copy));
}
