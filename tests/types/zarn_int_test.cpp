#include <gtest/gtest.h>

#include <climits>

#include "types/value_test_support.h"

using namespace Zarn;
using namespace ValueTestSupport;

namespace {

TEST(ZarnIntTest, ArithmeticWrapsAsThirtyTwoBits)
{
    EXPECT_EQ(number(INT_MAX)->add(*number(1))->toString(), "-2147483648");
    EXPECT_EQ(number(INT_MIN)->add(*number(-1))->toString(), "2147483647");
    auto value = number(40);
    value->append(*number(2));
    EXPECT_EQ(value->toString(), "42");
    auto large = number(INT_MAX);
    large->append(*large);
    EXPECT_EQ(large->toString(), "-2");
}

TEST(ZarnIntTest, ComparesOnlyWithIntegers)
{
    EXPECT_TRUE(number(3)->equals(*number(3)));
    EXPECT_TRUE(number(-1)->lessThan(*number(0)));
    EXPECT_TRUE(number(2)->greaterThan(*number(1)));
    EXPECT_FALSE(number(2)->notEquals(*number(2)));
    // The integer names its own type and literal first.
    EXPECT_EQ(zarnErrorOf([] { number(5)->equals(*makeString("5")); }), "Cannot convert ZarnInt 5 to ZarnString");
    EXPECT_EQ(zarnErrorOf([] { number(5)->lessThan(*listOf({})); }), "Cannot convert ZarnInt 5 to ZarnList");
    EXPECT_EQ(zarnErrorOf([] { number(5)->add(*makeString("x")); }), "Cannot convert ZarnInt 5 to ZarnString");
}

TEST(ZarnIntTest, TextsAndMembers)
{
    EXPECT_EQ(number(-7)->toLiteral(), "-7");
    EXPECT_EQ(number(0)->toString(), "0");
    EXPECT_TRUE(walkTexts(number(12)).empty());
    EXPECT_EQ(Zarn::begin(number(12))->current()->toString(), "12");
    EXPECT_THROW(Zarn::begin(number(1))->equals(*Zarn::end(makeString("a"))), InternalError);
}

TEST(ZarnIntTest, IndexingIsAnOrderlyError)
{
    EXPECT_EQ(zarnErrorOf([] { number(7)->get(int64_t{0}); }), "Variable 7 cannot be indexed with [0]");
}

TEST(ZarnIntTest, CloneIsIndependent)
{
    auto value = number(1);
    auto copy = value->clone();
    copy->append(*number(1));
    EXPECT_EQ(value->toString(), "1");
    EXPECT_EQ(copy->toString(), "2");
}

}  // namespace
