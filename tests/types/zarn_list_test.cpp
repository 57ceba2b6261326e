#include "types_test_support.h"

using namespace TypesTestSupport;

TEST(ZarnListTest, TextsLiteralsAndIndexes)
{
    EXPECT_EQ(list({})->toLiteral(), "[]");
    EXPECT_EQ(list({list({num(1)}), raw("r"), str("a")})->toLiteral(), "[ [ 1 ], R\"(r)\", \"a\" ]");
    EXPECT_FALSE(list({str("a"), raw("x)\"y")})->hasLiteralForm());
    auto first = num(1);
    auto numbers = list({first, num(2)});
    EXPECT_EQ(numbers->toString(), "1 2");
    EXPECT_EQ(numbers->get(int64_t{0}), first);
    const std::pair<AccessKey, const char*> failing[] = {
        {int64_t{2}, "[2]"}, {int64_t{-1}, "[-1]"}, {std::string("x"), "x"}, {AccessRange{0, 1, 1}, "[0:1:1]"}};
    for (const auto& [key, text] : failing)
        EXPECT_EQ(errorOf([&] { numbers->get(key); }), std::string("Variable [ 1, 2 ] cannot be indexed with ") + text);
}

TEST(ZarnListTest, AppendSharesListMembersAndClonesOtherValuesAddCopies)
{
    auto three = num(3);
    auto five = num(5);
    auto numbers = list({num(1)});
    numbers->append(*list({three}));
    numbers->append(*five);
    ASSERT_EQ(numbers->size(), 3u);
    EXPECT_EQ(numbers->getMembers()[1], three);
    EXPECT_NE(numbers->getMembers()[2], five);
    EXPECT_EQ(numbers->add(*list({num(6)}))->toString(), "1 3 5 6");
    EXPECT_EQ(numbers->add(*num(7))->toString(), "1 3 5 7");
    EXPECT_EQ(numbers->toString(), "1 3 5");
}

TEST(ZarnListTest, AppendToItselfRepeatsTheMembers)
{
    auto numbers = list({num(1), num(2)});
    numbers->append(*numbers);
    EXPECT_EQ(numbers->toString(), "1 2 1 2");
}

TEST(ZarnListTest, OrderIsByValueAndAgreesWithEquality)
{
    EXPECT_TRUE(list({num(1), str("A")})->equals(*list({num(1), str("a")})));
    EXPECT_FALSE(list({num(1)})->equals(*list({num(1), num(2)})));
    EXPECT_TRUE(list({nullptr})->equals(*list({nullptr})));
    EXPECT_FALSE(list({nullptr})->equals(*list({num(1)})));
    EXPECT_FALSE(list({})->equals(*str("")));
    auto a = list({num(1), num(2)});
    auto b = list({num(1), num(2)});
    EXPECT_FALSE(a->lessThan(*b) || a->greaterThan(*b));
    EXPECT_TRUE(a->lessThan(*list({num(1), num(3)})));
    EXPECT_TRUE(list({num(9)})->greaterThan(*a));
    EXPECT_TRUE(list({num(1)})->lessThan(*list({num(1), num(0)})));
    EXPECT_TRUE(list({})->lessThan(*list({num(1)})));
    // Members that cannot compare with each other still order the same way
    // every time, and in opposite directions.
    auto text = list({str("1")});
    auto integer = list({num(1)});
    EXPECT_NE(text->lessThan(*integer), integer->lessThan(*text));
    EXPECT_EQ(text->greaterThan(*integer), integer->lessThan(*text));
    // Another kind does not order with a list.
    EXPECT_EQ(errorOf([] { list({})->greaterThan(*str("s")); }), "Cannot convert ZarnString \"s\" to ZarnList");
    EXPECT_THROW(list({})->lessThan(*num(1)), BadConversion);
}

TEST(ZarnListTest, CloneCopiesMembersButDeepCloneAlsoCopiesNestedContexts)
{
    auto nested = contextWith({set("x", str("1"))});
    auto original = list({str("a"), std::make_shared<ZarnContext>(nested), nullptr});
    auto copy = original->clone();
    const auto& members = static_cast<ZarnList&>(*copy).getMembers();
    EXPECT_NE(members[0], original->getMembers()[0]);
    EXPECT_EQ(static_cast<ZarnContext&>(*members[1]).getContext(), nested);
    auto deep = original->deepClone();
    EXPECT_NE(static_cast<ZarnContext&>(*static_cast<ZarnList&>(*deep).getMembers()[1]).getContext(), nested);
    EXPECT_EQ(deep->toString(), original->toString());
}

TEST(ZarnListTest, ResolveFlattensOneLevel)
{
    auto context = contextWith({set("L", strings({"x", "y"}))});
    auto value = list({str("a"), list({str("b"), list({str("c")})}), str("${L}"), idValue("L"), num(4)});
    value->setResolver(context.get());
    auto resolved = value->resolve();
    EXPECT_EQ(walk(resolved), (Words{"a", "b", "c", "x y", "x", "y", "4"}));
    EXPECT_EQ(dynamic_cast<ZarnList&>(*resolved).getResolver(), nullptr);
    EXPECT_EQ(static_cast<ZarnList&>(*resolved).getMembers()[6], value->getMembers()[4]);
}

TEST(ZarnListTest, IteratorKeepsTheListAliveAndComparesByIdentity)
{
    ZarnValuePtr numbers = list({num(1), num(2)});
    auto it = Zarn::begin(numbers);
    auto stop = Zarn::end(numbers);
    numbers.reset();
    EXPECT_EQ(it->current()->toString(), "1");
    it->next();
    EXPECT_EQ(it->current()->toString(), "2");
    it->next();
    EXPECT_TRUE(it->equals(*stop));
    ZarnValuePtr other = list({num(1), num(2)});
    EXPECT_FALSE(Zarn::begin(other)->equals(*Zarn::begin(ZarnValuePtr(list({num(1), num(2)})))));
    EXPECT_TRUE(walk(nullptr).empty());
}
