#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "loader/visit_support.h"
#include "types/zarn_context_value.h"
#include "types/zarn_path_string.h"
#include "types/zarn_value_types.h"

using LoaderTest::Parsed;
using LoaderTest::visitAssignmentText;
using LoaderTest::visitUnitText;

namespace {

Zarn::ZarnValuePtr valueOf(const std::string& text, int kind = SourceKind::Unit)
{
    return visitAssignmentText(text, kind).value;
}

}  // namespace

TEST(VisitorValues, LiteralsBecomeTheirValueClasses)
{
    struct Case {
        const char* text;
        const char* typeName;
        const char* content;
    };
    const Case cases[] = {
        {R"(v = "a ${x} \n")", "ZarnString", R"(a ${x} \n)"},
        {R"(v = "")", "ZarnString", ""},
        {R"~(v = R"(x "q" y)")~", "ZarnRawString", R"(x "q" y)"},
        {R"~(v = R"()")~", "ZarnRawString", ""},
        {"v = 2147483647", "ZarnInt", "2147483647"},
        {"v = -12", "ZarnInt", "-12"},
        {"v = a.b[1][2:3][c]", "ZarnIdentifier", "a.b[1][2..3][c]"},
        {"v = [1, \"x\", [2, 3]]", "ZarnList", "1 x 2 3"},
        {"v = []", "ZarnList", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto value = valueOf(c.text);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->typeName(), c.typeName);
        EXPECT_EQ(value->toString(), c.content);
    }
}

TEST(VisitorValues, NumbersOutOfRangeFailWithTheConversionError)
{
    EXPECT_THROW(valueOf("v = 2147483648"), std::out_of_range);
    EXPECT_THROW(valueOf("v = -2147483649"), std::out_of_range);
}

TEST(VisitorValues, PathLiteralDependsOnTheKindOfText)
{
    auto unitPath = valueOf(R"~(v = P"(src/*.c)")~", SourceKind::Unit);
    auto* path = dynamic_cast<Zarn::ZarnPathString*>(unitPath.get());
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->toString(), "src/*.c");
    EXPECT_EQ(path->getBaseDirectory(), "/base");

    auto projectPath = valueOf(R"~(v = P"(src/a.c)")~", SourceKind::Project);
    EXPECT_EQ(dynamic_cast<Zarn::ZarnPathString*>(projectPath.get()), nullptr);
    EXPECT_EQ(projectPath->typeName(), "ZarnString");
    EXPECT_EQ(projectPath->toString(), "/base/src/a.c");

    auto absolute = valueOf(R"~(v = P"(/opt/x)")~", SourceKind::Project);
    EXPECT_EQ(absolute->toString(), "/opt/x");

    auto registryPath = valueOf(R"~(v = P"(bin)")~", SourceKind::Registry);
    ASSERT_NE(dynamic_cast<Zarn::ZarnPathString*>(registryPath.get()), nullptr);
}

TEST(VisitorValues, BlockValueOnlyInUnitTexts)
{
    auto inUnit = valueOf("v = { a = 1 b = \"x\" }");
    auto* context = dynamic_cast<Zarn::ZarnContext*>(inUnit.get());
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->toString(), "a b");

    EXPECT_FALSE(valueOf("v = { a = 1 }", SourceKind::Project));
    EXPECT_FALSE(valueOf("v = { a = 1 }", SourceKind::Registry));
}

TEST(VisitorValues, BlockInsideAListOutsideUnitsIsRefused)
{
    EXPECT_THROW(valueOf("v = [1, { a = 1 }]", SourceKind::Project), std::runtime_error);
    auto list = valueOf("v = [1, { a = 1 }]", SourceKind::Unit);
    EXPECT_EQ(list->toString(), "1 a");
}

TEST(VisitorIdentifiers, IndexesOfEveryKind)
{
    Parsed parsed("v = a[-1][0:5].b[x.y]");
    ZarnVisitorImpl visitor("/", SourceKind::Unit);
    auto assignment = Zarn::takeResult<Zarn::Assignment>(visitor.visitAssignment(parsed.assignment()));
    auto* value = dynamic_cast<Zarn::ZarnIdentifier*>(assignment.value.get());
    ASSERT_NE(value, nullptr);
    const auto& segments = value->getIdentifier().segments;
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].name, "a");
    ASSERT_EQ(segments[0].indexes.size(), 2u);
    EXPECT_EQ(std::get<0>(segments[0].indexes[0]), 18446744073709551615ull);
    EXPECT_EQ(std::get<1>(segments[0].indexes[1]), std::make_pair(uint64_t{0}, uint64_t{5}));
    ASSERT_EQ(segments[1].indexes.size(), 1u);
    const auto& nested = std::get<2>(segments[1].indexes[0]);
    ASSERT_TRUE(nested);
    ASSERT_EQ(nested->segments.size(), 2u);
    EXPECT_EQ(nested->segments[1].name, "y");
}

TEST(VisitorIdentifiers, PatternIndexIsRefused)
{
    try {
        valueOf(R"~(v = a[R"(x.*)"])~");
        FAIL() << "a pattern index was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("pattern index"), std::string::npos);
    }
}

TEST(VisitorAssignments, OperatorsAndModifiers)
{
    struct Case {
        const char* text;
        Zarn::Assignment::AssignType type;
        uint32_t flags;
        bool hasValue;
    };
    const Case cases[] = {
        {"a = 1", Zarn::Assignment::Set, 0, true},
        {"a += 1", Zarn::Assignment::Append, 0, true},
        {"a ?= 1", Zarn::Assignment::SetIfUnset, 0, true},
        {"a", Zarn::Assignment::Declare, 0, false},
        {"^a = 1", Zarn::Assignment::Set, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto assignment = visitAssignmentText(c.text);
        EXPECT_EQ(assignment.name, "a");
        EXPECT_EQ(assignment.type, c.type);
        EXPECT_EQ(assignment.flags, c.flags);
        EXPECT_EQ(static_cast<bool>(assignment.value), c.hasValue);
        EXPECT_FALSE(assignment.resolved);
    }
}

TEST(VisitorAssignments, MustModifierOnlyInTheRegistryOrToolDefinitions)
{
    EXPECT_EQ(visitAssignmentText("!cc = 1", SourceKind::Registry).flags, 2u);
    for (int kind : {int(SourceKind::Unit), int(SourceKind::Project)}) {
        try {
            visitAssignmentText("!cc = 1", kind);
            FAIL() << "accepted in kind " << kind;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "'!' assignment modifier is not allowed in this context.");
        }
    }
    Parsed parsed("!cc = 1");
    ZarnVisitorImpl visitor("/", SourceKind::Unit);
    visitor.allowMustModifier = true;
    auto assignment = Zarn::takeResult<Zarn::Assignment>(visitor.visitAssignment(parsed.assignment()));
    EXPECT_EQ(assignment.flags, 2u);
}

TEST(VisitorBlocks, AssignmentsComeBeforeConditionalBlocks)
{
    auto unit = visitUnitText(R"(
        t: {
            a = 1
            if debug { b = 2 if os = linux { c = 3 } }
            d = 4
            if level > 2 { e = 5 }
        })");
    const auto& target = unit->targets.at("t");
    ASSERT_EQ(target.assignments.size(), 2u);
    EXPECT_EQ(target.assignments[0].name, "a");
    EXPECT_EQ(target.assignments[1].name, "d");
    ASSERT_EQ(target.conditions.size(), 2u);

    const auto& bare = target.conditions[0];
    EXPECT_EQ(bare.op, Zarn::Condition::Test);
    EXPECT_FALSE(bare.rhs);
    EXPECT_EQ(bare.lhs->typeName(), "ZarnIdentifier");
    EXPECT_EQ(bare.lhs->toString(), "debug");
    ASSERT_TRUE(bare.context);
    ASSERT_EQ(bare.context->assignments.size(), 1u);
    ASSERT_EQ(bare.context->conditions.size(), 1u);

    const auto& nested = bare.context->conditions[0];
    EXPECT_EQ(nested.op, Zarn::Condition::Equal);
    EXPECT_EQ(nested.rhs->typeName(), "ZarnIdentifier");
    EXPECT_EQ(nested.rhs->toString(), "linux");
    ASSERT_TRUE(nested.context);
    EXPECT_EQ(nested.context->assignments.at(0).name, "c");

    EXPECT_EQ(target.conditions[1].op, Zarn::Condition::Greater);
    EXPECT_EQ(target.conditions[1].rhs->toString(), "2");
}

TEST(VisitorBlocks, ComparisonOperators)
{
    const std::pair<const char*, Zarn::Condition::OperatorType> cases[] = {
        {"=", Zarn::Condition::Equal},
        {"!=", Zarn::Condition::NotEqual},
        {"<", Zarn::Condition::Less},
        {">", Zarn::Condition::Greater},
    };
    for (const auto& [text, op] : cases) {
        SCOPED_TRACE(text);
        auto unit = visitUnitText(std::string("t: { if x ") + text + " \"y\" { a = 1 } }");
        EXPECT_EQ(unit->targets.at("t").conditions.at(0).op, op);
    }
}

TEST(VisitorBlocks, BlockOperandOfAComparisonIsRefusedOutsideUnits)
{
    Parsed parsed("profiles { p { if x = { y = 1 } { z = 2 } } }");
    ZarnVisitorImpl visitor("/", SourceKind::Project);
    try {
        visitor.visitZarnProject(parsed.projectBody());
        FAIL() << "a block operand was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Condition operand cannot be a block in this context.");
    }
    // In a unit file the block is a context value and the condition stands.
    auto unit = visitUnitText("t: { if x = { y = 1 } { z = 2 } }");
    EXPECT_EQ(unit->targets.at("t").conditions.at(0).rhs->typeName(), "ZarnContext");
}
