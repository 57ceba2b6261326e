#include <gtest/gtest.h>

#include <stdexcept>

#include "types/zarn_context_types.h"
#include "types/zarn_exceptions.h"
#include "context_test_support.h"

using namespace Zarn;
using namespace ContextTestSupport;

namespace {

TEST(LookupTest, SingleNameResolvesAndMemoises)
{
    Context context;
    context.addAssignment(set("a", str("${b}")));
    context.addAssignment(set("b", str("x")));
    EXPECT_EQ(resolved(context, "A"), "x");
    EXPECT_TRUE(context.variables.at("a").resolved);
}

TEST(LookupTest, DottedNamesWalkNestedContextValues)
{
    Context context;
    context.addAssignment(set("x", str("outer")));
    context.addAssignment(set("c", contextValue({set("d", contextValue({set("e", str("deep"))})),
                                                 set("y", str("${x}"))})));
    EXPECT_EQ(resolved(context, "c.d.e"), "deep");
    // Values inside a block are bound to the block's resolver, the outer
    // context: a reference there is looked up outside the block.
    EXPECT_EQ(resolved(context, "c.y"), "outer");
}

TEST(LookupTest, IndexChainsPickMembersAndResolveThem)
{
    Context context;
    context.addAssignment(set("name", str("v")));
    context.addAssignment(set("l", list({str("a"), str("${name}"), list({str("p"), str("q")})})));
    context.addAssignment(set("s", str("hello")));
    context.addAssignment(set("i", integer(1)));
    context.addAssignment(set("key", str("m")));
    context.addAssignment(set("c", contextValue({set("m", str("member"))})));

    EXPECT_EQ(resolved(context, "l[1]"), "v");  // resolved through its own resolver
    EXPECT_EQ(resolved(context, "l[2][1]"), "q");
    EXPECT_EQ(resolved(context, "s[1..3]"), "el");
    EXPECT_EQ(resolved(context, "l[i]"), "v");      // an integer variable gives an index
    EXPECT_EQ(resolved(context, "c[key]"), "member");  // a string variable gives a name
}

TEST(LookupTest, IndexChainsStartFromTheStoredValue)
{
    Context context;
    context.addAssignment(set("list", list({str("x")})));
    context.addAssignment(set("z", str("${list}")));
    EXPECT_EQ(resolved(context, "z[0]"), "$");
    context.resolveVariables();
    EXPECT_EQ(resolved(context, "z[0]"), "x");
}

TEST(LookupTest, IndexKeysFromVariablesOfOtherKindsFail)
{
    Context context;
    context.addAssignment(set("l", list({str("a")})));
    context.addAssignment(Assignment("bare", nullptr, Assignment::Declare));
    context.addAssignment(set("lk", list({integer(0)})));
    try {
        context.lookup(ident("l[bare]"));
        FAIL() << "no exception";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "key value is null");
    }
    try {
        context.lookup(ident("l[lk]"));
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Unsupported key type: [ 0 ]");
    }
}

TEST(LookupTest, FailuresOfNameChains)
{
    Context context;
    context.addAssignment(set("a", idValue("target")));
    context.addAssignment(set("target", contextValue({set("b", str("1"))})));
    context.addAssignment(set("c", contextValue({set("b", str("1"))})));

    try {
        context.lookup(ident("a.b"));
        FAIL() << "no exception";
    } catch (const IdentifierError& error) {
        EXPECT_EQ(error.getMessage(), "Identifier part must be context. a. <<");
    }
    try {
        context.lookup(ident("missing.b"));
        FAIL() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "map::at");
    }
    try {
        context.lookup(ident("missing[0]"));
        FAIL() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "map::at");
    }
    try {
        context.lookup(ident("x"));
        FAIL() << "no exception";
    } catch (const NotFoundException& error) {
        EXPECT_EQ(error.getMessage(), "Assignment 'x' not found.");
    }
    try {
        context.lookup(ident("c.y"));
        FAIL() << "no exception";
    } catch (const NotFoundException& error) {
        EXPECT_EQ(error.getMessage(), "Assignment 'y' not found.");
    }
    EXPECT_THROW(context.getAssignment({}), InternalError);
}

TEST(LookupTest, IndexingAVariableWithoutValueIsAnOrderlyError)
{
    Context context;
    context.addAssignment(Assignment("bare", nullptr, Assignment::Declare));
    EXPECT_THROW(context.lookup(ident("bare[0]")), IndexException);
    EXPECT_THROW(context.lookup(ident("bare.x")), IdentifierError);
}

TEST(LookupTest, GetAssignmentReturnsTheStoredAssignment)
{
    Context context;
    context.addAssignment(set("c", contextValue({set("b", str("1"))})));
    Assignment& nested = context.getAssignment({std::string("c"), std::string("B")});
    EXPECT_EQ(nested.name, "b");
    nested.setValue(str("2"));
    EXPECT_EQ(resolved(context, "c.b"), "2");
}

// Reference cycles end in an orderly way: inside ${} as the missing-variable
// warning and an empty text, elsewhere as an error.
TEST(ReferenceCycleTest, InterpolationCyclesEndWithAWarning)
{
    Context context;
    context.addAssignment(set("self", str("<${self}>")));
    context.addAssignment(set("a", str("a${b}")));
    context.addAssignment(set("b", str("b${a}")));
    std::string output = captureOutput([&] { context.resolveVariables(); }, 6);
    EXPECT_EQ(text(context.variables.at("self").value), "<>");
    EXPECT_EQ(text(context.variables.at("a").value), "ab");
    EXPECT_EQ(text(context.variables.at("b").value), "b");
    EXPECT_NE(output.find("Variable 'self' does not exist.\n"), std::string::npos);
    EXPECT_NE(output.find("Variable 'a' does not exist.\n"), std::string::npos);
}

TEST(ReferenceCycleTest, CrossExpansionAndIdentifierCyclesFail)
{
    Context context;
    context.addAssignment(set("x", str("#{x}")));
    try {
        context.resolveVariables();
        FAIL() << "no exception";
    } catch (const ZarnException& error) {
        EXPECT_EQ(error.getMessage(), "Reference cycle at variable 'x'.");
    }
    EXPECT_FALSE(context.variables.at("x").resolving.isSet());

    Context identifiers;
    identifiers.addAssignment(set("a", idValue("b")));
    identifiers.addAssignment(set("b", idValue("a")));
    EXPECT_THROW(identifiers.resolveVariables(), ZarnException);
}

TEST(ReferenceCycleTest, MarkIsClearedWhenAnExceptionPasses)
{
    Context context;
    context.addAssignment(set("a", str("#{b}")));
    EXPECT_THROW(context.lookup(ident("a")), NotFoundException);
    EXPECT_FALSE(context.variables.at("a").resolving.isSet());
    context.addAssignment(set("b", list({str("1"), str("2")})));
    EXPECT_EQ(resolved(context, "a"), "1 2");
}

TEST(ReferenceCycleTest, ListMemberReferringToItsOwnListEnds)
{
    Context context;
    context.addAssignment(set("l", list({str("${l[0]}")})));
    context.addAssignment(set("ok", list({str("a"), str("${ok[0]}")})));
    std::string output = captureOutput([&] { context.resolveVariables(); }, 6);
    EXPECT_EQ(text(context.variables.at("l").value), "");
    EXPECT_EQ(text(context.variables.at("ok").value), "a a");
    EXPECT_NE(output.find("Variable 'l[0]' does not exist.\n"), std::string::npos);
}

TEST(ImplicitContextTest, OverridesAndFailures)
{
    Context target;
    target.addAssignment(set("kept", str("mine")));
    target.addAssignment(set("lst", list({str("a")})));
    target.addAssignment(set("ref", idValue("somewhere")));

    Context defaults;
    defaults.addAssignment(Assignment("kept", str("theirs"), Assignment::Set, 2));
    defaults.addAssignment(Assignment("new", str("n"), Assignment::Set, 2));
    target.addImplicitContext(defaults, Assignment::SetIfUnset, true, 1);
    EXPECT_EQ(text(target.variables.at("kept").value), "mine");
    EXPECT_EQ(target.variables.at("kept").flags, 0u);
    EXPECT_EQ(text(target.variables.at("new").value), "n");
    EXPECT_EQ(target.variables.at("new").type, Assignment::SetIfUnset);
    EXPECT_EQ(target.variables.at("new").flags, 2u);

    Context outputs;
    outputs.addAssignment(set("lst", str("b")));
    outputs.addAssignment(set("ref", str("x")));
    std::vector<Assignment> failed;
    std::string log = captureOutput([&] { failed = target.addImplicitContext(outputs, Assignment::Append, false, 0); }, 2);
    EXPECT_EQ(text(target.variables.at("lst").value), "a b");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].name, "ref");
    EXPECT_EQ(failed[0].type, Assignment::Append);
    EXPECT_EQ(log, "Exception when adding implicit context: somewhere is not resolved yet and '\"x\"' cannot be "
                   "appended to it.\n");

    Context numbers;
    numbers.addAssignment(set("kept", integer(3)));
    Context strings;
    strings.addAssignment(set("n", integer(1)));
    strings.addAssignment(set("kept", str("s")));
    EXPECT_THROW(numbers.addImplicitContext(strings, Assignment::Append, false, 0), BadConversion);
}

TEST(ImplicitContextTest, OverrideZeroKeepsOperatorsAndResolvedMarks)
{
    Context base;
    base.addAssignment(set("x", str("v")));
    base.addAssignment(append("y", str("w")));
    base.resolveVariables();
    base.conditions.push_back(condition("x", Condition::Test, nullptr, {set("hit", str("1"))}));

    Context target;
    EXPECT_TRUE(target.addImplicitContext(base, 0, true, 0).empty());
    EXPECT_TRUE(target.variables.at("x").resolved);
    EXPECT_EQ(target.variables.at("y").type, Assignment::Append);
    EXPECT_EQ(target.conditions.size(), 1u);

    Context without;
    without.addImplicitContext(base, 0, false, 0);
    EXPECT_TRUE(without.conditions.empty());
}

}  // namespace
