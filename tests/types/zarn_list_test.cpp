#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;

TEST(ZarnListTest, AppendSharesListMembersAndClonesOtherValuesAddCopies)
{
    auto three = integer(3);
    auto five = integer(5);
    auto numbers = list({integer(1)});
    numbers->append(*list({three}));
    numbers->append(*five);
    ASSERT_EQ(numbers->size(), 3u);
    EXPECT_EQ(numbers->getMembers()[1], three);
    EXPECT_NE(numbers->getMembers()[2], five);
    EXPECT_EQ(numbers->add(*list({integer(6)}))->toString(), "1 3 5 6");
    EXPECT_EQ(numbers->add(*integer(7))->toString(), "1 3 5 7");
    EXPECT_EQ(numbers->toString(), "1 3 5");
}

TEST(ZarnListTest, AppendToItselfRepeatsTheMembers)
{
    auto numbers = list({integer(1), integer(2)});
    numbers->append(*numbers);
    EXPECT_EQ(numbers->toString(), "1 2 1 2");
}

TEST(ZarnListTest, OrderIsByValueAndAgreesWithEquality)
{
    EXPECT_TRUE(list({integer(1), str("A")})->equals(*list({integer(1), str("a")})));
    EXPECT_FALSE(list({integer(1)})->equals(*list({integer(1), integer(2)})));
    EXPECT_FALSE(list({nullptr})->equals(*list({integer(1)})));
    auto a = list({integer(1), integer(2)});
    auto b = list({integer(1), integer(2)});
    EXPECT_FALSE(a->lessThan(*b) || a->greaterThan(*b));
    EXPECT_TRUE(a->lessThan(*list({integer(1), integer(3)})));
    EXPECT_TRUE(list({integer(9)})->greaterThan(*a));
    EXPECT_TRUE(list({integer(1)})->lessThan(*list({integer(1), integer(0)})));
    EXPECT_TRUE(list({})->lessThan(*list({integer(1)})));
    // Members that cannot compare with each other still order the same way
    // every time, and in opposite directions.
    auto text = list({str("1")});
    auto number = list({integer(1)});
    EXPECT_NE(text->lessThan(*number), number->lessThan(*text));
    EXPECT_EQ(text->greaterThan(*number), number->lessThan(*text));
}

TEST(ZarnListTest, ResolveFlattensOneLevel)
{
    auto context = contextWith({set("L", strings({"x", "y"}))});
    auto value = list({str("a"), list({str("b"), list({str("c")})}), str("${L}"), idValue("L"), integer(4)});
    value->setResolver(context.get());
    auto resolved = value->resolve();
    EXPECT_EQ(walk(resolved), (Words{"a", "b", "c", "x y", "x", "y", "4"}));
    EXPECT_EQ(dynamic_cast<ZarnList&>(*resolved).getResolver(), nullptr);
    EXPECT_EQ(static_cast<ZarnList&>(*resolved).getMembers()[6], value->getMembers()[4]);
}
