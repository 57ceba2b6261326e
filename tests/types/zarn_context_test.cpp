#include "types_test_support.h"

using namespace TypesTestSupport;

TEST(AssignmentTest, TextOfEveryOperatorWithAndWithoutValue)
{
    const struct { uint32_t type; bool withValue; const char* expected; } cases[] = {
        {1, true, "x = \"v\""},  {1, false, "x = "},  {2, true, "x += \"v\""}, {2, false, "x += "},
        {3, true, "x ?= \"v\""}, {3, false, "x ?= "}, {4, true, "x : \"v\""},  {4, false, "x"},
        {9, true, "x\"v\""},     {9, false, "x"},
    };
    for (const auto& c : cases) {
        Assignment a("x", c.withValue ? str("v") : nullptr, static_cast<Assignment::AssignType>(c.type));
        EXPECT_EQ(a.toString(), c.expected) << "type " << c.type;
    }
    EXPECT_EQ(set("l", list({num(1), num(-2)})).toString(), "l = [ 1, -2 ]");
}

TEST(AssignmentTest, EqualityOfValuesOfUnlikeKindsIsFalseWithoutThrowing)
{
    // Comparing an integer with a string, or a context value with anything
    // else, throws inside the values; the assignments just differ.
    Assignment number = set("x", num(5));
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


TEST(ContextMergeTest, SetIfUnsetOnPresentValueOnlyClearsResolvedMarkModeOneCopiesFlags)
{
    auto context = contextWith({set("x", str("kept")), declare("y")});
    context->variables.at("x").resolved = true;
    context->addAssignment(Assignment("x", str("other"), Assignment::SetIfUnset, 2), 1);
    const Assignment& x = context->variables.at("x");
    EXPECT_EQ(x.toString(), "x = \"kept\"");
    EXPECT_FALSE(x.resolved);
    EXPECT_EQ(x.flags, 0u);
    context->addAssignment(Assignment("y", str("now"), Assignment::SetIfUnset, 2), 1);
    EXPECT_EQ(getString(*context, "y"), "now");
    EXPECT_EQ(context->variables.at("y").flags, 2u);
    context->addAssignment(set("x", str("b"), 1), 0);
    EXPECT_EQ(context->variables.at("x").flags, 0u);
    context->addAssignment(set("x", str("c"), 1), 1);
    EXPECT_EQ(context->variables.at("x").flags, 1u);
}

TEST(ContextMergeTest, AppendKeepsFirstSpellingAndOperatorDeclareClearsTheValue)
{
    ContextPtr merged = ContextTemplate({set("x", str("a")), append("X", str("b"))}).createContext();
    ASSERT_EQ(merged->variables.size(), 1u);
    EXPECT_EQ(merged->variables.at("x").toString(), "x = \"a b\"");
    auto context = contextWith({append("x", str("v")), declare("X")});
    EXPECT_EQ(context->variables.at("x").toString(), "x += ");
    // Appending onto no value sets it.
    context->addAssignment(append("x", str("w")));
    EXPECT_EQ(getString(*context, "x"), "w");
    context->addAssignment(append("x", nullptr));
    EXPECT_EQ(getString(*context, "x"), "w");
}

TEST(ContextTest, AppendToListsWrapsCreatesAndAppendsWithoutBinding)
{
    ZarnValuePtr existing = list({str("a")});
    auto context = contextWith({Assignment("scalar", str("old"), Assignment::Append, 2), set("lst", existing)});
    context->appendToLists({set("scalar", str("new")), Assignment("fresh", str("${nothing}"), Assignment::Append, 1),
                            set("lst", str("b")), set("empty", nullptr)});

    EXPECT_EQ(context->variables.at("scalar").toString(), "scalar = [ \"old\", \"new\" ]");
    EXPECT_EQ(context->variables.at("scalar").flags, 2u);
    const Assignment& fresh = context->variables.at("fresh");
    EXPECT_EQ(fresh.toString(), "fresh = [ \"${nothing}\" ]");
    EXPECT_EQ(fresh.flags, 1u);
    EXPECT_EQ(dynamic_cast<ZarnList&>(*fresh.value).getResolver(), nullptr);
    EXPECT_EQ(dynamic_cast<Resolvable&>(*dynamic_cast<ZarnList&>(*fresh.value).getMembers()[0]).getResolver(), nullptr);
    EXPECT_EQ(context->variables.at("lst").value, existing);  // appended in place
    EXPECT_EQ(existing->toString(), "a b");
    EXPECT_EQ(context->variables.at("empty").value->toLiteral(), "[]");
}

TEST(ContextTest, PrintWritesBracesAndAssignmentTexts)
{
    auto context = contextWith({set("b", str("2")), declare("a")});
    EXPECT_EQ(captureOutput([&] { context->print(3); }), "{\na\nb = \"2\"\n}\n\n");
    EXPECT_EQ(captureOutput([&] { context->print(3); }, 4), "");
    TargetContext target(QualifiedTargetName("p", "u", "t"), "");
    target.addAssignment(set("x", num(1)));
    EXPECT_EQ(captureOutput([&] { target.print(2); }), "p/u::t\n{\nx = 1\n}\n\n");
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
}

TEST(ContextTest, ResolveVariablesLogsAndMemoises)
{
    auto context = contextWith({set("a", str("${b}-")), set("b", str("x"))});
    EXPECT_EQ(captureOutput([&] { context->resolveVariables(); }, 1), "Resolving variables.\n");
    EXPECT_TRUE(context->variables.at("a").resolved);
    EXPECT_EQ(getString(*context, "a"), "x-");
    // Memoised: a later change of b is not seen until a changes.
    context->addAssignment(set("b", str("y")));
    EXPECT_EQ(resolved(*context, "a"), "x-");
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
    captureOutput([&] { collected.resolveVariables(); }, 7);
    EXPECT_EQ(output->toString(), "${v}");
}

TEST(DeepCloneTest, ParameterValuesAreNotSharedWithTheDependingTarget)
{
    ZarnValuePtr depender = strings({"a"});
    TargetContext instance(QualifiedTargetName("", "u", "t"), {"p"}, {depender}, {}, {}, {});
    instance.addAssignment(append("p", str("b")));
    EXPECT_EQ(getString(instance, "p"), "a b");
    EXPECT_EQ(text(depender), "a");
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

TEST(DeepCloneTest, DeepCopySharesNothing)
{
    auto source = contextWith({set("c", block({set("y", str("v"))})), Assignment("x", str("a"), Assignment::Append, 1)});
    ContextPtr copy = source->deepCopy();
    ASSERT_EQ(copy->variables.size(), 2u);
    EXPECT_EQ(copy->variables.at("x").toString(), "x += \"a\"");
    EXPECT_EQ(copy->variables.at("x").flags, 1u);
    EXPECT_NE(copy->variables.at("x").value, source->variables.at("x").value);
    EXPECT_NE(dynamic_cast<ZarnContext&>(*source->variables.at("c").value).getContext(),
              dynamic_cast<ZarnContext&>(*copy->variables.at("c").value).getContext());
}

TEST(TargetContextTest, ParametersAreSetAfterTheTemplateAndPairedUpToTheShorterList)
{
    Target target;
    target.assignments = {set("a", str("template")), set("keep", str("k"))};
    target.parameterNames = {"a", "b", "unset"};
    target.dependencies = {Dependency()};
    TargetContext instance(target, QualifiedTargetName("p", "u", "t"), {str("x"), num(4)});
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
        {{"p", "u", "t"}, "foobar", "85944171f73967e8", "p/u::t@85944171f73967e8"},
        {{"p", "u", "t"}, "", "", "p/u::t"},
        {{"p", "", "t"}, "", "", "p/t"},
        {{"", "u", "t"}, "", "", "u::t"},
        {{"", "", "t"}, "a", "af63dc4c8601ec8c", "t@af63dc4c8601ec8c"},
    };
    for (const auto& c : cases) {
        TargetContext context(c.name, c.parameterText);
        EXPECT_EQ(context.parameterHash(), c.hash) << c.parameterText;
        EXPECT_EQ(context.key(), c.key);
    }
}

TEST(TargetContextTest, CopyKeepsNameVariablesAndParameterTextMoveTakesAll)
{
    Target target;
    target.parameterNames = {"p"};
    target.dependencies = {Dependency()};
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
    EXPECT_EQ(dynamic_cast<Resolvable&>(*moved.variables.at("p").value).getResolver(), &moved);
    EXPECT_EQ(resolved(moved, "p"), "v");
    std::shared_ptr<Context> asContext = copy;
    EXPECT_NE(std::dynamic_pointer_cast<TargetContext>(asContext), nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<TargetContext>(std::make_shared<Context>()), nullptr);
}
