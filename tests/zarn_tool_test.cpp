#include "zarn_tool.h"

#include <gtest/gtest.h>

#include "tool_test_support.h"

using namespace Zarn;
using namespace ToolTestSupport;

namespace {

class PlainMatcher : public Matcher {
public:
    using Matcher::Matcher;
    std::unique_ptr<Matcher> clone() const override { return std::make_unique<PlainMatcher>(*this); }
    std::shared_ptr<Builder> createBuilder(const TargetContext&) override { return nullptr; }
};

class TableBuilder : public Builder {
public:
    using Builder::Builder;
    void prepare(const Context&, uint64_t) override {}
    void initialize() override {}
    Context createOutputContext(const Context&, int) override { return Context(); }
    BuildPlan createBuildPlan(const TargetContext&) override { return BuildPlan(); }
    std::vector<Recipe> createRecipes(const Context&) override { return {}; }
};

KeySet keys(const std::vector<Assignment>& assignments)
{
    KeySet result;
    for (const Assignment& assignment : assignments)
        result.insert_or_assign(assignment.name, assignment);
    return result;
}

TEST(MatcherTest, DefinitionMergesIntoTheTypeTables)
{
    KeySet wantsTable = makeKeySet({makeKeyEntry("cwd"), makeKeyEntry("flags")});
    KeySet variablesTable = makeKeySet({makeKeyEntry("cmdline"), makeKeyEntry("compiler")});
    // A want naming a table variable replaces that variable; a definition
    // variable leaves the wants.
    KeySet wants = keys({set("CMDLINE", str("make"), 1), set("extra", str("x"))});
    KeySet variables = keys({set("FLAGS", str("-O2"), Assignment::ToolFlag)});

    PlainMatcher matcher("tool", wantsTable, variablesTable, wants, variables);

    ASSERT_EQ(matcher.variables.count("cmdline"), 1u);
    const Assignment& cmdline = matcher.variables.at("cmdline");
    EXPECT_EQ(cmdline.value->toString(), "make");
    EXPECT_EQ(cmdline.flags, 1u) << "a replacement copies the whole assignment";
    EXPECT_EQ(matcher.wants.count("cmdline"), 0u);
    EXPECT_EQ(matcher.wants.count("extra"), 1u);
    EXPECT_EQ(matcher.wants.count("flags"), 0u);
    ASSERT_EQ(matcher.variables.count("flags"), 1u);
    EXPECT_EQ(matcher.variables.at("flags").value->toString(), "-O2");
    EXPECT_TRUE(matcher.variables.count("compiler"));
    EXPECT_TRUE(matcher.wants.count("cwd"));
    EXPECT_TRUE(matcher.conditions.empty());
}

TEST(MatcherTest, BaseMatchNeverBuilds)
{
    PlainMatcher matcher("tool", {}, {}, {}, {});
    auto target = targetWith({set("cmdline", str("x"))});
    MatchResult result = matcher.match(*target);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.kinds.empty());
    EXPECT_STREQ(matchStatusText(1), "BuildPossible");
    EXPECT_STREQ(matchStatusText(0), "BuildImpossible");
    EXPECT_STREQ(matchStatusText(2), "BuildImpossible");
}

TEST(BuilderTest, WithoutSubjectsEveryTargetIsPossible)
{
    TableBuilder builder;
    auto target = targetWith({set("a", str("1")), set("b", nullptr)});
    MatchResult result = builder.matchSubjects(*target);
    EXPECT_EQ(result.status, BuildPossible);
    ASSERT_EQ(result.kinds.size(), 2u);
    EXPECT_EQ(result.kinds.at("a").kind, MatchKind::NoMatch);
    EXPECT_EQ(result.kinds.at("b").claimed, 0);
    EXPECT_EQ(builder.getName(), "builder");
}

TEST(BuilderTest, MissingSubjectMakesTheBuildImpossibleButKindsAreCollected)
{
    TableBuilder builder(makeKeySet({makeKeyEntry("A_FILES"), makeKeyEntry("B_FILES")}), {});
    auto target = targetWith({set("b_files", str("x.c"))});
    MatchResult result = builder.matchSubjects(*target);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.kinds.at("b_files").kind, MatchKind::PartialMatch);
    EXPECT_EQ(result.kinds.at("b_files").claimed, 1);
}

TEST(BuilderTest, OutputVariableIsNoMatchSubject)
{
    TableBuilder builder(makeKeySet({makeKeyEntry("out")}), {});
    auto target = targetWith({set("OUT", str("x"), Assignment::OutputFlag)});
    MatchResult result;
    std::string printed = captureLog(LogLevel::Matching, [&] { result = builder.matchSubjects(*target); });
    EXPECT_EQ(printed, "Skipping 'out' as match subject: output variable\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.kinds.at("OUT").claimed, 1);
    EXPECT_EQ(captureLog(LogLevel::Info, [&] { builder.matchSubjects(*target); }), "");
}

TEST(CollectMatchKindsTest, KindAndClaimOfEachTargetVariable)
{
    TableBuilder builder(makeKeySet({makeKeyEntry("subj_set"), makeKeyEntry("subj_null"),
                                     makeKeyEntry("out_set"), makeKeyEntry("out_null"),
                                     makeKeyEntry("same", str("Gcc"))}),
                         makeVariableSchema({makeSchemaEntry("known"), makeSchemaEntry("out_schema"),
                                             makeSchemaEntry("known_text", str("yes"))}));
    auto target = targetWith({
        set("subj_set", str("x")),
        set("subj_null", nullptr),
        set("out_set", str("x"), Assignment::OutputFlag),
        set("out_null", nullptr, Assignment::OutputFlag),
        set("same", str("GCC")),
        set("known", str("x")),
        set("known_text", str("YES")),
        set("out_schema", str("x"), Assignment::OutputFlag),
        set("unknown", str("x")),
    });
    MatchResult result;
    collectMatchKinds(builder, result, *target);

    struct Row {
        const char* name;
        int kind;
        int claimed;
    };
    const Row rows[] = {
        {"subj_set", MatchKind::PartialMatch, 1}, {"subj_null", MatchKind::ExactMatch, 1},
        {"out_set", MatchKind::PartialMatch, 1},  {"out_null", MatchKind::ExactMatch, 0},
        {"same", MatchKind::ExactMatch, 1},       {"known", MatchKind::PartialMatch, 0},
        {"known_text", MatchKind::ExactMatch, 0}, {"out_schema", MatchKind::NoMatch, 0},
        {"unknown", MatchKind::NoMatch, 0},
    };
    ASSERT_EQ(result.kinds.size(), std::size(rows));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(result.kinds.at(row.name).kind, row.kind);
        EXPECT_EQ(result.kinds.at(row.name).claimed, row.claimed);
    }
}

TEST(ToolHelpersTest, AssignmentTextAndCommandList)
{
    KeySet assignments = keys({set("Version", str("12")), set("empty", nullptr)});
    EXPECT_EQ(getAssignmentText(assignments, "version"), "12");
    EXPECT_EQ(getAssignmentText(assignments, "empty"), "");
    EXPECT_EQ(getAssignmentText(assignments, "absent"), "");
    EXPECT_EQ(makeCommandList("gcc -c a.c"), std::vector<std::string>{"gcc -c a.c"});
}

}  // namespace
