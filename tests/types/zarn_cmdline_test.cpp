#include "types/zarn_cmdline.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "context_test_support.h"

using namespace ContextTestSupport;
using Zarn::getVariableArguments;
using Zarn::getVariableJoined;
using Zarn::renderArgument;

namespace {

Zarn::VariableMap mapOf(const std::vector<Zarn::Assignment>& assignments)
{
    Zarn::VariableMap variables;
    for (const auto& assignment : assignments)
        variables.emplace(Util::CiString(assignment.name), assignment);
    return variables;
}

struct RenderCase {
    std::string text;
    std::string prefix;
    bool quote;
    std::string expected;
};

TEST(RenderArgument, WritesBlankPrefixAndTextQuotedOrNot)
{
    const std::vector<RenderCase> cases = {
        {"a", "-I", false, " -Ia"},
        {"a", "-I", true, " -I\"a\""},
        {"a b", "", true, " \"a b\""},
        {"", "-I", false, ""},
        {"", "-I", true, ""},
        // Quoted by the author: kept, a missing closing quote added.
        {"\"abc\"", "-D", true, " -D\"abc\""},
        {"\"abc", "-D", true, " -D\"abc\""},
        {"\"", "", true, " \""},
        {"\"$HOME\"", "", true, " \"$HOME\""},
        // Quoted here: what the shell would still interpret is escaped.
        {"x$(cmd).c", "", true, " \"x\\$(cmd).c\""},
        {"a`b`", "", true, " \"a\\`b\\`\""},
        {"a\\b", "", true, " \"a\\\\b\""},
        {"say\"hi", "", true, " \"say\\\"hi\""},
        {"end\"", "", true, " \"end\\\"\""},
        // Without quoting nothing is touched.
        {"x$(cmd).c", "", false, " x$(cmd).c"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(renderArgument(str(c.text), c.prefix, c.quote), c.expected) << c.text;
}

TEST(RenderArgument, EscapedTextReachesTheShellAsText)
{
    // What /bin/sh makes of the rendered argument is the file name itself.
    const std::string name = "x$(echo pwned)`id`\\\".c";
    const std::string command = "printf %s" + renderArgument(str(name), "", true);
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(output, name);
}

TEST(VariableArguments, ListOfTextsWithPrefix)
{
    const auto variables = mapOf({set("inc", list({str("a"), str("b")}))});
    EXPECT_EQ(getVariableArguments(variables, "INC", "-I", false), " -Ia -Ib");
    EXPECT_EQ(getVariableArguments(variables, "inc", "-I", true), " -I\"a\" -I\"b\"");
    EXPECT_EQ(getVariableJoined(variables, "Inc", "-I", false), " -Ia -Ib");
}

TEST(VariableArguments, MissingValuelessAndEmptyGiveNothing)
{
    const auto variables = mapOf({
        Zarn::Assignment("declared", nullptr, Zarn::Assignment::Declare),
        set("empty", str("")),
        set("holes", list({str(""), str("x"), str("")})),
    });
    for (const std::string name : {"missing", "declared", "empty"}) {
        EXPECT_EQ(getVariableArguments(variables, name, "-I", true), "") << name;
        EXPECT_EQ(getVariableJoined(variables, name, "-I", true), "") << name;
    }
    EXPECT_EQ(getVariableArguments(variables, "holes", "-I", false), " -Ix");
    EXPECT_EQ(getVariableJoined(variables, "holes", "-I", false), " -Ix");
}

TEST(VariableArguments, StringSplitsIntoWordsOnlyWhenWalked)
{
    const auto variables = mapOf({set("flags", str("-O2  -g"))});
    EXPECT_EQ(getVariableArguments(variables, "flags", "", true), " \"-O2\" \"-g\"");
    EXPECT_EQ(getVariableJoined(variables, "flags", "", true), " \"-O2  -g\"");
}

TEST(VariableArguments, NestedListsFlattenFullyOnlyWhenJoined)
{
    const auto variables = mapOf({set("v", list({str("a"), list({str("b"), list({str("c"), str("d")})})}))});
    EXPECT_EQ(getVariableJoined(variables, "v", "-x", false), " -xa -xb -xc -xd");
    // One level only: the innermost list is written through its own text.
    EXPECT_EQ(getVariableArguments(variables, "v", "-x", false), " -xa -xb -xc d");
}

TEST(VariableArguments, IntegerIsNoWalkButOneJoinedItem)
{
    const auto variables = mapOf({set("n", integer(4))});
    EXPECT_EQ(getVariableArguments(variables, "n", "-j", false), "");
    EXPECT_EQ(getVariableJoined(variables, "n", "-j", false), " -j4");
}

}  // namespace
