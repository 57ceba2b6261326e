#include "zarn_tool_selection.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "test_support.h"
#include "zarn_builtin_tools.h"
#include "zarn_tool_type_registry.h"

using namespace Zarn;
using namespace TestSupport;

namespace {

// A matcher whose verdict is fixed, counting its match calls.
class FakeMatcher : public Matcher {
public:
    FakeMatcher(Util::CiString name, KeySet wants, KeySet variables, MatchResult verdict)
        : Matcher(std::move(name), {}, {}, wants, variables), verdict(std::move(verdict))
    {
    }
    std::unique_ptr<Matcher> clone() const override { return std::make_unique<FakeMatcher>(*this); }
    MatchResult match(const TargetContext&) const override
    {
        ++calls;
        return verdict;
    }
    std::shared_ptr<Builder> createBuilder(const TargetContext&) override { return nullptr; }
    std::string targetArch() const override { return arch; }
    std::string targetMachine() const override { return machine; }

    MatchResult verdict;
    mutable int calls = 0;
    std::string arch;     // "" builds for no machine in particular
    std::string machine;  // "" names no system
};

MatchResult verdict(std::map<Util::CiString, MatchEntry> kinds, int status = BuildPossible)
{
    MatchResult result;
    result.status = status;
    result.kinds = std::move(kinds);
    return result;
}

std::shared_ptr<FakeMatcher> fake(const std::string& name, MatchResult result, KeySet wants = {},
                                  KeySet variables = {})
{
    return std::make_shared<FakeMatcher>(name, std::move(wants), std::move(variables), std::move(result));
}

std::shared_ptr<ContextTemplate> definition(std::vector<Assignment> assignments,
                                            std::vector<Condition> conditions = {})
{
    return std::make_shared<ContextTemplate>(std::move(assignments), std::move(conditions));
}

class ToolSelectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        initProgramStatics();
        registerToolFactory("test-zarn-error", "NULL", [](Util::CiString, KeySet, KeySet) -> std::unique_ptr<Matcher> {
            throw ZarnException("Toolchain 'x' not found.");
        });
        registerToolFactory("test-std-error", "NULL", [](Util::CiString, KeySet, KeySet) -> std::unique_ptr<Matcher> {
            throw std::runtime_error("boom");
        });
    }
};

TEST_F(ToolSelectionTest, DefinitionProblemsAreWarningsAndGiveNoTool)
{
    struct Row {
        const char* what;
        std::shared_ptr<ContextTemplate> definition;
        std::string message;
    };
    const Row rows[] = {
        {"no template", nullptr, "Registry tool 'x' has null context. Skipping.\n"},
        {"two types", definition({set("tool_type", str("command")), set("TOOL_TYPE", str("command"))}),
         "Registry tool 'x' has multiple 'tool_type' assignments. Skipping.\n"},
        {"type without value", definition({set("tool_type", nullptr)}),
         "Registry tool 'x' has empty 'tool_type'. Skipping.\n"},
        {"unknown type", definition({set("tool_type", str("nope"))}), "Unable to create Registry tool 'nope' for 'x'.\n"},
        {"model error", definition({set("tool_type", str("test-zarn-error"))}), "Toolchain 'x' not found.\n"},
        {"standard error", definition({set("tool_type", str("test-std-error"))}),
         "Unable to create Registry tool 'test-std-error' for 'x': boom\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::shared_ptr<Matcher> tool;
        std::string printed = captureLog(LogLevel::Warning, [&] { tool = createTool({"x", row.definition, "Registry"}); });
        EXPECT_EQ(tool, nullptr);
        EXPECT_EQ(printed, row.message);
        EXPECT_EQ(captureLog(LogLevel::Error, [&] { createTool({"x", row.definition, "Registry"}); }), "");
    }
}

// Tool variables ("!") join the type's variables, everything else its wants;
// the conditions are the matcher's.
TEST_F(ToolSelectionTest, DefinitionSplitsIntoWantsAndVariablesAndKeepsConditions)
{
    Condition condition;
    condition.lhs = str("os");
    condition.op = Condition::Test;
    condition.context = definition({set("flag", str("on"))});
    auto tool = createTool({"mine", definition({set("Tool_Type", str("COMMAND")), set("cc", str("gcc")),
                                                set("cc", str("clang")), set("prefix", str("/opt"), Assignment::ToolFlag),
                                                set("out", str("o"), Assignment::OutputFlag)},
                                               {condition}),
                            "Project p"});
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->name.str(), "mine");
    std::string wants, variables;
    for (const auto& [name, want] : tool->wants)
        wants += name.str() + "=" + (want.value ? want.value->toString() : "") + " ";
    for (const auto& entry : tool->variables)
        variables += entry.first.str() + " ";
    EXPECT_EQ(wants, "cc=clang cwd= out=o ") << "a later assignment replaces";
    EXPECT_EQ(variables, "cmdline prefix ");
    ASSERT_EQ(tool->conditions.size(), 1u);
    EXPECT_EQ(tool->conditions[0].context, condition.context);
}

// The possible tool with the highest score wins, the name that sorts first on
// a tie; an impossible tool never wins, even against a score of zero.
TEST_F(ToolSelectionTest, BestToolOfTheRegisteredOnes)
{
    const MatchResult impossible =
        verdict({{"a", {MatchKind::ExactMatch, 0}}, {"b", {MatchKind::ExactMatch, 0}}}, 0);
    RegisteredTools tie{{"Beta", fake("Beta", verdict({{"x", {MatchKind::ExactMatch, 0}}}))},
                        {"alpha", fake("alpha", verdict({{"y", {MatchKind::ExactMatch, 0}}}))},
                        {"gamma", fake("gamma", verdict({{"x", {MatchKind::PartialMatch, 0}}}))}};
    auto target = targetWith({});
    Matcher* best = nullptr;
    std::string printed = captureLog(LogLevel::Verbose, [&] { best = selectBestTool(tie, *target, MatchWeights()); });
    EXPECT_EQ(best, tie.at("alpha").get());
    EXPECT_EQ(printed, "Best registered tool: alpha, score: 2\n");

    RegisteredTools weak{{"a_strong", fake("a_strong", impossible)}, {"z_weak", fake("z_weak", verdict({}))}};
    EXPECT_EQ(selectBestTool(weak, *target, MatchWeights()), weak.at("z_weak").get());
    RegisteredTools none{{"only", fake("only", impossible)}, {"empty", nullptr}};
    EXPECT_EQ(selectBestTool(none, *target, MatchWeights()), nullptr);

    // The built-in tools: NO_TOOL beats cmdline; cwd alone gives no tool.
    RegisteredTools builtins;
    createStaticTools(builtins);
    auto command = targetWith({set("cmdline", str("x")), set("cwd", str("/p"))});
    EXPECT_EQ(selectBestTool(builtins, *command, MatchWeights()), builtins.at("default_basic").get());
    EXPECT_EQ(scoreTool(*builtins.at("default_basic"), *command, MatchWeights()).score, 1);
    auto both = targetWith({set("cmdline", str("x")), set("cwd", str("/p")), set("NO_TOOL", nullptr)});
    EXPECT_EQ(selectBestTool(builtins, *both, MatchWeights()), builtins.at("default_no_tool").get());
    EXPECT_EQ(selectBestTool(builtins, *targetWith({set("cwd", str("/p"))}), MatchWeights()), nullptr);
}

TEST_F(ToolSelectionTest, ToolMissingAValuelessVariableIsNotAdmittedButTraced)
{
    KeySet variables = makeKeySet({makeKeyEntry("needed"), makeKeyEntry("preset", str("v"))});
    auto tool = fake("needy", verdict({{"w", {MatchKind::ExactMatch, 0}}}), {}, variables);
    RegisteredTools tools{{"needy", tool}};
    auto lacking = targetWith({set("other", str("1"))});
    Matcher* best = nullptr;
    std::string printed = captureLog(LogLevel::Trace, [&] { best = selectBestTool(tools, *lacking, MatchWeights()); });
    EXPECT_EQ(best, nullptr);
    EXPECT_EQ(tool->calls, 0);
    EXPECT_EQ(printed, "needy::match - result.note: BuildImpossible\n");

    auto declaring = targetWith({set("needed", nullptr)});
    EXPECT_EQ(selectBestTool(tools, *declaring, MatchWeights()), tool.get());
    EXPECT_EQ(tool->calls, 1);
}

TEST_F(ToolSelectionTest, WantsScoreByComparingValues)
{
    KeySet wants = makeKeySet({makeKeyEntry("arch", str("ARM")), makeKeyEntry("level", str("3")),
                               makeKeyEntry("mode", integer(1)), makeKeyEntry("out"), makeKeyEntry("kept", str("a")),
                               makeKeyEntry("other", str("x"))});
    auto tool = fake("t", verdict({{"kept", {MatchKind::ExactMatch, 0}}}), wants);
    auto target = targetWith({
        set("arch", str("arm")),                      // equal ignoring case: exact
        set("level", integer(3)),                     // integer against text: partial, no error
        set("mode", str("1")),                        // text against integer: partial
        set("out", nullptr, Assignment::OutputFlag),  // value-less output: none
        set("kept", str("b")),                        // the matcher's own kind stays
        set("unrelated", str("q")),                   // not a want: not scored
    });
    ToolScore score;
    std::string printed = captureLog(LogLevel::Trace, [&] { score = scoreTool(*tool, *target, MatchWeights()); });
    EXPECT_EQ(kindsOf(score.result), "arch:2/0 kept:2/0 level:1/0 mode:1/0 out:0/0");
    EXPECT_EQ(score.score, 2 + 1 + 1 + 0 + 2);
    EXPECT_NE(printed.find("t::match - ExactMatch: key='arch' value='arm'\n"), std::string::npos) << printed;

    MatchWeights custom{10, 3, 1};
    EXPECT_EQ(scoreTool(*tool, *target, custom).score, 10 + 3 + 3 + 1 + 10);
}

// Of equally scoring tools, one for the machine zarn runs on (processor,
// then system) beats a foreign one unless the target names its machine; a
// higher score still wins.
TEST_F(ToolSelectionTest, NativeToolWinsATieUnlessTheTargetNamesItsMachine)
{
    // A tool for that machine text, or for that processor alone when the
    // text has no "-".
    auto tool = [](const std::string& name, const std::string& machine, int score = 1) {
        std::map<Util::CiString, MatchEntry> kinds;
        for (int i = 0; i < score; ++i)
            kinds["v" + std::to_string(i)] = {MatchKind::PartialMatch, 0};
        auto made = fake(name, verdict(kinds));
        made->arch = machine.substr(0, machine.find('-'));
        made->machine = machine.find('-') == std::string::npos ? "" : machine;
        return made;
    };
    using Tools = std::vector<std::shared_ptr<FakeMatcher>>;
    const Tools armX86 = {tool("a_arm", "arm"), tool("b_x86", "x86_64")};
    const Tools winGnu = {tool("a_win", "x86_64-w64-mingw32"), tool("b_gnu", "x86_64-linux-gnu")};
    const Tools eabiHf = {tool("a_eabi", "arm-none-eabi"), tool("b_hf", "arm-linux-gnueabihf")};
    const struct {
        Tools tools;
        std::vector<Assignment> target;
        std::string native;
        std::string system;
        std::string best;
    } cases[] = {
        {armX86, {}, "x86_64", "Linux", "b_x86"},
        {{tool("a_arm", "arm"), tool("b_x86", "X86_64")}, {}, "x86_64", "Linux", "b_x86"},
        {{tool("a_arm", "arm"), tool("b_any", "")}, {}, "x86_64", "Linux", "b_any"},
        {{tool("a_arm", "arm")}, {}, "x86_64", "Linux", "a_arm"},
        {{tool("a_arm", "arm", 2), tool("b_x86", "x86_64")}, {}, "x86_64", "Linux", "a_arm"},
        {armX86, {}, "", "Linux", "a_arm"},
        {armX86, {set("ARCH", str("arm"))}, "x86_64", "Linux", "a_arm"},
        {armX86, {set("TOOLCHAIN_TRIPLET", str("arm-none-eabi"))}, "x86_64", "Linux", "a_arm"},
        {armX86, {set("ARCH", str(""))}, "x86_64", "Linux", "b_x86"},
        // The kernel's names of a processor family.
        {{tool("a_mips", "mips"), tool("b_arm", "arm")}, {}, "armv7l", "Linux", "b_arm"},
        {{tool("a_arm", "arm"), tool("b_ppc", "powerpc64le")}, {}, "ppc64le", "Linux", "b_ppc"},
        {{tool("a_arm", "arm"), tool("b_x86", "i686")}, {}, "i586", "Linux", "b_x86"},
        {{tool("a_arm", "arm"), tool("b_arm64", "aarch64")}, {}, "aarch64", "Linux", "b_arm64"},
        // Another system on the native processor.
        {winGnu, {}, "x86_64", "Linux", "b_gnu"},
        {eabiHf, {}, "armv7l", "Linux", "b_hf"},
        {{tool("a_arm", "arm-linux-gnueabihf"), tool("b_win", "x86_64-w64-mingw32")}, {}, "x86_64", "Linux",
         "b_win"},
        {winGnu, {set("ARCH", str("x86_64"))}, "x86_64", "Linux", "b_gnu"},
        {eabiHf, {set("ARCH", str("arm"))}, "x86_64", "Linux", "a_eabi"},
        {winGnu, {set("TOOLCHAIN_TRIPLET", str("x86_64"))}, "x86_64", "Linux", "a_win"},
        {winGnu, {}, "x86_64", "", "a_win"},
        {{tool("a_win", "x86_64-w64-mingw32"), tool("b_any", "")}, {}, "x86_64", "Linux", "b_any"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        RegisteredTools tools;
        for (const auto& each : c.tools)
            tools.emplace(each->name, each);
        Matcher* best = selectBestTool(tools, *targetWith(c.target), MatchWeights(), c.native, c.system);
        EXPECT_EQ(best ? best->name.str() : "", c.best) << "case " << i;
    }
}

}  // namespace
