#include <gtest/gtest.h>

#include <stdexcept>

#include "types/value_test_support.h"
#include "types/zarn_interpolation.h"

using namespace Zarn;
using namespace ValueTestSupport;

namespace {

class InterpolationTest : public testing::Test {
protected:
    void set(const std::string& name, ZarnValuePtr value)
    {
        context->addAssignment(Assignment(name, std::move(value), Assignment::Set), 0);
    }

    // Resolves a new string bound to the context.
    ZarnValuePtr resolve(const std::string& text) { return boundString(text, *context)->resolve(); }

    std::vector<std::string> resolvedTexts(const std::string& text)
    {
        auto result = resolve(text);
        EXPECT_NE(dynamic_cast<ZarnList*>(result.get()), nullptr) << text << " gave no list";
        return walkTexts(result);
    }

    std::string errorOf(const std::string& text)
    {
        return zarnErrorOf([&] { resolve(text); });
    }

    ContextPtr context = std::make_shared<Context>();
};

TEST_F(InterpolationTest, TextWithoutReferencesResolvesToAnEqualNewFinalString)
{
    auto value = boundString("plain text", *context);
    auto result = value->resolve();
    EXPECT_NE(result, value);
    EXPECT_EQ(result->typeName(), "ZarnString");
    EXPECT_EQ(result->toString(), "plain text");
    EXPECT_EQ(dynamic_cast<ZarnString&>(*result).getResolver(), nullptr);
    EXPECT_TRUE(dynamic_cast<ZarnString&>(*result).isFinal());
}

TEST_F(InterpolationTest, ReferencesAreReplacedByTheValuesText)
{
    set("a", stringList({"x", "y"}));
    set("n", number(3));
    set("s", makeString("${n}!"));
    set("l", stringList({"p", "q"}));
    set("blk", std::make_shared<ZarnContext>(contextWith({{"v", makeString("inner")}})));
    EXPECT_EQ(resolve("${a}")->toString(), "x y");
    EXPECT_EQ(resolve("<${s}> ${N}")->toString(), "<3!> 3");
    EXPECT_EQ(resolve("${l[1]}")->toString(), "q");
    EXPECT_EQ(resolve("${blk.v}")->toString(), "inner");
    EXPECT_EQ(resolve("${a b}")->toString(), "x y");  // the name ends at the blank
}

TEST_F(InterpolationTest, MissingVariableGivesEmptyTextAndAWarning)
{
    std::string output = capturedOutput([&] { EXPECT_EQ(resolve("[${a}]")->toString(), "[]"); });
    EXPECT_EQ(output, "Variable 'a' does not exist.\n");
}

TEST_F(InterpolationTest, MalformedReferencesFailAndLeaveTheTextAlone)
{
    EXPECT_EQ(errorOf("${a"), "missing '}'");
    EXPECT_EQ(errorOf("${a${b}}"), "nested ${} is not allowed");
    EXPECT_EQ(errorOf("${}"), "Invalid reference '': Empty identifier at position 0");
    EXPECT_EQ(errorOf("x ${1a}"), "Invalid reference '1a': Invalid identifier start at position 0");

    auto value = boundString("keep ${a", *context);
    EXPECT_THROW(value->resolve(), ZarnException);
    EXPECT_EQ(value->toString(), "keep ${a");
    EXPECT_FALSE(value->isFinal());
}

TEST_F(InterpolationTest, ErrorsInsideAReferredVariableBecomeWarnings)
{
    set("b", makeString("${c"));
    set("p", makeString("${1x}"));
    std::string output = capturedOutput([&] {
        EXPECT_EQ(resolve("<${b}>")->toString(), "<>");
        EXPECT_EQ(resolve("<${p}>")->toString(), "<>");
    });
    EXPECT_EQ(output, "Variable 'b' does not exist.\nVariable 'p' does not exist.\n");
    EXPECT_EQ(zarnErrorOf([&] { context->lookup(parsedIdentifier("b")); }), "missing '}'");
}

TEST_F(InterpolationTest, RawStringMetAgainWhileExpandingItselfIsOutOfRange)
{
    set("r", rawString("${r}"));
    try {
        resolve("${r}");
        FAIL() << "no error";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "r");
    }
}

TEST_F(InterpolationTest, RawTextIsExpandedWhenInterpolated)
{
    set("x", makeString("ex"));
    set("r", rawString("<${x}>"));
    EXPECT_EQ(resolve("${r}")->toString(), "<ex>");
}

TEST_F(InterpolationTest, ReferenceCyclesEndWithAWarning)
{
    set("a", makeString("${a}"));
    set("b", makeString("${c}"));
    set("c", makeString("[${b}]"));
    std::string output = capturedOutput([&] { context->resolveVariables(); });
    EXPECT_EQ(getString(*context, "a"), "");
    EXPECT_EQ(getString(*context, "b"), "[]");
    EXPECT_NE(output.find("Variable 'a' does not exist.\n"), std::string::npos);
    EXPECT_NE(output.find("Variable 'b' does not exist.\n"), std::string::npos);
}

TEST_F(InterpolationTest, CrossExpansionCycleIsAnOrderlyError)
{
    set("a", makeString("#{a}"));
    EXPECT_NE(zarnErrorOf([&] { context->resolveVariables(); }), "");
}

TEST_F(InterpolationTest, CrossExpansionMakesOneCopyPerMember)
{
    set("d", stringList({"a", "b"}));
    EXPECT_EQ(resolvedTexts("-I#{d}"), (std::vector<std::string>{"-Ia", "-Ib"}));
}

TEST_F(InterpolationTest, BackReferencesRepeatTheMemberWithTheLeftmostVaryingSlowest)
{
    set("a", stringList({"p", "q"}));
    set("b", listOf({number(1), number(2)}));
    EXPECT_EQ(resolvedTexts("#{a}.#{b}:#1#2"),
              (std::vector<std::string>{"p.1:p1", "p.2:p2", "q.1:q1", "q.2:q2"}));
}

TEST_F(InterpolationTest, CrossExpansionWalksTheMembersOfEveryKind)
{
    set("s", makeString("s"));
    set("words", makeString("s  t"));
    set("blk", std::make_shared<ZarnContext>(contextWith({{"b", number(1)}, {"A", number(2)}})));
    EXPECT_EQ(resolvedTexts("#{s}"), (std::vector<std::string>{"s"}));
    EXPECT_EQ(resolvedTexts("#{words}"), (std::vector<std::string>{"s", "t"}));
    EXPECT_EQ(resolvedTexts("#{blk}"), (std::vector<std::string>{"A", "b"}));
}

TEST_F(InterpolationTest, CrossExpansionOverNoMembersGivesNoCopies)
{
    set("n", number(7));
    set("e", listOf({}));
    set("blank", makeString("   "));
    set("d", stringList({"a", "b"}));
    for (const char* text : {"-I#{n}", "-I#{e}", "-I#{blank}", "#{d}#{e}"}) {
        auto value = boundString(text, *context);
        auto result = value->resolve();
        ASSERT_NE(dynamic_cast<ZarnList*>(result.get()), nullptr) << text;
        EXPECT_TRUE(walkTexts(result).empty()) << text;
        EXPECT_EQ(value->toString(), "") << text;
    }
}

TEST_F(InterpolationTest, BackReferenceRules)
{
    set("a", stringList({"p"}));
    EXPECT_EQ(errorOf("v#1"), "unresolved cross expansion reference '#1'");
    EXPECT_EQ(errorOf("#{a}#12"), "unresolved cross expansion reference '#12'");
    EXPECT_EQ(errorOf("#1-#{a}"), "unresolved cross expansion reference '#1'");
    EXPECT_EQ(resolve("#{a}#x")->toString(), "p#x");
    EXPECT_EQ(resolve("#{x")->toString(), "#{x");  // unclosed: no cross expansion
}

TEST_F(InterpolationTest, StrayHashesAndBracesBeforeTheFirstCrossExpansionAreSkipped)
{
    set("x", stringList({"1", "2"}));
    EXPECT_EQ(resolvedTexts("a#b #{x}"), (std::vector<std::string>{"a#b 1", "a#b 2"}));
    EXPECT_EQ(resolvedTexts("}{ #{x}"), (std::vector<std::string>{"}{ 1", "}{ 2"}));
}

TEST_F(InterpolationTest, CrossExpansionLookupFailureIsAnError)
{
    EXPECT_EQ(errorOf("#{missing}"), "Assignment 'missing' not found.");
}

TEST_F(InterpolationTest, InterpolatedNameCanSelectTheCrossExpansion)
{
    set("which", makeString("d"));
    set("d", stringList({"a", "b"}));
    EXPECT_EQ(resolvedTexts("#{${which}}"), (std::vector<std::string>{"a", "b"}));
}

TEST_F(InterpolationTest, ResolvedStringReadsAsItsExpansion)
{
    set("d", stringList({"a", "b"}));
    auto value = boundString("-I#{d}", *context);
    value->resolve();
    EXPECT_EQ(value->toString(), "-Ia -Ib");
    EXPECT_TRUE(value->isFinal());
    // Resolving again gives the same text without expanding it anew.
    EXPECT_EQ(value->resolve()->toString(), "-Ia -Ib");
}

TEST_F(InterpolationTest, FinalTextIsNeverExpandedAgain)
{
    set("file", finalString("obj#1${x}.o"));
    set("files", listOf({finalString("a#1.o"), finalString("b${q}.o")}));
    set("dollar", finalString("$"));
    set("x", makeString("EXPANDED"));
    std::string output = capturedOutput([&] {
        EXPECT_EQ(resolve("${file}")->toString(), "obj#1${x}.o");
        EXPECT_EQ(resolve("#{file}")->toString(), "obj#1${x}.o");
        EXPECT_EQ(resolvedTexts("-o #{files} #1"), (std::vector<std::string>{"-o a#1.o a#1.o", "-o b${q}.o b${q}.o"}));
        EXPECT_EQ(resolve("${dollar}{x}")->toString(), "${x}");
    });
    EXPECT_EQ(output, "");
}

TEST_F(InterpolationTest, ReplacementTextIsSearchedAgainFromTheStart)
{
    set("dollar", rawString("$"));
    set("x", makeString("ex"));
    EXPECT_EQ(resolve("${dollar}{x}")->toString(), "ex");
}

TEST_F(InterpolationTest, MarkerBytesInTextsSurviveExpansion)
{
    const std::string marker = "\x1A" "0\x1A";
    set("f", finalString("fin"));
    set("r", rawString(marker));
    EXPECT_EQ(resolve(marker + "${f}${r}")->toString(), marker + "fin" + marker);
}

TEST_F(InterpolationTest, RunawayCrossExpansionIsRefused)
{
    set("deep", rawString("#{deep}"));
    set("wide", rawString("#{wide} #{wide}"));
    EXPECT_EQ(errorOf("#{deep}"), "Cross expansion nested too deeply in '#{deep}'");
    EXPECT_EQ(errorOf("#{wide}"), "Cross expansion nested too deeply in '#{wide}'");

    std::vector<ZarnValuePtr> many;
    for (int i = 0; i < 400; ++i)
        many.push_back(number(i));
    set("many", listOf(many));
    EXPECT_EQ(errorOf("#{many}#{many}"), "Cross expansion of 'many' gives too many strings");
    EXPECT_EQ(resolvedTexts("#{many}").size(), 400u);
}

TEST_F(InterpolationTest, ResolvingACopyLeavesTheOriginalUnexpanded)
{
    set("x", makeString("one"));
    auto original = boundString("${x}", *context);
    auto copy = original->deepClone();
    dynamic_cast<Resolvable&>(*copy).setResolver(context.get());
    EXPECT_EQ(dynamic_cast<Resolvable&>(*copy).resolve()->toString(), "one");
    EXPECT_EQ(copy->toString(), "one");
    EXPECT_EQ(original->toString(), "${x}");
    EXPECT_FALSE(original->isFinal());
}

TEST(ExpansionStateTest, RestoreLeavesForeignMarkersAlone)
{
    ExpansionState state;
    std::string token = state.protect("kept");
    EXPECT_EQ(state.restore("a" + token + "b"), "akeptb");
    EXPECT_EQ(state.restore("\x1A" "9\x1A" "x\x1A"), "\x1A" "9\x1A" "x\x1A");
    EXPECT_EQ(state.restore(state.shield("\x1A" "0\x1A")), "\x1A" "0\x1A");
}

TEST(InterpolationWithoutResolverTest, LookupsFailInAnOrderlyWay)
{
    std::string output =
        capturedOutput([] { EXPECT_EQ(dynamic_cast<ZarnString&>(*makeString("a${x}b")).resolve()->toString(), "ab"); });
    EXPECT_EQ(output, "Variable 'x' does not exist.\n");
    EXPECT_EQ(zarnErrorOf([] { dynamic_cast<ZarnString&>(*makeString("#{x}")).resolve(); }),
              "Assignment 'x' not found.");
}

TEST(MatchHashNumberTest, MeasuresBackReferenceTokens)
{
    EXPECT_EQ(matchHashNumber("#12x", 0), 3u);
    EXPECT_EQ(matchHashNumber("a#1", 1), 2u);
    EXPECT_EQ(matchHashNumber("#x", 0), 0u);
    EXPECT_EQ(matchHashNumber("#", 0), 0u);
    EXPECT_EQ(matchHashNumber("#1", 2), 0u);
    EXPECT_EQ(matchHashNumber("a1", 0), 0u);
}

}  // namespace
