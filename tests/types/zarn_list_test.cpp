#include <gtest/gtest.h>

#include "types/value_test_support.h"

using namespace Zarn;
using namespace ValueTestSupport;

namespace {

// Records the identifiers it is asked for.
class RecordingResolver : public Resolver {
public:
    ZarnValuePtr lookup(const Identifier& identifier) override
    {
        asked.push_back(identifierText(identifier));
        return makeString("value");
    }
    std::vector<std::string> asked;
};

TEST(ZarnListTest, EmptyList)
{
    auto empty = listOf({});
    EXPECT_EQ(empty->toString(), "");
    EXPECT_EQ(empty->toLiteral(), "[]");
    EXPECT_TRUE(empty->equals(*listOf({})));
    EXPECT_FALSE(empty->greaterThan(*listOf({})));
    EXPECT_FALSE(empty->lessThan(*listOf({})));
    EXPECT_TRUE(empty->lessThan(*listOf({number(1)})));
    EXPECT_TRUE(walkTexts(empty).empty());
}

TEST(ZarnListTest, TextsAndLiterals)
{
    auto numbers = listOf({number(1), number(2)});
    EXPECT_EQ(numbers->toString(), "1 2");
    EXPECT_EQ(numbers->toLiteral(), "[ 1, 2 ]");
    EXPECT_EQ(listOf({makeString("a")})->toLiteral(), "[ \"a\" ]");
    EXPECT_EQ(listOf({listOf({number(1)}), rawString("r")})->toLiteral(), "[ [ 1 ], R\"(r)\" ]");
    EXPECT_TRUE(numbers->hasLiteralForm());
    EXPECT_FALSE(listOf({makeString("a"), rawString("x)\"y")})->hasLiteralForm());
}

TEST(ZarnListTest, GetTakesOnlyAnIndexBelowTheCount)
{
    auto first = number(1);
    auto numbers = listOf({first, number(2)});
    EXPECT_EQ(numbers->get(int64_t{0}), first);
    EXPECT_EQ(zarnErrorOf([&] { numbers->get(int64_t{2}); }), "Variable [ 1, 2 ] cannot be indexed with [2]");
    EXPECT_EQ(zarnErrorOf([&] { numbers->get(int64_t{-1}); }), "Variable [ 1, 2 ] cannot be indexed with [-1]");
    EXPECT_EQ(zarnErrorOf([&] { numbers->get(std::string("x")); }), "Variable [ 1, 2 ] cannot be indexed with x");
    EXPECT_EQ(zarnErrorOf([&] { numbers->get(AccessRange{0, 1, 1}); }),
              "Variable [ 1, 2 ] cannot be indexed with [0:1:1]");
}

TEST(ZarnListTest, AppendSharesListMembersAndClonesOtherValues)
{
    auto three = number(3);
    auto four = number(4);
    auto numbers = listOf({number(1), number(2)});
    numbers->append(*listOf({three, four}));
    ASSERT_EQ(numbers->size(), 4u);
    EXPECT_EQ(numbers->getMembers()[2], three);
    EXPECT_EQ(numbers->getMembers()[3], four);

    auto five = number(5);
    numbers->append(*five);
    ASSERT_EQ(numbers->size(), 5u);
    EXPECT_NE(numbers->getMembers()[4], five);
    EXPECT_EQ(numbers->getMembers()[4]->toString(), "5");
}

TEST(ZarnListTest, AddLeavesTheListUnchanged)
{
    auto numbers = listOf({number(1), number(2)});
    auto withList = numbers->add(*listOf({number(3)}));
    auto withNumber = numbers->add(*number(4));
    EXPECT_EQ(numbers->toString(), "1 2");
    EXPECT_EQ(withList->toString(), "1 2 3");
    EXPECT_EQ(withNumber->toString(), "1 2 4");
}

TEST(ZarnListTest, AppendToItselfRepeatsTheMembers)
{
    auto numbers = listOf({number(1), number(2)});
    numbers->append(*numbers);
    EXPECT_EQ(numbers->toString(), "1 2 1 2");
}

TEST(ZarnListTest, EqualityIsMemberWise)
{
    EXPECT_TRUE(listOf({number(1), makeString("A")})->equals(*listOf({number(1), makeString("a")})));
    EXPECT_FALSE(listOf({number(1)})->equals(*listOf({number(1), number(2)})));
    EXPECT_TRUE(listOf({nullptr})->equals(*listOf({nullptr})));
    EXPECT_FALSE(listOf({nullptr})->equals(*listOf({number(1)})));
    EXPECT_FALSE(listOf({})->equals(*makeString("")));
}

TEST(ZarnListTest, OrderIsByValueAndAgreesWithEquality)
{
    auto a = listOf({number(1), number(2)});
    auto b = listOf({number(1), number(2)});
    EXPECT_TRUE(a->equals(*b));
    EXPECT_FALSE(a->lessThan(*b));
    EXPECT_FALSE(a->greaterThan(*b));

    EXPECT_TRUE(listOf({number(1), number(2)})->lessThan(*listOf({number(1), number(3)})));
    EXPECT_TRUE(listOf({number(9)})->greaterThan(*listOf({number(1), number(3)})));
    EXPECT_TRUE(listOf({number(1)})->lessThan(*listOf({number(1), number(0)})));

    // Members that cannot compare with each other still order the same way
    // every time, and in opposite directions.
    auto text = listOf({makeString("1")});
    auto integer = listOf({number(1)});
    EXPECT_NE(text->lessThan(*integer), integer->lessThan(*text));
    EXPECT_EQ(text->greaterThan(*integer), integer->lessThan(*text));
}

TEST(ZarnListTest, OrderAgainstAnotherKindIsABadConversion)
{
    EXPECT_EQ(zarnErrorOf([] { listOf({})->greaterThan(*makeString("s")); }),
              "Cannot convert ZarnString \"s\" to ZarnList");
    EXPECT_THROW(listOf({})->lessThan(*number(1)), BadConversion);
}

TEST(ZarnListTest, CloneCopiesMembersButDeepCloneAlsoCopiesNestedContexts)
{
    auto nested = contextWith({{"x", makeString("1")}});
    auto original = listOf({makeString("a"), std::make_shared<ZarnContext>(nested), nullptr});

    auto copy = original->clone();
    auto& copied = static_cast<ZarnList&>(*copy);
    EXPECT_NE(copied.getMembers()[0], original->getMembers()[0]);
    EXPECT_EQ(copied.getMembers()[2], nullptr);
    EXPECT_EQ(static_cast<ZarnContext&>(*copied.getMembers()[1]).getContext(), nested);

    auto deep = original->deepClone();
    auto& deepList = static_cast<ZarnList&>(*deep);
    EXPECT_NE(static_cast<ZarnContext&>(*deepList.getMembers()[1]).getContext(), nested);
    EXPECT_EQ(deepList.toString(), original->toString());
}

TEST(ZarnListTest, SetResolverBindsResolvableMembers)
{
    RecordingResolver resolver;
    auto text = makeString("t");
    auto inner = listOf({makeString("u")});
    auto numbers = listOf({text, number(1), inner, nullptr});
    numbers->setResolver(&resolver);
    EXPECT_EQ(numbers->getResolver(), &resolver);
    EXPECT_EQ(dynamic_cast<ZarnString&>(*text).getResolver(), &resolver);
    EXPECT_EQ(dynamic_cast<ZarnString&>(*inner->getMembers()[0]).getResolver(), &resolver);
}

TEST(ZarnListTest, ResolveFlattensOneLevel)
{
    auto context = contextWith({{"L", listOf({makeString("x"), makeString("y")})}});
    auto value = listOf({makeString("a"), listOf({makeString("b"), listOf({makeString("c")})}),
                         makeString("${L}"), identifierValue("L"), number(4)});
    value->setResolver(context.get());
    auto resolved = value->resolve();
    EXPECT_EQ(walkTexts(resolved), (std::vector<std::string>{"a", "b", "c", "x y", "x", "y", "4"}));
    EXPECT_EQ(dynamic_cast<ZarnList&>(*resolved).getResolver(), nullptr);
    EXPECT_EQ(static_cast<ZarnList&>(*resolved).getMembers()[6], value->getMembers()[4]);
}

TEST(ZarnListTest, IteratorKeepsTheListAliveAndComparesInConstantTime)
{
    auto numbers = listOf({number(1), number(2)});
    auto it = Zarn::begin(ZarnValuePtr(numbers));
    auto stop = Zarn::end(ZarnValuePtr(numbers));
    numbers.reset();
    std::vector<std::string> texts;
    for (; !it->equals(*stop); it->next())
        texts.push_back(it->current()->toString());
    EXPECT_EQ(texts, (std::vector<std::string>{"1", "2"}));

    auto other = listOf({number(1), number(2)});
    EXPECT_FALSE(Zarn::begin(ZarnValuePtr(other))->equals(*Zarn::begin(ZarnValuePtr(listOf({number(1)})))));
    EXPECT_THROW(Zarn::begin(ZarnValuePtr(other))->equals(*Zarn::end(makeString("x"))), InternalError);
}

TEST(ZarnListTest, NullHandleHasNoMembers)
{
    EXPECT_TRUE(walkTexts(nullptr).empty());
}

}  // namespace
