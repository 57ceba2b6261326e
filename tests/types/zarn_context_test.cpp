#include <gtest/gtest.h>

#include "types/zarn_context_types.h"
#include "types/zarn_exceptions.h"
#include "context_test_support.h"

using namespace Zarn;
using namespace ContextTestSupport;

namespace {

TEST(AssignmentTest, TextOfEveryOperatorWithAndWithoutValue)
{
    struct Case {
        uint32_t type;
        bool withValue;
        const char* expected;
    } cases[] = {
        {1, true, "x = \"v\""},  {1, false, "x = "},  {2, true, "x += \"v\""}, {2, false, "x += "},
        {3, true, "x ?= \"v\""}, {3, false, "x ?= "}, {4, true, "x : \"v\""},  {4, false, "x"},
        {9, true, "x\"v\""},     {9, false, "x"},
    };
    for (const Case& c : cases) {
        Assignment a("x", c.withValue ? str("v") : nullptr, static_cast<Assignment::AssignType>(c.type));
        EXPECT_EQ(a.toString(), c.expected) << "type " << c.type;
    }
    EXPECT_EQ(set("n", integer(-7)).toString(), "n = -7");
    EXPECT_EQ(set("l", list({integer(1), integer(2)})).toString(), "l = [ 1, 2 ]");
}

TEST(AssignmentTest, EqualityIgnoresNameCaseTypeAndFlags)
{
    EXPECT_TRUE(Assignment("Abc", nullptr, Assignment::Set) == Assignment("aBC", nullptr, Assignment::Declare, 2));
    EXPECT_TRUE(set("x", str("Hi")) == append("X", str("hi")));
    EXPECT_FALSE(set("x", str("a")) == set("y", str("a")));
    EXPECT_FALSE(set("x", str("a")) == set("x", nullptr));
    EXPECT_FALSE(set("x", nullptr) == set("x", str("a")));
    ZarnValuePtr shared = integer(3);
    EXPECT_TRUE(set("x", shared) == set("x", shared));
}

TEST(AssignmentTest, EqualityOfValuesOfUnlikeKindsIsFalseWithoutThrowing)
{
    // Comparing an integer with a string, or a context value with anything
    // else, throws inside the values; the assignments just differ.
    Assignment number = set("x", integer(5));
    Assignment text5 = set("x", str("5"));
    Assignment block = set("x", contextValue({set("a", str("1"))}));
    EXPECT_NO_THROW(EXPECT_FALSE(number == text5));
    EXPECT_NO_THROW(EXPECT_FALSE(text5 == number));
    EXPECT_NO_THROW(EXPECT_FALSE(block == text5));
    EXPECT_NO_THROW(EXPECT_TRUE(number != block));
}

TEST(ContextMergeTest, SetThenAppendKeepsFirstSpellingAndOperator)
{
    ContextTemplate tmpl({set("x", str("a")), append("X", str("b"))});
    ContextPtr context = tmpl.createContext();
    ASSERT_EQ(context->variables.size(), 1u);
    const Assignment& x = context->variables.at("x");
    EXPECT_EQ(x.name, "x");
    EXPECT_EQ(x.type, Assignment::Set);
    EXPECT_EQ(x.toString(), "x = \"a b\"");
}

TEST(ContextMergeTest, SetIfUnsetOnPresentValueOnlyClearsResolvedMark)
{
    Context context;
    context.addAssignment(Assignment("x", str("kept"), Assignment::Set, 0));
    context.variables.at("x").resolved = true;
    context.addAssignment(Assignment("x", str("other"), Assignment::SetIfUnset, 2), 1);
    const Assignment& x = context.variables.at("x");
    EXPECT_EQ(text(x.value), "kept");
    EXPECT_FALSE(x.resolved);
    EXPECT_EQ(x.flags, 0u);

    context.addAssignment(Assignment("y", nullptr, Assignment::Declare, 0));
    context.addAssignment(Assignment("y", str("now"), Assignment::SetIfUnset, 2), 1);
    EXPECT_EQ(text(context.variables.at("y").value), "now");
    EXPECT_EQ(context.variables.at("y").flags, 2u);
}

TEST(ContextMergeTest, AppendOntoEmptyValueSetsIt)
{
    Context context;
    context.addAssignment(Assignment("x", nullptr, Assignment::Declare));
    context.addAssignment(append("x", str("v")));
    EXPECT_EQ(text(context.variables.at("x").value), "v");
    context.addAssignment(append("x", nullptr));
    EXPECT_EQ(text(context.variables.at("x").value), "v");
}

TEST(ContextMergeTest, DeclareClearsValueButKeepsVariableAndOperator)
{
    Context context;
    context.addAssignment(append("x", str("v")));
    context.addAssignment(Assignment("x", nullptr, Assignment::Declare));
    ASSERT_TRUE(hasVariable(context, "X"));
    EXPECT_EQ(context.variables.at("x").value, nullptr);
    EXPECT_EQ(context.variables.at("x").toString(), "x += ");
}

TEST(ContextMergeTest, ModeOneCopiesFlags)
{
    Context context;
    context.addAssignment(Assignment("x", str("a"), Assignment::Set, 0));
    context.addAssignment(Assignment("x", str("b"), Assignment::Set, 1), 0);
    EXPECT_EQ(context.variables.at("x").flags, 0u);
    context.addAssignment(Assignment("x", str("c"), Assignment::Set, 1), 1);
    EXPECT_EQ(context.variables.at("x").flags, 1u);
}

TEST(ContextMergeTest, UnknownOperatorFailsOnMergeAndLeavesState)
{
    Context context;
    Assignment odd("x", str("odd"), static_cast<Assignment::AssignType>(7));
    context.addAssignment(odd);  // an absent name is stored as it is
    EXPECT_EQ(context.variables.at("x").type, 7u);
    context.variables.at("x").type = Assignment::Set;
    try {
        context.addAssignment(odd);
        FAIL() << "no exception";
    } catch (const AssignmentException& error) {
        EXPECT_STREQ(error.what(), "Attempted to modify assignment: x = \"odd\" with x\"odd\"");
    }
    EXPECT_EQ(text(context.variables.at("x").value), "odd");
}

TEST(ContextMergeTest, MergedValuesAreBoundToTheContext)
{
    Context context;
    context.addAssignment(set("s", str("${t}")));
    context.addAssignment(set("t", str("x")));
    auto* resolvable = dynamic_cast<Resolvable*>(context.variables.at("s").value.get());
    ASSERT_NE(resolvable, nullptr);
    EXPECT_EQ(resolvable->getResolver(), &context);
    EXPECT_EQ(resolved(context, "s"), "x");
}

TEST(ContextTest, VariablesAreKeptInCaseInsensitiveOrder)
{
    Context context;
    for (const char* name : {"b", "A", "_z", "C"})
        context.addAssignment(set(name, str(name)));
    std::string order;
    for (const auto& entry : context.variables)
        order += entry.second.name + ",";
    EXPECT_EQ(order, "_z,A,b,C,");  // "_" (0x5F) folds below every letter
}

TEST(ContextTest, AppendToListsWrapsCreatesAndAppendsWithoutBinding)
{
    Context context;
    context.addAssignment(Assignment("scalar", str("old"), Assignment::Append, 2));
    ZarnValuePtr existing = list({str("a")});
    context.addAssignment(set("lst", existing));
    ZarnValuePtr unbound = str("${nothing}");

    context.appendToLists({Assignment("scalar", str("new"), Assignment::Set, 0),
                           Assignment("fresh", unbound, Assignment::Append, 1),
                           Assignment("lst", str("b"), Assignment::Set, 0),
                           Assignment("empty", nullptr, Assignment::Set, 0)});

    const Assignment& scalar = context.variables.at("scalar");
    EXPECT_EQ(scalar.value->toLiteral(), "[ \"old\", \"new\" ]");
    EXPECT_EQ(scalar.type, Assignment::Set);
    EXPECT_EQ(scalar.flags, 2u);

    const Assignment& fresh = context.variables.at("fresh");
    EXPECT_EQ(fresh.type, Assignment::Set);
    EXPECT_EQ(fresh.flags, 1u);
    auto* freshList = dynamic_cast<ZarnList*>(fresh.value.get());
    ASSERT_NE(freshList, nullptr);
    ASSERT_EQ(freshList->size(), 1u);
    EXPECT_EQ(dynamic_cast<Resolvable*>(freshList->getMembers()[0].get())->getResolver(), nullptr);
    EXPECT_EQ(freshList->getResolver(), nullptr);

    EXPECT_EQ(context.variables.at("lst").value, existing);  // appended in place
    EXPECT_EQ(existing->toString(), "a b");
    EXPECT_EQ(context.variables.at("empty").value->toLiteral(), "[]");
}

TEST(ContextTest, VariableMapHelpers)
{
    Context context;
    context.addAssignment(set("name", str("value")));
    context.addAssignment(set("empty", str("")));
    context.addAssignment(Assignment("bare", nullptr, Assignment::Declare));

    EXPECT_TRUE(hasVariable(context.variables, "NAME"));
    EXPECT_TRUE(hasVariable(context.variables, "bare"));
    EXPECT_FALSE(hasVariable(context.variables, "missing"));

    EXPECT_EQ(text(getVariable(context.variables, "Name")), "value");
    EXPECT_EQ(getVariable(context.variables, "bare"), nullptr);
    try {
        getVariable(context.variables, "missing");
        FAIL() << "no exception";
    } catch (const NotFoundException& error) {
        EXPECT_EQ(error.getMessage(), "Variable 'missing' not found.");
    }

    EXPECT_EQ(getStringOr(context.variables, "name", "d"), "value");
    EXPECT_EQ(getStringOr(context.variables, "empty", "d"), "");
    EXPECT_EQ(getStringOr(context.variables, "bare", "d"), "d");
    EXPECT_EQ(getStringOr(context.variables, "missing", "d"), "d");
    EXPECT_EQ(getString(context, "missing"), "");
}

TEST(ContextTest, PrintWritesBracesAndAssignmentTexts)
{
    Context context;
    context.addAssignment(set("b", str("2")));
    context.addAssignment(Assignment("a", nullptr, Assignment::Declare));
    EXPECT_EQ(captureOutput([&] { context.print(3); }), "{\na\nb = \"2\"\n}\n\n");
    EXPECT_EQ(captureOutput([&] { context.print(3); }, 4), "");

    TargetContext target(QualifiedTargetName("p", "u", "t"), "");
    target.addAssignment(set("x", integer(1)));
    EXPECT_EQ(captureOutput([&] { target.print(2); }), "p/u::t\n{\nx = 1\n}\n\n");
}

TEST(ContextTest, CopySharesValuesAndMoveRebindsThem)
{
    auto source = std::make_shared<Context>();
    source->addAssignment(set("s", str("${t}")));
    source->addAssignment(set("t", str("x")));

    Context copy(*source);
    EXPECT_EQ(copy.variables.at("s").value, source->variables.at("s").value);
    EXPECT_EQ(dynamic_cast<Resolvable*>(copy.variables.at("s").value.get())->getResolver(), source.get());

    Context moved(std::move(*source));
    source.reset();  // values bound to the old context would now dangle
    EXPECT_EQ(dynamic_cast<Resolvable*>(moved.variables.at("s").value.get())->getResolver(), &moved);
    EXPECT_EQ(resolved(moved, "s"), "x");
}

TEST(ContextTest, ResolveVariablesLogsAndMemoises)
{
    Context context;
    context.addAssignment(set("a", str("${b}-")));
    context.addAssignment(set("b", str("x")));
    EXPECT_EQ(captureOutput([&] { context.resolveVariables(); }, 1), "Resolving variables.\n");
    EXPECT_TRUE(context.variables.at("a").resolved);
    EXPECT_EQ(text(context.variables.at("a").value), "x-");

    // Memoised: a later change of b is not seen until a changes.
    context.addAssignment(set("b", str("y")));
    EXPECT_EQ(resolved(context, "a"), "x-");
}

// Values that enter a context are deep clones: resolving or appending in one
// context never reaches another.
TEST(DeepCloneTest, TwoTargetsSharingAProfileVariableSeeTheirOwnExpansion)
{
    Context project;
    project.addAssignment(set("out", str("${x}.bin")));

    Target target;
    target.name = QualifiedTargetName("", "u", "t");
    target.parameterNames = {"x"};

    std::vector<std::string> outs;
    for (const char* x : {"a", "b"}) {
        Context base(project);
        TargetContext instance(target, target.name, {str(x)});
        instance.addImplicitContext(base, 0, true, 0);
        instance.resolveVariables();
        outs.push_back(text(instance.variables.at("out").value));
    }
    EXPECT_EQ(outs, (std::vector<std::string>{"a.bin", "b.bin"}));
    EXPECT_EQ(project.variables.at("out").value->toString(), "${x}.bin");
}

TEST(DeepCloneTest, ProfileListIsUnchangedAfterADependencyAppendedToIt)
{
    Context project;
    project.addAssignment(set("LIB", list({str("m")})));
    Context output;
    output.addAssignment(set("lib", list({str("foo")})));

    TargetContext instance(QualifiedTargetName("", "u", "app"), "");
    instance.addImplicitContext(Context(project), 0, true, 0);
    instance.addImplicitContext(output, Assignment::Append, false, 0);

    EXPECT_EQ(text(instance.variables.at("lib").value), "m foo");
    EXPECT_EQ(text(project.variables.at("LIB").value), "m");
    EXPECT_EQ(text(output.variables.at("lib").value), "foo");
}

TEST(DeepCloneTest, TemplateIsUnchangedAfterAContextMadeFromItWasResolved)
{
    Target target;
    target.parameterNames = {"p"};
    target.assignments = {set("s", str("${p}")), set("c", contextValue({set("y", str("${p}"))}))};

    TargetContext first(target, QualifiedTargetName("", "u", "t"), {str("1")});
    first.resolveVariables();
    TargetContext second(target, QualifiedTargetName("", "u", "t"), {str("2")});
    second.resolveVariables();

    EXPECT_EQ(resolved(first, "c.y"), "1");
    EXPECT_EQ(resolved(second, "c.y"), "2");
    EXPECT_EQ(target.assignments[0].value->toString(), "${p}");
    auto* nested = dynamic_cast<ZarnContext*>(target.assignments[1].value.get());
    ASSERT_NE(nested, nullptr);
    const Assignment& y = nested->getContext()->variables.at("y");
    EXPECT_EQ(y.value->toString(), "${p}");
    EXPECT_FALSE(y.resolved);
}

TEST(DeepCloneTest, BlocksInAProjectContextAreResolvedPerTarget)
{
    Context project;
    project.addAssignment(set("c", contextValue({set("y", str("${x}"))})));

    std::vector<std::string> seen;
    for (const char* x : {"a", "b"}) {
        TargetContext instance(QualifiedTargetName("", "u", "t"), {"x"}, {str(x)}, {}, {}, {});
        instance.addImplicitContext(project, 0, true, 0);
        instance.resolveVariables();
        seen.push_back(resolved(instance, "c.y"));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
}

TEST(DeepCloneTest, ValuesAppendedToListsAreCopies)
{
    ZarnValuePtr output = list({str("${v}")});
    Context collected;
    collected.appendToLists({set("x", output)});
    captureOutput([&] { collected.resolveVariables(); }, 7);
    EXPECT_EQ(output->toString(), "${v}");
}

TEST(DeepCloneTest, ParameterValuesAreNotSharedWithTheDependingTarget)
{
    ZarnValuePtr depender = list({str("a")});
    TargetContext instance(QualifiedTargetName("", "u", "t"), {"p"}, {depender}, {}, {}, {});
    instance.addAssignment(append("p", str("b")));
    EXPECT_EQ(text(instance.variables.at("p").value), "a b");
    EXPECT_EQ(text(depender), "a");
}

TEST(DeepCloneTest, AddAssignmentsAndAddConditionsLeaveTheSourceAlone)
{
    Context source({set("l", list({str("a")}))},
                   {condition("l", Condition::Test, nullptr, {set("hit", str("1"))})});
    auto* sourceOperand = dynamic_cast<Resolvable*>(source.conditions.at(0).lhs.get());
    ASSERT_NE(sourceOperand, nullptr);
    EXPECT_EQ(sourceOperand->getResolver(), &source);

    Context target;
    target.addAssignments(source);
    target.addConditions(source);
    target.addAssignment(append("l", str("b")));
    EXPECT_EQ(text(target.variables.at("l").value), "a b");
    EXPECT_EQ(text(source.variables.at("l").value), "a");
    EXPECT_NE(target.conditions.at(0).lhs, source.conditions[0].lhs);
    EXPECT_EQ(target.conditions[0].context, source.conditions[0].context);  // templates are shared
    EXPECT_EQ(sourceOperand->getResolver(), &source);
    EXPECT_EQ(dynamic_cast<Resolvable*>(target.conditions[0].lhs.get())->getResolver(), &target);
}

TEST(DeepCloneTest, DeepCopySharesNothing)
{
    Context source;
    source.addAssignment(set("c", contextValue({set("y", str("v"))})));
    source.addAssignment(Assignment("x", str("a"), Assignment::Append, 1));
    ContextPtr copy = source.deepCopy();
    ASSERT_EQ(copy->variables.size(), 2u);
    EXPECT_EQ(copy->variables.at("x").type, Assignment::Append);
    EXPECT_EQ(copy->variables.at("x").flags, 1u);
    EXPECT_NE(copy->variables.at("x").value, source.variables.at("x").value);
    auto* original = dynamic_cast<ZarnContext*>(source.variables.at("c").value.get());
    auto* cloned = dynamic_cast<ZarnContext*>(copy->variables.at("c").value.get());
    ASSERT_TRUE(original && cloned);
    EXPECT_NE(original->getContext(), cloned->getContext());
}

TEST(TargetContextTest, ParametersAreSetAfterTheTemplateAndPairedUpToTheShorterList)
{
    Target target;
    target.assignments = {set("a", str("template")), set("keep", str("k"))};
    target.parameterNames = {"a", "b", "unset"};
    Dependency dependency;
    dependency.target = QualifiedTargetName("", "", "dep");
    target.dependencies = {dependency};

    TargetContext instance(target, QualifiedTargetName("p", "u", "t"), {str("x"), integer(4)});
    EXPECT_EQ(text(instance.variables.at("a").value), "x");
    EXPECT_EQ(text(instance.variables.at("b").value), "4");
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
    EXPECT_EQ(TargetContext(QualifiedTargetName("p", "u", "t"), "a").parameterHash(), "af63dc4c8601ec8c");
    EXPECT_EQ(TargetContext(QualifiedTargetName("p", "u", "t"), "foobar").parameterHash(), "85944171f73967e8");
    EXPECT_EQ(TargetContext(QualifiedTargetName("p", "u", "t"), "").parameterHash(), "");

    EXPECT_EQ(TargetContext(QualifiedTargetName("p", "u", "t"), "").key(), "p/u::t");
    EXPECT_EQ(TargetContext(QualifiedTargetName("p", "", "t"), "").key(), "p/t");
    EXPECT_EQ(TargetContext(QualifiedTargetName("", "u", "t"), "").key(), "u::t");
    EXPECT_EQ(TargetContext(QualifiedTargetName("", "", "t"), "a").key(), "t@af63dc4c8601ec8c");
}

TEST(TargetContextTest, CopyKeepsNameVariablesAndParameterTextMoveTakesAll)
{
    Target target;
    target.parameterNames = {"p"};
    Dependency dependency;
    target.dependencies = {dependency};
    auto original = std::make_shared<TargetContext>(target, QualifiedTargetName("p", "u", "t"),
                                                    std::vector<ZarnValuePtr>{str("v")});
    auto copy = std::make_shared<TargetContext>(*original);
    EXPECT_EQ(copy->name.toString(), "p/u::t");
    EXPECT_EQ(copy->parameterText, "v");
    EXPECT_EQ(copy->key(), original->key());
    EXPECT_TRUE(copy->dependencies.empty());
    EXPECT_EQ(copy->variables.at("p").value, original->variables.at("p").value);

    // A move, unlike the copy, leaves nothing bound to the source.
    TargetContext moved(std::move(*original));
    original.reset();
    EXPECT_EQ(moved.dependencies.size(), 1u);
    EXPECT_EQ(moved.key(), copy->key());
    EXPECT_EQ(dynamic_cast<Resolvable*>(moved.variables.at("p").value.get())->getResolver(), &moved);
    EXPECT_EQ(resolved(moved, "p"), "v");

    std::shared_ptr<Context> asContext = copy;
    EXPECT_NE(std::dynamic_pointer_cast<TargetContext>(asContext), nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<TargetContext>(std::make_shared<Context>()), nullptr);
}

}  // namespace
