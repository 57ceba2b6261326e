#include <gtest/gtest.h>

#include <algorithm>

#include "types/zarn_context_types.h"
#include "types/zarn_exceptions.h"
#include "context_test_support.h"

using namespace Zarn;
using namespace ContextTestSupport;

namespace {

TEST(ConditionsTest, BareTestHoldsForDeclaredVariablesOnly)
{
    Context context({Assignment("declared", nullptr, Assignment::Declare), set("empty", str(""))},
                    {condition("declared", Condition::Test, nullptr, {set("a", str("1"))}),
                     condition("empty", Condition::Test, nullptr, {set("b", str("1"))}),
                     condition("missing", Condition::Test, nullptr, {set("c", str("1"))})});
    std::string output = captureOutput([&] { context.evaluateConditions(); });
    EXPECT_TRUE(hasVariable(context, "a"));
    EXPECT_TRUE(hasVariable(context, "b"));
    EXPECT_FALSE(hasVariable(context, "c"));
    EXPECT_EQ(output, "");
}

TEST(ConditionsTest, ComparisonOperators)
{
    struct Case {
        Condition::OperatorType op;
        ZarnValuePtr rhs;
        bool holds;
    } cases[] = {
        {Condition::Equal, str("ABC"), true},   {Condition::Equal, str("abd"), false},
        {Condition::NotEqual, str("x"), true},  {Condition::NotEqual, str("abc"), false},
        {Condition::Less, str("abcd"), true},   {Condition::Less, str("zz"), false},
        {Condition::Greater, str("zz"), true},  {Condition::Greater, str("zzz"), false},
    };
    for (const Case& c : cases) {
        Context context({set("v", str("abc"))}, {condition("v", c.op, c.rhs, {set("hit", str("1"))})});
        context.evaluateConditions();
        EXPECT_EQ(hasVariable(context, "hit"), c.holds) << "operator " << c.op << " " << c.rhs->toString();
    }
}

TEST(ConditionsTest, RightOperandIsResolvedToo)
{
    Context context({set("v", str("on")), set("w", str("${v}"))},
                    {condition("v", Condition::Equal, idValue("w"), {set("hit", str("1"))})});
    context.evaluateConditions();
    EXPECT_TRUE(hasVariable(context, "hit"));
}

TEST(ConditionsTest, ComparisonErrorsPassOut)
{
    Context mixed({set("n", integer(1))}, {condition("n", Condition::Equal, str("1"), {})});
    EXPECT_THROW(mixed.evaluateConditions(), BadConversion);
    Context missing({}, {condition("nothing", Condition::Equal, str("1"), {})});
    EXPECT_THROW(missing.evaluateConditions(), NotFoundException);
}

TEST(ConditionsTest, UnsetVariableComparesWithoutCrashing)
{
    Context context({Assignment("bare", nullptr, Assignment::Declare)},
                    {condition("bare", Condition::Equal, str("x"), {set("eq", str("1"))}),
                     condition("bare", Condition::NotEqual, str("x"), {set("ne", str("1"))}),
                     condition("bare", Condition::Less, str("x"), {set("lt", str("1"))})});
    context.evaluateConditions();
    EXPECT_FALSE(hasVariable(context, "eq"));
    EXPECT_TRUE(hasVariable(context, "ne"));
    EXPECT_FALSE(hasVariable(context, "lt"));
}

TEST(ConditionsTest, UnknownOperatorIsAnInternalError)
{
    Condition odd = condition("v", Condition::Equal, str("x"), {});
    odd.op = static_cast<Condition::OperatorType>(9);
    Context context({set("v", str("x"))}, {odd});
    EXPECT_THROW(context.evaluateConditions(), InternalError);
}

TEST(ConditionsTest, HoldingConditionsApplyTheirBlockByOperator)
{
    Context context({set("mode", str("debug")), set("flags", list({str("-g")}))},
                    {condition("mode", Condition::Equal, str("debug"),
                               {append("flags", str("-O0")), set("mode", str("changed"))})});
    context.evaluateConditions();
    EXPECT_EQ(text(context.variables.at("flags").value), "-g -O0");
    EXPECT_EQ(text(context.variables.at("mode").value), "changed");
    // The template's values were cloned, not moved in.
    EXPECT_EQ(text(context.conditions[0].context->assignments[0].value), "-O0");
}

TEST(ConditionsTest, NestedConditionsAreEvaluatedInTheSameWalkAfterTheOthers)
{
    // Level three adds "deep"; the earlier condition on "late" is not
    // evaluated again, although a later block sets "late".
    Condition third = condition("second", Condition::Test, nullptr, {set("deep", str("3"))});
    Condition second = condition("first", Condition::Test, nullptr, {set("second", str("2"))}, {third});
    Context context({set("start", str("1"))},
                    {condition("late", Condition::Test, nullptr, {set("sawLate", str("1"))}),
                     condition("start", Condition::Test, nullptr,
                               {set("first", str("1")), set("late", str("1"))}, {second})});
    context.evaluateConditions();
    EXPECT_TRUE(hasVariable(context, "first"));
    EXPECT_TRUE(hasVariable(context, "second"));
    EXPECT_TRUE(hasVariable(context, "deep"));
    EXPECT_FALSE(hasVariable(context, "sawLate"));
    ASSERT_EQ(context.conditions.size(), 4u);
    auto* operand = dynamic_cast<Resolvable*>(context.conditions[3].lhs.get());
    ASSERT_NE(operand, nullptr);
    EXPECT_EQ(operand->getResolver(), &context);
}

TEST(ConditionsTest, ManyAppendedConditionsSurviveReallocation)
{
    // Each holding condition appends several more; the vector grows while it
    // is walked.
    Condition leaf = condition("x", Condition::Test, nullptr, {append("count", str("+"))});
    std::vector<Condition> leaves(8, leaf);
    Condition branch = condition("x", Condition::Test, nullptr, {}, leaves);
    Context context({set("x", str("1")), set("count", str(""))}, {branch, branch, branch});
    context.evaluateConditions();
    EXPECT_EQ(context.conditions.size(), 27u);
    std::string count = text(context.variables.at("count").value);
    EXPECT_EQ(std::count(count.begin(), count.end(), '+'), 24);
}

TEST(ConditionsTest, OperandsAreNotChangedByEvaluation)
{
    Context context({set("v", str("a"))}, {condition("v", Condition::Equal, str("a"), {})});
    ZarnValuePtr lhs = context.conditions[0].lhs;
    context.evaluateConditions();
    EXPECT_EQ(context.conditions[0].lhs, lhs);
    EXPECT_NE(dynamic_cast<ZarnIdentifier*>(context.conditions[0].lhs.get()), nullptr);
}

}  // namespace
