#include <gtest/gtest.h>

#include "test_support.h"

using namespace TestSupport;

TEST(VisitorValues, EachLiteralAndKindOfText)
{
    const int unit = SourceKind::Unit, project = SourceKind::Project, registry = SourceKind::Registry;
    const struct {
        const char* text;
        int kind;
        const char* value;
    } cases[] = {
        {R"(v = "a ${x} \n")", unit, R"(ZarnString a ${x} \n)"},
        {R"~(v = R"(x "q" y)")~", unit, R"(ZarnRawString x "q" y)"},
        {"v = 2147483647", unit, "ZarnInt 2147483647"},
        {"v = a[-1][0:5].b[x.y]", unit, "ZarnIdentifier a[18446744073709551615][0..5].b[x.y]"},
        {"v = [1, \"x\", [2, 3]]", unit, "ZarnList 1 x 2 3"},
        // A path literal keeps its base ("@"), but a project file makes it absolute text.
        {R"~(v = P"(src/*.c)")~", unit, "ZarnString src/*.c @/base"},
        {R"~(v = P"(bin)")~", registry, "ZarnString bin @/base"},
        {R"~(v = P"(src/a.c)")~", project, "ZarnString /base/src/a.c"},
        // A block is a value only in unit texts.
        {"v = [1, { a = 1 }]", unit, "ZarnList 1 a"},
        {"v = { a = 1 }", project, "(none)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe(visitAssignmentText(c.text, c.kind).value), c.value) << c.text;
    EXPECT_THROW(visitAssignmentText("v = 2147483648"), std::out_of_range);
    EXPECT_EQ(messageOf<std::runtime_error>([] { visitAssignmentText("v = [1, { a = 1 }]", SourceKind::Project); }),
              "List member cannot be a block in this context.");
}

TEST(VisitorIdentifiers, PatternIndexIsRefused)
{
    EXPECT_EQ(messageOf<std::runtime_error>([] { visitAssignmentText(R"~(v = a[R"(x.*)"])~"); }),
              R"~(A pattern index (R"(x.*)") is not supported.)~");
}

TEST(VisitorAssignments, OperatorsAndModifiers)
{
    for (const auto& [text, expected] : std::vector<std::pair<const char*, const char*>> {
             {"a = 1", "1/0 a=ZarnInt 1"}, {"a += 1", "2/0 a=ZarnInt 1"}, {"a ?= 1", "3/0 a=ZarnInt 1"},
             {"a", "4/0 a=(none)"}, {"^a = 1", "1/1 a=ZarnInt 1"}})
        EXPECT_EQ(summary(visitAssignmentText(text)), expected);
    // "!" only in the registry or in tool definitions.
    EXPECT_EQ(summary(visitAssignmentText("!cc = 1", SourceKind::Registry)), "1/2 cc=ZarnInt 1");
    EXPECT_EQ(summary(visitAssignmentText("!cc = 1", SourceKind::Unit, true)), "1/2 cc=ZarnInt 1");
    for (int kind : {int(SourceKind::Unit), int(SourceKind::Project)})
        EXPECT_EQ(messageOf<std::runtime_error>([kind] { visitAssignmentText("!cc = 1", kind); }),
                  "'!' assignment modifier is not allowed in this context.");
}

TEST(VisitorBlocks, AssignmentsComeBeforeConditionalBlocks)
{
    auto unit = visitUnitText(R"(t: {
            a = 1
            if debug { b = 2 if os = linux { c = 3 } }
            d = 4
            if v != 1 {} if v < 1 {} if level > 2 { e = 5 }
        })");
    EXPECT_EQ(outline(&unit->targets.at("t")),
              "{1/0 a=ZarnInt 1; 1/0 d=ZarnInt 4; [5 ZarnIdentifier debug (none) {1/0 b=ZarnInt 2; "
              "[1 ZarnIdentifier os ZarnIdentifier linux {1/0 c=ZarnInt 3; }]}]"
              "[2 ZarnIdentifier v ZarnInt 1 {}][3 ZarnIdentifier v ZarnInt 1 {}]"
              "[4 ZarnIdentifier level ZarnInt 2 {1/0 e=ZarnInt 5; }]}");
}

TEST(VisitorBlocks, BlockOperandOfAComparisonIsRefusedOutsideUnits)
{
    EXPECT_EQ(messageOf<std::runtime_error>([] { visitProjectText("profiles { p { if x = { y = 1 } { z = 2 } } }"); }),
              "Condition operand cannot be a block in this context.");
    // In a unit file the block is a context value and the condition stands.
    auto unit = visitUnitText("t: { if x = { y = 1 } { z = 2 } }");
    EXPECT_EQ(unit->targets.at("t").conditions.at(0).rhs->typeName(), "ZarnContext");
}
