#include <algorithm>

#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;

TEST(ConditionsTest, OperatorsAndBareTests)
{
    const struct { const char* name; Condition::OperatorType op; ZarnValuePtr rhs; bool holds; } cases[] = {
        {"v", Condition::Equal, str("ABC"), true},   {"v", Condition::Equal, str("abd"), false},
        {"v", Condition::NotEqual, str("x"), true},  {"v", Condition::NotEqual, str("abc"), false},
        {"v", Condition::Less, str("abcd"), true},   {"v", Condition::Less, str("zz"), false},
        {"v", Condition::Greater, str("zz"), true},  {"v", Condition::Greater, str("zzz"), false},
        {"v", Condition::Equal, idValue("w"), true},  // the right operand is resolved too
        // A variable without value compares without crashing.
        {"bare", Condition::Equal, str("x"), false}, {"bare", Condition::NotEqual, str("x"), true},
        {"bare", Condition::Less, str("x"), false},
        // A bare test holds for every declared variable, and quietly fails otherwise.
        {"bare", Condition::Test, nullptr, true},    {"empty", Condition::Test, nullptr, true},
        {"missing", Condition::Test, nullptr, false},
    };
    for (const auto& c : cases) {
        Context context({set("v", str("abc")), set("w", str("${v}")), declare("bare"), set("empty", str(""))},
                        {condition(c.name, c.op, c.rhs, {set("hit", str("1"))})});
        EXPECT_EQ(captureLog(0, [&] { context.evaluateConditions(); }), "");
        EXPECT_EQ(hasVariable(context, "hit"), c.holds)
            << c.name << " operator " << c.op << " " << (c.rhs ? c.rhs->toString() : "");
    }
}

TEST(ConditionsTest, HoldingConditionsApplyTheirBlockByOperatorAndKeepTheirOperands)
{
    Context context({set("mode", str("debug")), set("flags", strings({"-g"}))},
                    {condition("mode", Condition::Equal, str("debug"),
                               {append("flags", str("-O0")), set("mode", str("changed"))})});
    ZarnValuePtr lhs = context.conditions[0].lhs;
    context.evaluateConditions();
    EXPECT_EQ(getString(context, "flags"), "-g -O0");
    EXPECT_EQ(getString(context, "mode"), "changed");
    // The template's values were cloned, not moved in; the operand was not
    // replaced by its resolution.
    EXPECT_EQ(text(context.conditions[0].context->assignments[0].value), "-O0");
    EXPECT_EQ(context.conditions[0].lhs, lhs);
    EXPECT_NE(dynamic_cast<ZarnIdentifier*>(lhs.get()), nullptr);
}

TEST(ConditionsTest, NestedConditionsAreEvaluatedInTheSameWalkAfterTheOthers)
{
    // Level three adds "deep"; the earlier condition on "late" is not
    // evaluated again, although a later block sets "late".
    Condition third = condition("second", Condition::Test, nullptr, {set("deep", str("3"))});
    Condition second = condition("first", Condition::Test, nullptr, {set("second", str("2"))}, {third});
    Context context({set("start", str("1"))},
                    {condition("late", Condition::Test, nullptr, {set("sawLate", str("1"))}),
                     condition("start", Condition::Test, nullptr, {set("first", str("1")), set("late", str("1"))},
                               {second})});
    context.evaluateConditions();
    EXPECT_TRUE(hasVariable(context, "first"));
    EXPECT_TRUE(hasVariable(context, "second"));
    EXPECT_TRUE(hasVariable(context, "deep"));
    EXPECT_FALSE(hasVariable(context, "sawLate"));
    ASSERT_EQ(context.conditions.size(), 4u);
    EXPECT_EQ(dynamic_cast<Resolvable&>(*context.conditions[3].lhs).getResolver(), &context);
}

TEST(ConditionsTest, ManyAppendedConditionsSurviveReallocation)
{
    // Each holding condition appends several more; the vector grows while it
    // is walked.
    Condition leaf = condition("x", Condition::Test, nullptr, {append("count", str("+"))});
    Condition branch = condition("x", Condition::Test, nullptr, {}, std::vector<Condition>(8, leaf));
    Context context({set("x", str("1")), set("count", str(""))}, {branch, branch, branch});
    context.evaluateConditions();
    EXPECT_EQ(context.conditions.size(), 27u);
    std::string count = getString(context, "count");
    EXPECT_EQ(std::count(count.begin(), count.end(), '+'), 24);
}
