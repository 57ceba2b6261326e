#include "zarn_tool.h"

#include <gtest/gtest.h>

#include "test_support.h"

using namespace Zarn;
using namespace TestSupport;

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

// A subject the target lacks makes the build impossible; an output variable
// is no subject; without subjects every target is possible.
TEST(BuilderTest, MatchSubjects)
{
    TableBuilder plain;
    EXPECT_EQ(plain.matchSubjects(*targetWith({set("a", str("1"))})).status, BuildPossible);

    TableBuilder builder(makeKeySet({makeKeyEntry("A_FILES"), makeKeyEntry("out")}), {});
    EXPECT_EQ(builder.matchSubjects(*targetWith({set("a_files", str("x.c"))})).status, 0);
    auto target = targetWith({set("a_files", str("x.c")), set("Out", str("x"), Assignment::OutputFlag)});
    MatchResult result;
    const std::string printed = captureLog(LogLevel::Matching, [&] { result = builder.matchSubjects(*target); });
    EXPECT_EQ(printed, "Skipping 'out' as match subject: output variable\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.kinds.at("a_files").kind, MatchKind::PartialMatch);
    EXPECT_EQ(result.kinds.at("Out").claimed, 1);
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
    // Subjects are claimed (but not a value-less output), schema variables
    // not; a variable without value or equal to the table's matches exactly,
    // another value partly; other outputs and unknown names do not match.
    EXPECT_EQ(kindsOf(result), "known:1/0 known_text:2/0 out_null:2/0 out_schema:0/0 out_set:1/1 same:2/1 "
                               "subj_null:2/1 subj_set:1/1 unknown:0/0");
}

}  // namespace
