#include <stdexcept>

#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;

TEST(LookupTest, NamesIndexesAndNestedContexts)
{
    auto context = contextWith({
        set("a", str("${b}")), set("b", str("x")), set("name", str("v")), set("s", str("hello")),
        set("l", list({str("a"), str("${name}"), strings({"p", "q"})})), set("i", integer(1)), set("key", str("m")),
        set("c", block({set("d", block({set("e", str("deep"))})), set("b", str("inner")), set("y", str("${b}")),
                         set("m", str("member"))})),
    });
    // Values inside a block are bound to the block's resolver, the outer
    // context: "${b}" there is looked up outside the block. A member is
    // resolved through its own resolver; an integer variable gives an index,
    // a string variable a name.
    const std::pair<const char*, const char*> cases[] = {
        {"A", "x"},        {"c.d.e", "deep"}, {"c.y", "x"},     {"l[1]", "v"},
        {"l[2][1]", "q"},  {"s[1..3]", "el"}, {"l[i]", "v"},    {"c[key]", "member"},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(resolved(*context, name), expected) << name;
    EXPECT_TRUE(context->variables.at("a").resolved);
}

TEST(LookupTest, IndexChainsStartFromTheStoredValue)
{
    auto context = contextWith({set("list", strings({"x"})), set("z", str("${list}"))});
    EXPECT_EQ(resolved(*context, "z[0]"), "$");
    context->resolveVariables();
    EXPECT_EQ(resolved(*context, "z[0]"), "x");
}

TEST(LookupTest, Failures)
{
    auto context = contextWith({set("a", idValue("target")), set("target", block({set("b", str("1"))})),
                                set("l", strings({"a"})), declare("bare"), set("lk", list({integer(0)}))});
    auto lookup = [&](const char* name) { return [&context, name] { context->lookup(ident(name)); }; };
    EXPECT_EQ(messageOf<IdentifierError>(lookup("a.b")), "Identifier part must be context. a. <<");
    EXPECT_EQ(messageOf<NotFoundException>(lookup("x")), "Assignment 'x' not found.");
    EXPECT_EQ(messageOf<std::out_of_range>(lookup("missing[0]")), "map::at");
    EXPECT_EQ(messageOf<std::invalid_argument>(lookup("l[bare]")), "key value is null");
    EXPECT_EQ(messageOf<std::runtime_error>(lookup("l[lk]")), "Unsupported key type: [ 0 ]");
    // A variable without value is neither indexed nor entered.
    EXPECT_THROW(lookup("bare[0]")(), IndexException);
    EXPECT_THROW(lookup("bare.x")(), IdentifierError);
    EXPECT_THROW(context->getAssignment({}), InternalError);
}

// Reference cycles end in an orderly way: inside ${} as the missing-variable
// warning and an empty text, elsewhere as an error.
TEST(ReferenceCycleTest, InterpolationCyclesEndWithAWarning)
{
    auto context = contextWith({set("self", str("<${self}>")), set("a", str("a${b}")), set("b", str("b${a}"))});
    std::string output = captureLog(6, [&] { context->resolveVariables(); });
    EXPECT_EQ(getString(*context, "self"), "<>");
    EXPECT_EQ(getString(*context, "a"), "ab");
    EXPECT_EQ(getString(*context, "b"), "b");
    EXPECT_NE(output.find("Variable 'self' does not exist.\n"), std::string::npos);
    EXPECT_NE(output.find("Variable 'a' does not exist.\n"), std::string::npos);
}

TEST(ReferenceCycleTest, CrossExpansionAndIdentifierCyclesFail)
{
    auto context = contextWith({set("x", str("#{x}"))});
    EXPECT_EQ(messageOf([&] { context->resolveVariables(); }), "Reference cycle at variable 'x'.");
    EXPECT_FALSE(context->variables.at("x").resolving.isSet());
    auto identifiers = contextWith({set("a", idValue("b")), set("b", idValue("a"))});
    EXPECT_THROW(identifiers->resolveVariables(), ZarnException);
}

TEST(ReferenceCycleTest, ListMemberReferringToItsOwnListEnds)
{
    auto context = contextWith({set("l", strings({"${l[0]}"})), set("ok", strings({"a", "${ok[0]}"}))});
    std::string output = captureLog(6, [&] { context->resolveVariables(); });
    EXPECT_EQ(getString(*context, "l"), "");
    EXPECT_EQ(getString(*context, "ok"), "a a");
    EXPECT_NE(output.find("Variable 'l[0]' does not exist.\n"), std::string::npos);
}

TEST(ImplicitContextTest, OverridesAndFailures)
{
    auto target = contextWith({set("kept", str("mine")), set("lst", strings({"a"})), set("ref", idValue("somewhere"))});
    auto defaults = contextWith({set("kept", str("theirs"), 2), set("new", str("n"), 2)});
    target->addImplicitContext(*defaults, Assignment::SetIfUnset, true, 1);
    EXPECT_EQ(getString(*target, "kept"), "mine");
    EXPECT_EQ(target->variables.at("kept").flags, 0u);
    const Assignment& added = target->variables.at("new");
    EXPECT_EQ(added.toString(), "new ?= \"n\"");
    EXPECT_EQ(added.flags, 2u);

    auto outputs = contextWith({set("lst", str("b")), set("ref", str("x"))});
    std::vector<Assignment> failed;
    std::string log =
        captureLog(2, [&] { failed = target->addImplicitContext(*outputs, Assignment::Append, false, 0); });
    EXPECT_EQ(getString(*target, "lst"), "a b");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].toString(), "ref += \"x\"");
    EXPECT_EQ(log, "Exception when adding implicit context: somewhere is not resolved yet and '\"x\"' cannot be "
                   "appended to it.\n");

    auto numbers = contextWith({set("kept", integer(3))});
    auto texts = contextWith({set("n", integer(1)), set("kept", str("s"))});
    EXPECT_THROW(numbers->addImplicitContext(*texts, Assignment::Append, false, 0), BadConversion);
}
