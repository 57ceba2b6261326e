#include "types/zarn_cmdline.h"

#include <cstdio>
#include <string>

#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;

TEST(RenderArgument, WritesBlankPrefixAndTextQuotedOrNot)
{
    const struct { std::string text, prefix; bool quote; std::string expected; } cases[] = {
        {"a", "-I", false, " -Ia"},
        {"a b", "-I", true, " -I\"a b\""},
        {"", "-I", true, ""},
        // Quoted by the author: kept, a missing closing quote added.
        {"\"abc\"", "-D", true, " -D\"abc\""},
        {"\"abc", "-D", true, " -D\"abc\""},
        {"\"$HOME\"", "", true, " \"$HOME\""},
        // Quoted here: what the shell would still interpret is escaped.
        {"x$(cmd).c", "", true, " \"x\\$(cmd).c\""},
        {"a`b`", "", true, " \"a\\`b\\`\""},
        {"a\\b", "", true, " \"a\\\\b\""},
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

TEST(VariableArguments, WalkedAndJoinedForms)
{
    VariableMap variables;
    for (const Assignment& assignment :
         {set("inc", strings({"a", "b"})), declare("declared"), set("empty", str("")),
          set("holes", strings({"", "x", ""})), set("flags", str("-O2  -g")), set("n", integer(4)),
          set("v", list({str("a"), list({str("b"), strings({"c", "d"})})}))})
        variables.emplace(assignment.name, assignment);
    const struct { const char *name, *prefix; bool quote; const char *arguments, *joined; } cases[] = {
        {"INC", "-I", false, " -Ia -Ib", " -Ia -Ib"},
        {"missing", "-I", true, "", ""},
        {"declared", "-I", true, "", ""},
        {"holes", "-I", false, " -Ix", " -Ix"},
        // A string splits into words only when walked.
        {"flags", "", true, " \"-O2\" \"-g\"", " \"-O2  -g\""},
        // Walking flattens one level: the innermost list is one item.
        {"v", "-x", false, " -xa -xb -xc d", " -xa -xb -xc -xd"},
        // An integer has no members but is one joined item.
        {"n", "-j", false, "", " -j4"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(getVariableArguments(variables, c.name, c.prefix, c.quote), c.arguments) << c.name;
        EXPECT_EQ(getVariableJoined(variables, c.name, c.prefix, c.quote), c.joined) << c.name;
    }
}

TEST(CommandArguments, TargetAndJobFormsGiveTheSameArguments)
{
    // A build job holds each variable as a list that the target's value was
    // appended to; the arguments must not depend on that.
    const struct { const char* name; ZarnValuePtr value; const char* prefix; bool quote; const char* expected; } cases[] = {
        {"LINK_FLAGS", str("-a  -b"), "-Wl,", true, " -Wl,\"-a\" -Wl,\"-b\""},
        {"C_DEFINES", str("A B=1"), "-D", false, " -DA -DB=1"},
        {"LIB", list({str("-lm -lz"), makePathString("/o u/lib core.a", "")}), "", true,
         " \"-lm\" \"-lz\" \"/o u/lib core.a\""},
        {"LIB", makePathString("/o u/$x.a", ""), "", true, " \"/o u/\\$x.a\""},
        {"V", list({list({str("a b"), integer(3)}), raw("c")}), "", false, " a b 3 c"},
        {"E", list({}), "", true, ""},
        {"D", nullptr, "", true, ""},
    };
    for (const auto& c : cases) {
        VariableMap target;
        target.emplace(c.name, set(c.name, c.value));
        Context job;
        job.appendToLists({set(c.name, c.value)});
        EXPECT_EQ(getCommandArguments(target, c.name, c.prefix, c.quote), c.expected) << c.name;
        EXPECT_EQ(getCommandArguments(job.variables, c.name, c.prefix, c.quote), c.expected) << c.name;
    }
    EXPECT_EQ(getCommandArguments(VariableMap(), "missing", "", true), "");
    EXPECT_EQ(escapeForDoubleQuotes("a\\\"$`b"), "a\\\\\\\"\\$\\`b");
}
