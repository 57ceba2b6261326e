#include <gtest/gtest.h>

#include <variant>

#include "types/value_test_support.h"

using namespace Zarn;
using namespace ValueTestSupport;

namespace {

std::shared_ptr<ZarnContext> contextValue(const std::vector<std::pair<std::string, ZarnValuePtr>>& variables)
{
    return std::make_shared<ZarnContext>(contextWith(variables));
}

TEST(ZarnContextValueTest, PrintsAndWalksVariableNamesInNameOrder)
{
    auto value = contextValue({{"b", number(1)}, {"A", makeString("x")}});
    EXPECT_EQ(value->toString(), "A b");
    EXPECT_EQ(value->toLiteral(), "A b");
    EXPECT_EQ(walkTexts(value), (std::vector<std::string>{"A", "b"}));
    EXPECT_EQ(Zarn::begin(ZarnValuePtr(value))->current()->typeName(), "ZarnString");
    EXPECT_EQ(contextValue({})->toString(), "");
}

TEST(ZarnContextValueTest, AppendingAStringDeclaresIt)
{
    auto value = contextValue({});
    value->append(*makeString("x"));
    const auto& variables = value->getContext()->variables;
    ASSERT_TRUE(hasVariable(variables, "X"));
    EXPECT_EQ(variables.at("x").value, nullptr);
    EXPECT_EQ(variables.at("x").type, Assignment::Declare);

    EXPECT_EQ(zarnErrorOf([&] { value->append(*rawString("r")); }),
              "Cannot convert ZarnRawString R\"(r)\" to ZarnContext");
    EXPECT_THROW(value->append(*number(1)), BadConversion);
}

TEST(ZarnContextValueTest, AppendingAContextMergesByOperator)
{
    auto value = contextValue({{"a", makeString("1")}});
    auto other = std::make_shared<Context>();
    auto appended = makeString("2");
    other->addAssignment(Assignment("A", appended, Assignment::Append), 0);
    other->addAssignment(Assignment("c", makeString("3"), Assignment::Set), 0);
    value->append(ZarnContext(other));
    EXPECT_EQ(getString(*value->getContext(), "a"), "1 2");
    EXPECT_EQ(getString(*value->getContext(), "c"), "3");
    // The other context's values were not taken over.
    EXPECT_EQ(dynamic_cast<ZarnString&>(*appended).getResolver(), other.get());

    value->append(*value);
    EXPECT_EQ(getString(*value->getContext(), "c"), "3");
}

TEST(ZarnContextValueTest, CloneSharesTheNestedContext)
{
    auto value = contextValue({{"a", number(1)}});
    auto copy = value->clone();
    copy->append(*makeString("b"));
    EXPECT_EQ(value->toString(), "a b");
    EXPECT_TRUE(value->equals(*copy));
}

TEST(ZarnContextValueTest, DeepCloneOwnsItsNestedContext)
{
    auto context = std::make_shared<Context>();
    context->addAssignment(Assignment("x", makeString("${y}"), Assignment::Set), 0);
    context->addAssignment(Assignment("y", makeString("one"), Assignment::Set), 0);
    auto value = std::make_shared<ZarnContext>(context);

    auto copy = value->deepClone();
    ASSERT_NE(static_cast<ZarnContext&>(*copy).getContext(), context);
    dynamic_cast<Resolvable&>(*copy).resolve();
    EXPECT_EQ(getString(*static_cast<ZarnContext&>(*copy).getContext(), "x"), "one");
    EXPECT_EQ(getString(*context, "x"), "${y}");
    EXPECT_FALSE(value->equals(*copy));
}

TEST(ZarnContextValueTest, AddWithAContextLeavesBothOperandsUnchanged)
{
    auto left = contextValue({{"a", makeString("1")}});
    auto right = contextValue({{"a", makeString("2")}, {"b", makeString("3")}});
    auto sum = left->add(*right);
    EXPECT_EQ(left->toString(), "a");
    EXPECT_EQ(getString(*left->getContext(), "a"), "1");
    EXPECT_EQ(right->toString(), "a b");
    EXPECT_EQ(sum->toString(), "a b");
    EXPECT_EQ(getString(*static_cast<ZarnContext&>(*sum).getContext(), "a"), "2");
}

TEST(ZarnContextValueTest, AddWithAStringDeclaresInTheSharedContext)
{
    auto left = contextValue({{"a", makeString("1")}});
    auto sum = left->add(*makeString("n"));
    EXPECT_EQ(sum->toString(), "a n");
    EXPECT_EQ(left->toString(), "a n");
    EXPECT_THROW(left->add(*number(1)), BadConversion);
}

TEST(ZarnContextValueTest, EqualityIsIdentityOfTheNestedContext)
{
    auto first = contextValue({{"a", number(1)}});
    auto second = contextValue({{"a", number(1)}});
    EXPECT_FALSE(first->equals(*second));
    EXPECT_TRUE(first->equals(*first->clone()));
    EXPECT_EQ(zarnErrorOf([&] { first->equals(*makeString("a")); }), "Cannot convert ZarnString \"a\" to ZarnContext");
}

TEST(ZarnContextValueTest, OrderCountsVariables)
{
    auto one = contextValue({{"a", number(1)}});
    auto two = contextValue({{"a", number(1)}, {"b", number(2)}});
    EXPECT_TRUE(two->greaterThan(*one));
    EXPECT_TRUE(one->lessThan(*two));
    EXPECT_FALSE(one->lessThan(*one));
    EXPECT_THROW(one->lessThan(*number(1)), BadConversion);
}

TEST(ZarnContextValueTest, GetGivesTheStoredValueByName)
{
    auto stored = makeString("${x}");
    auto value = contextValue({{"a", stored}});
    EXPECT_EQ(value->get(std::string("A")), stored);
    EXPECT_EQ(zarnErrorOf([&] { value->get(std::string("zz")); }), "Variable 'zz' not found.");
    EXPECT_THROW(value->get(int64_t{0}), std::bad_variant_access);
}

TEST(ZarnContextValueTest, NestedValuesResolveThroughTheOuterContext)
{
    auto outer = std::make_shared<Context>();
    outer->addAssignment(Assignment("b", makeString("outer"), Assignment::Set), 0);
    auto block = contextValue({{"b", makeString("inner")}, {"x", makeString("${b}")}});
    outer->addAssignment(Assignment("blk", block, Assignment::Set), 0);

    auto resolved = outer->lookup(parsedIdentifier("blk"));
    EXPECT_EQ(resolved, block);  // resolved in place
    EXPECT_EQ(getString(*block->getContext(), "x"), "outer");
}

TEST(ZarnContextValueTest, ResolveReturnsItselfWithItsContextResolved)
{
    auto value = contextValue({{"y", makeString("why")}});
    value->append(*makeString("z"));
    auto x = makeString("${y}");
    value->getContext()->addAssignment(Assignment("x", x, Assignment::Set), 0);
    EXPECT_EQ(value->resolve(), value);
    EXPECT_EQ(getString(*value->getContext(), "x"), "why");
    EXPECT_TRUE(value->getContext()->variables.at("x").resolved);
}

}  // namespace
