#include <stdexcept>

#include "types/zarn_interpolation.h"
#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;

class InterpolationTest : public testing::Test {
protected:
    void define(const std::vector<Assignment>& assignments)
    {
        for (const auto& assignment : assignments)
            context->addAssignment(assignment);
    }

    // A new string bound to the context, as a context binds the values it stores.
    std::shared_ptr<ZarnString> bound(const std::string& text)
    {
        auto value = std::make_shared<ZarnString>(text);
        value->setResolver(context.get());
        return value;
    }
    ZarnValuePtr resolve(const std::string& text) { return bound(text)->resolve(); }
    std::string errorIn(const std::string& text) { return messageOf([&] { resolve(text); }); }
    Words expanded(const std::string& text)
    {
        auto result = resolve(text);
        EXPECT_NE(dynamic_cast<ZarnList*>(result.get()), nullptr) << text << " gave no list";
        return walk(result);
    }

    ContextPtr context = std::make_shared<Context>();
};

TEST_F(InterpolationTest, ReferencesAreReplacedByTheValuesText)
{
    define({set("a", strings({"x", "y"})), set("n", integer(3)), set("s", str("${n}!")),
            set("blk", block({set("v", str("inner"))})), set("r", raw("<${n}>")), set("dollar", raw("$")),
            set("f", finalStr("fin")), set("m", raw("\x1A" "0\x1A"))});
    // A name ends at a blank; a raw text is expanded when interpolated; the
    // replacement is searched again from the start; marker bytes in texts
    // survive.
    const std::pair<const char*, const char*> cases[] = {
        {"plain text", "plain text"}, {"${a}", "x y"},      {"<${s}> ${N}", "<3!> 3"}, {"${a[1]}", "y"},
        {"${blk.v}", "inner"},        {"${a b}", "x y"},    {"${r}", "<3>"},           {"${dollar}{n}", "3"},
        {"\x1A" "0\x1A${f}${m}", "\x1A" "0\x1A" "fin\x1A" "0\x1A"},
    };
    for (const auto& [text, expected] : cases) {
        auto result = resolve(text);
        EXPECT_EQ(result->typeName(), "ZarnString") << text;
        EXPECT_EQ(result->toString(), expected) << text;
        EXPECT_EQ(dynamic_cast<ZarnString&>(*result).getResolver(), nullptr) << text;
        EXPECT_TRUE(isFinalText(*result)) << text;
    }
}

TEST_F(InterpolationTest, MissingVariablesAndErrorsInsideThemGiveEmptyTextAndAWarning)
{
    define({set("b", str("${c")), set("p", str("${1x}"))});
    std::string output = captureLog(0, [&] {
        EXPECT_EQ(resolve("[${a}]")->toString(), "[]");
        EXPECT_EQ(resolve("<${b}>")->toString(), "<>");
        EXPECT_EQ(resolve("<${p}>")->toString(), "<>");
    });
    EXPECT_EQ(output, "Variable 'a' does not exist.\nVariable 'b' does not exist.\nVariable 'p' does not exist.\n");
    EXPECT_EQ(messageOf([&] { context->lookup(ident("b")); }), "missing '}'");
}

TEST_F(InterpolationTest, CrossExpansionMakesOneCopyPerMember)
{
    define({set("d", strings({"a", "b"})), set("n", list({integer(1), integer(2)})), set("words", str("s  t")),
            set("blk", block({set("b", integer(1)), set("A", integer(2))})), set("which", str("d"))});
    // Back references repeat the member; the leftmost expansion varies slowest.
    const std::pair<const char*, Words> cases[] = {
        {"-I#{d}", {"-Ia", "-Ib"}}, {"#{d}.#{n}:#1#2", {"a.1:a1", "a.2:a2", "b.1:b1", "b.2:b2"}},
        {"#{words}", {"s", "t"}},   {"#{which}", {"d"}}, {"#{blk}", {"A", "b"}}, {"#{${which}}", {"a", "b"}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(expanded(text), expected) << text;
    // The string reads as its expansion afterwards, and is not expanded anew.
    auto value = bound("-I#{d}");
    value->resolve();
    EXPECT_EQ(value->toString(), "-Ia -Ib");
    EXPECT_TRUE(value->isFinal());
    EXPECT_EQ(value->resolve()->toString(), "-Ia -Ib");
}

TEST_F(InterpolationTest, BackReferenceRulesAndCrossExpansionErrors)
{
    define({set("a", strings({"p"}))});
    EXPECT_EQ(errorIn("v#1"), "unresolved cross expansion reference '#1'");
    EXPECT_EQ(errorIn("#1-#{a}"), "unresolved cross expansion reference '#1'");
    EXPECT_EQ(errorIn("#{missing}"), "Assignment 'missing' not found.");
    EXPECT_EQ(resolve("#{a}#x")->toString(), "p#x");
    EXPECT_EQ(resolve("#{x")->toString(), "#{x");  // unclosed: no cross expansion
}

TEST_F(InterpolationTest, FinalTextIsNeverExpandedAgain)
{
    define({set("file", finalStr("obj#1${x}.o")), set("files", list({finalStr("a#1.o"), finalStr("b${q}.o")})),
            set("dollar", finalStr("$")), set("x", str("EXPANDED"))});
    std::string output = captureLog(0, [&] {
        EXPECT_EQ(resolve("${file}")->toString(), "obj#1${x}.o");
        EXPECT_EQ(resolve("#{file}")->toString(), "obj#1${x}.o");
        EXPECT_EQ(expanded("-o #{files} #1"), (Words{"-o a#1.o a#1.o", "-o b${q}.o b${q}.o"}));
        EXPECT_EQ(resolve("${dollar}{x}")->toString(), "${x}");
    });
    EXPECT_EQ(output, "");
}

TEST_F(InterpolationTest, RunawayCrossExpansionIsRefused)
{
    define({set("deep", raw("#{deep}")), set("wide", raw("#{wide} #{wide}"))});
    EXPECT_EQ(errorIn("#{deep}"), "Cross expansion nested too deeply in '#{deep}'");
    EXPECT_EQ(errorIn("#{wide}"), "Cross expansion nested too deeply in '#{wide}'");
    std::vector<ZarnValuePtr> many;
    for (int i = 0; i < 400; ++i)
        many.push_back(integer(i));
    define({set("many", list(many))});
    EXPECT_EQ(errorIn("#{many}#{many}"), "Cross expansion of 'many' gives too many strings");
    EXPECT_EQ(expanded("#{many}").size(), 400u);
}

// A project's directory leads a path string but is never expanded; the
// mark survives copies and appends that keep those first bytes.
TEST_F(InterpolationTest, AVerbatimPrefixIsNeverExpanded)
{
    define({set("x", str("X")), set("arch", str("x86"))});
    const std::string dir = "/p${x}#{x}#1/";
    auto path = bound(dir + "inc/${arch}");
    path->setVerbatimPrefix(dir.size());
    auto copy = std::dynamic_pointer_cast<ZarnString>(path->clone());
    copy->setResolver(context.get());
    copy->append(*str("${x}"));
    auto other = std::dynamic_pointer_cast<ZarnString>(path->createFromString("/q${x}/inc"));
    other->setResolver(context.get());
    EXPECT_EQ(path->resolve()->toString(), dir + "inc/x86");
    EXPECT_EQ(copy->resolve()->toString(), dir + "inc/x86 X");
    EXPECT_EQ(other->getVerbatimPrefix(), 0u);
    EXPECT_EQ(other->resolve()->toString(), "/qX/inc");
}

