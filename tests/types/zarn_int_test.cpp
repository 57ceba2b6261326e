#include <climits>

#include "types_test_support.h"

using namespace TypesTestSupport;

TEST(ZarnIntTest, ArithmeticWrapsAsThirtyTwoBits)
{
    EXPECT_EQ(num(INT_MAX)->add(*num(1))->toString(), "-2147483648");
    EXPECT_EQ(num(INT_MIN)->add(*num(-1))->toString(), "2147483647");
    auto value = num(40);
    value->append(*num(2));
    EXPECT_EQ(value->toString(), "42");
    auto large = num(INT_MAX);
    large->append(*large);
    EXPECT_EQ(large->toString(), "-2");
}

TEST(ZarnIntTest, ComparesOnlyWithIntegers)
{
    EXPECT_TRUE(num(3)->equals(*num(3)));
    EXPECT_TRUE(num(-1)->lessThan(*num(0)));
    EXPECT_TRUE(num(2)->greaterThan(*num(1)));
    EXPECT_FALSE(num(2)->notEquals(*num(2)));
    // The integer names its own type and literal first.
    EXPECT_EQ(errorOf([] { num(5)->equals(*str("5")); }), "Cannot convert ZarnInt 5 to ZarnString");
    EXPECT_EQ(errorOf([] { num(5)->lessThan(*list({})); }), "Cannot convert ZarnInt 5 to ZarnList");
    EXPECT_EQ(errorOf([] { num(5)->add(*str("x")); }), "Cannot convert ZarnInt 5 to ZarnString");
}

TEST(ZarnIntTest, IndexingIsAnOrderlyError)
{
    EXPECT_EQ(errorOf([] { num(7)->get(int64_t{0}); }), "Variable 7 cannot be indexed with [0]");
    EXPECT_TRUE(walk(num(12)).empty());
}
