#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;

TEST(AssignmentTest, EqualityOfValuesOfUnlikeKindsIsFalseWithoutThrowing)
{
    // Comparing an integer with a string, or a context value with anything
    // else, throws inside the values; the assignments just differ.
    Assignment number = set("x", integer(5));
    Assignment text5 = set("x", str("5"));
    Assignment nested = set("x", block({set("a", str("1"))}));
    EXPECT_NO_THROW(EXPECT_FALSE(number == text5));
    EXPECT_NO_THROW(EXPECT_FALSE(text5 == number));
    EXPECT_NO_THROW(EXPECT_FALSE(nested == text5));
    EXPECT_NO_THROW(EXPECT_TRUE(number != nested));
    // Otherwise names compare ignoring case, values by equals; type and flags do not count.
    EXPECT_TRUE(Assignment("Abc", str("Hi"), Assignment::Set) == Assignment("aBC", str("hi"), Assignment::Append, 2));
    EXPECT_FALSE(set("x", str("a")) == set("x", nullptr));
    EXPECT_FALSE(set("x", nullptr) == set("x", str("a")));
}

TEST(ContextTest, CopySharesValuesAndMoveRebindsThem)
{
    auto source = contextWith({set("s", str("${t}")), set("t", str("x"))});
    Context copy(*source);
    EXPECT_EQ(copy.variables.at("s").value, source->variables.at("s").value);
    EXPECT_EQ(dynamic_cast<Resolvable&>(*copy.variables.at("s").value).getResolver(), source.get());

    Context moved(std::move(*source));
    source.reset();  // values bound to the old context would now dangle
    EXPECT_EQ(dynamic_cast<Resolvable&>(*moved.variables.at("s").value).getResolver(), &moved);
    EXPECT_EQ(resolved(moved, "s"), "x");

    auto target = std::make_shared<TargetContext>(QualifiedTargetName("p", "u", "t"), "v");
    target->addAssignment(set("p", str("${q}")));
    target->addAssignment(set("q", str("v")));
    TargetContext movedTarget(std::move(*target));
    target.reset();
    EXPECT_EQ(movedTarget.key(), "p/u::t@" + TargetContext(QualifiedTargetName("p", "u", "t"), "v").parameterHash());
    EXPECT_EQ(resolved(movedTarget, "p"), "v");
}

// An append to a value that another variable or context also holds works
// on a copy; a value held once is changed in place.
TEST(ContextMergeTest, AppendToASharedValueLeavesTheOtherHoldersAlone)
{
    auto source = contextWith({set("s", str("a")), set("l", strings({"m"})), set("c", block({set("k", str("v"))}))});
    Context copy(*source);
    copy.addAssignment(append("s", str("b")));
    copy.addAssignment(append("l", str("n")));
    copy.addAssignment(append("c", str("j")));
    EXPECT_EQ(getString(copy, "s"), "a b");
    EXPECT_EQ(getString(copy, "l"), "m n");
    EXPECT_EQ(getString(copy, "c"), "j k");
    EXPECT_EQ(getString(*source, "s"), "a");
    EXPECT_EQ(getString(*source, "l"), "m");
    EXPECT_EQ(getString(*source, "c"), "k");

    // Within one context: x took y's value object when it was resolved.
    auto context = contextWith({set("y", str("Y")), set("x", idValue("y"))});
    context->resolveVariables();
    ASSERT_EQ(context->variables.at("x").value, context->variables.at("y").value);
    context->addAssignment(append("x", str("a")));
    EXPECT_EQ(getString(*context, "x"), "Y a");
    EXPECT_EQ(getString(*context, "y"), "Y");

    // Held by this variable alone: the same object grows.
    const ZarnValue* own = context->variables.at("x").value.get();
    context->addAssignment(append("x", str("b")));
    EXPECT_EQ(context->variables.at("x").value.get(), own);
    EXPECT_EQ(getString(*context, "x"), "Y a b");
}

// Values that enter a context are deep clones: resolving or appending in one
// context never reaches another.
TEST(DeepCloneTest, TwoTargetsSharingAProfileVariableOrBlockSeeTheirOwnExpansion)
{
    auto project = contextWith({set("out", str("${x}.bin")), set("c", block({set("y", str("${x}"))}))});
    Words seen;
    for (const char* x : {"a", "b"}) {
        TargetContext instance(QualifiedTargetName("", "u", "t"), {"x"}, {str(x)}, {}, {}, {});
        instance.addImplicitContext(Context(*project), 0, true, 0);
        instance.resolveVariables();
        seen.push_back(getString(instance, "out") + " " + resolved(instance, "c.y"));
    }
    EXPECT_EQ(seen, (Words{"a.bin a", "b.bin b"}));
    EXPECT_EQ(getString(*project, "out"), "${x}.bin");
}

TEST(DeepCloneTest, ProfileListIsUnchangedAfterADependencyAppendedToIt)
{
    auto project = contextWith({set("LIB", strings({"m"}))});
    auto output = contextWith({set("lib", strings({"foo"}))});
    TargetContext instance(QualifiedTargetName("", "u", "app"), "");
    instance.addImplicitContext(Context(*project), 0, true, 0);
    instance.addImplicitContext(*output, Assignment::Append, false, 0);
    EXPECT_EQ(getString(instance, "lib"), "m foo");
    EXPECT_EQ(getString(*project, "LIB"), "m");
    EXPECT_EQ(getString(*output, "lib"), "foo");
}

TEST(DeepCloneTest, TemplateIsUnchangedAfterAContextMadeFromItWasResolved)
{
    Target target;
    target.parameterNames = {"p"};
    target.assignments = {set("s", str("${p}")), set("c", block({set("y", str("${p}"))}))};
    TargetContext first(target, QualifiedTargetName("", "u", "t"), {str("1")});
    first.resolveVariables();
    TargetContext second(target, QualifiedTargetName("", "u", "t"), {str("2")});
    second.resolveVariables();

    EXPECT_EQ(resolved(first, "c.y"), "1");
    EXPECT_EQ(resolved(second, "c.y"), "2");
    EXPECT_EQ(target.assignments[0].value->toString(), "${p}");
    const Assignment& y = dynamic_cast<ZarnContext&>(*target.assignments[1].value).getContext()->variables.at("y");
    EXPECT_EQ(y.value->toString(), "${p}");
    EXPECT_FALSE(y.resolved);
}

TEST(DeepCloneTest, ValuesAppendedToListsAreCopies)
{
    ZarnValuePtr output = strings({"${v}"});
    Context collected;
    collected.appendToLists({set("x", output)});
    captureLog(7, [&] { collected.resolveVariables(); });
    EXPECT_EQ(output->toString(), "${v}");
}

TEST(DeepCloneTest, AddAssignmentsAndAddConditionsLeaveTheSourceAlone)
{
    Context source({set("l", strings({"a"}))}, {condition("l", Condition::Test, nullptr, {set("hit", str("1"))})});
    auto& sourceOperand = dynamic_cast<Resolvable&>(*source.conditions.at(0).lhs);
    EXPECT_EQ(sourceOperand.getResolver(), &source);

    Context target;
    target.addAssignments(source);
    target.addConditions(source);
    target.addAssignment(append("l", str("b")));
    EXPECT_EQ(getString(target, "l"), "a b");
    EXPECT_EQ(getString(source, "l"), "a");
    EXPECT_NE(target.conditions.at(0).lhs, source.conditions[0].lhs);
    EXPECT_EQ(target.conditions[0].context, source.conditions[0].context);  // templates are shared
    EXPECT_EQ(sourceOperand.getResolver(), &source);
    EXPECT_EQ(dynamic_cast<Resolvable&>(*target.conditions[0].lhs).getResolver(), &target);
}

TEST(TargetContextTest, ParametersAreSetAfterTheTemplateAndPairedUpToTheShorterList)
{
    Target target;
    target.assignments = {set("a", str("template")), set("keep", str("k"))};
    target.parameterNames = {"a", "b", "unset"};
    target.dependencies = {Dependency()};
    TargetContext instance(target, QualifiedTargetName("p", "u", "t"), {str("x"), integer(4)});
    EXPECT_EQ(getString(instance, "a"), "x");
    EXPECT_EQ(getString(instance, "b"), "4");
    EXPECT_FALSE(hasVariable(instance, "unset"));
    EXPECT_EQ(instance.dependencies.size(), 1u);
    EXPECT_EQ(instance.parameterText, "x\x1f" "4");
    TargetContext fewer(target, QualifiedTargetName("p", "u", "t"), {str("x"), str("y"), str("z"), str("w")});
    EXPECT_EQ(fewer.parameterText, "x\x1fy\x1fz");
}

TEST(TargetContextTest, ParameterTextKeepsValuesApart)
{
    auto make = [](std::vector<ZarnValuePtr> values) {
        return TargetContext(QualifiedTargetName("", "u", "t"), {"p", "q"}, values, {}, {}, {});
    };
    TargetContext first = make({str("a"), str("bc")});
    TargetContext second = make({str("ab"), str("c")});
    EXPECT_NE(first.parameterText, second.parameterText);
    EXPECT_NE(first.parameterHash(), second.parameterHash());
    EXPECT_NE(first.key(), second.key());
    EXPECT_NE(make({str(""), str("x")}).key(), make({str("x"), str("")}).key());
    TargetContext single(QualifiedTargetName("", "u", "t"), {"p"}, {str("abc")}, {}, {}, {});
    EXPECT_EQ(single.parameterText, "abc");
}

TEST(TargetContextTest, HashAndKey)
{
    const struct { QualifiedTargetName name; const char *parameterText, *hash, *key; } cases[] = {
        {{"p", "u", "t"}, "a", "af63dc4c8601ec8c", "p/u::t@af63dc4c8601ec8c"},
        {{"p", "", "t"}, "", "", "p/t"},
        {{"", "", "t"}, "a", "af63dc4c8601ec8c", "t@af63dc4c8601ec8c"},
    };
    for (const auto& c : cases) {
        TargetContext context(c.name, c.parameterText);
        EXPECT_EQ(context.parameterHash(), c.hash) << c.parameterText;
        EXPECT_EQ(context.key(), c.key);
    }
}
