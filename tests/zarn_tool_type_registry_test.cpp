#include "zarn_tool_type_registry.h"

#include <gtest/gtest.h>

#include "tool_test_support.h"
#include "zarn_builtin_tools.h"

using namespace Zarn;
using namespace ToolTestSupport;

namespace {

class NamedMatcher : public Matcher {
public:
    NamedMatcher(Util::CiString name, std::string maker) : Matcher(std::move(name), {}, {}, {}, {}), maker(std::move(maker)) {}
    std::unique_ptr<Matcher> clone() const override { return std::make_unique<NamedMatcher>(*this); }
    std::shared_ptr<Builder> createBuilder(const TargetContext&) override { return nullptr; }
    std::string maker;
};

MatcherFactory factoryNamed(const std::string& maker)
{
    return [maker](Util::CiString name, KeySet, KeySet) { return std::make_unique<NamedMatcher>(std::move(name), maker); };
}

std::string makerOf(const std::unique_ptr<Matcher>& matcher)
{
    auto* named = dynamic_cast<NamedMatcher*>(matcher.get());
    return named ? named->maker : "";
}

class ToolTypeRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { initProgramStatics(); }
};

TEST_F(ToolTypeRegistryTest, TypeNamesIgnoreCase)
{
    std::unique_ptr<Matcher> matcher = createMatcher("COMMAND", "mine", {}, {});
    ASSERT_TRUE(dynamic_cast<BasicMatcher*>(matcher.get()));
    EXPECT_EQ(matcher->name.str(), "mine");
    EXPECT_TRUE(matcher->wants.count("cwd"));
    EXPECT_TRUE(matcher->variables.count("cmdline"));
    EXPECT_TRUE(dynamic_cast<NoToolMatcher*>(createMatcher("No_Tool", "n", {}, {}).get()));
}

TEST_F(ToolTypeRegistryTest, UnknownTypeGivesNoMatcher)
{
    EXPECT_EQ(createMatcher("no-such-type", "x", {}, {}), nullptr);
}

TEST_F(ToolTypeRegistryTest, RegisteringAgainReplaces)
{
    registerToolFactory("test-replace", "NULL", factoryNamed("first"));
    registerToolFactory("TEST-REPLACE", "NULL", factoryNamed("second"));
    EXPECT_EQ(makerOf(createMatcher("test-replace", "x", {}, {})), "second");
}

TEST_F(ToolTypeRegistryTest, EmptyFactoryStandsForTheFallback)
{
    registerToolFactory("test-fallback-source", "NULL", factoryNamed("source"));
    registerToolFactory("test-fallback-user", "test-fallback-source", MatcherFactory());
    EXPECT_EQ(makerOf(createMatcher("test-fallback-user", "x", {}, {})), "source");

    registerToolFactory("test-fallback-none", "test-unregistered-fallback", MatcherFactory());
    EXPECT_EQ(createMatcher("test-fallback-none", "x", {}, {}), nullptr);
    EXPECT_EQ(createMatcher("test-unregistered-fallback", "x", {}, {}), nullptr);
}

TEST_F(ToolTypeRegistryTest, ToolchainInitializersRunAfterTheBuiltins)
{
    static int runs = 0;
    runs = 0;
    initProgramStatics({+[] {
        ++runs;
        registerToolFactory("test-toolchain", "NULL", factoryNamed("toolchain"));
    }});
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(makerOf(createMatcher("test-toolchain", "x", {}, {})), "toolchain");
    EXPECT_TRUE(createMatcher("command", "x", {}, {}));
}

TEST(ToolTablesTest, KeySetKeepsTheFirstEntryOfAName)
{
    KeySet keys = makeKeySet({makeKeyEntry("Name", str("first")), makeKeyEntry("NAME", str("second"))});
    ASSERT_EQ(keys.size(), 1u);
    const Assignment& entry = keys.begin()->second;
    EXPECT_EQ(entry.name, "Name");
    EXPECT_EQ(entry.value->toString(), "first");
    EXPECT_EQ(entry.type, Assignment::Set);
    EXPECT_EQ(entry.flags, 0u);
    EXPECT_FALSE(entry.resolved);
}

TEST(ToolTablesTest, BuiltinTableEntriesHaveNoValue)
{
    for (const KeySet* table : {&commandWantsTable(), &commandVariablesTable(), &noToolVariablesTable(),
                                &noToolSubjectsTable()}) {
        ASSERT_EQ(table->size(), 1u);
        EXPECT_EQ(table->begin()->second.value, nullptr);
    }
    EXPECT_TRUE(commandWantsTable().count("CWD"));
    EXPECT_TRUE(commandVariablesTable().count("CMDLINE"));
    EXPECT_TRUE(noToolVariablesTable().count("no_tool"));
    EXPECT_EQ(makeSchemaEntry("x").second.defaultValue, nullptr);
}

TEST(ToolTablesTest, SchemaKeepsTheFirstEntryAndItsWeights)
{
    VariableSchema schema = makeVariableSchema(
        {makeSchemaEntryWithWeights("OUTPUT_NAME", VariableSpec{nullptr, 0, 0, 5}), makeSchemaEntry("output_name"),
         makeSchemaEntry("flags")});
    ASSERT_EQ(schema.size(), 2u);
    const VariableSpec& spec = schema.at("output_name");
    EXPECT_EQ(spec.weightFor(MatchKind::NoMatch), 0u);
    EXPECT_EQ(spec.weightFor(MatchKind::PartialMatch), 0u);
    EXPECT_EQ(spec.weightFor(MatchKind::ExactMatch), 5u);
    EXPECT_EQ(spec.weightFor(7), 0u);
    const VariableSpec& plain = schema.at("FLAGS");
    EXPECT_EQ(plain.weightFor(MatchKind::PartialMatch), 1u);
    EXPECT_EQ(plain.weightFor(MatchKind::ExactMatch), 2u);
}

}  // namespace
