// Input nested or chained as deep as the user likes: the run completes, or
// stops with an error that names the limit; it never crashes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;

// t0 depends on t1, ..., the last has no dependency.
std::string targetChain(int length)
{
    std::string text = "unit deep\n";
    for (int i = 0; i < length; ++i) {
        text += "t" + std::to_string(i) + ":";
        if (i + 1 < length)
            text += " t" + std::to_string(i + 1);
        text += " { NO_TOOL }\n";
    }
    return text;
}

// One target whose v0 refers to v1 and so on; the last one holds "end".
// Quoted links expand "${v<i+1>}", bare links name the next variable.
std::string referenceChain(int length, bool quoted)
{
    std::string text = "unit deep\nt: {\n  cmdline = \"echo ${v0}\"\n";
    for (int i = 0; i + 1 < length; ++i) {
        const std::string next = "v" + std::to_string(i + 1);
        text += "  v" + std::to_string(i) + " = " + (quoted ? "\"${" + next + "}\"" : next) + "\n";
    }
    text += "  v" + std::to_string(length - 1) + " = \"end\"\n}\n";
    return text;
}

std::string lastLine(const std::string& text)
{
    const auto lines = E2e::lines(text);
    return lines.empty() ? std::string() : lines.back();
}

TEST(DeepInputE2e, DependencyChainsUpToTheLimitBuildAndLongerOnesStop)
{
    Sandbox box;
#if !defined(__SANITIZE_THREAD__)
    // Under the thread sanitizer, building 10000 targets takes more memory
    // than a test machine has (over 13 GB within 30 s); the other builds run it.
    box.write("zarn.txt", targetChain(10000));
    const auto full = box.run({"-v", "6"});
    EXPECT_EQ(full.status, 0) << lastLine(full.out) << full.err;
    EXPECT_EQ(full.out, "");
#endif

    box.write("zarn.txt", targetChain(10001));
    const auto deeper = box.run({"-v", "6"});
    EXPECT_EQ(deeper.status, 1) << lastLine(deeper.out) << deeper.err;
    EXPECT_EQ(deeper.out, "Error: Dependencies are nested deeper than 10000 targets, at target 'deep::t10000'.\n");
}

TEST(DeepInputE2e, ReferenceChainsUpToTheLimitExpandAndLongerOnesStop)
{
    struct Case {
        const char* what;
        int length;
        bool quoted;
        int status;
        std::string line;  // a line of the output
    };
    // cmdline is the first variable of the chain.
    const Case cases[] = {
        {"4999 quoted links", 4999, true, 0, "end"},
        {"4999 bare links", 4999, false, 0, "end"},
        {"5000 quoted links", 5000, true, 1,
         "Error: References are nested deeper than 5000 variables, at variable 'v4999'."},
        {"100000 bare links", 100000, false, 1,
         "Error: References are nested deeper than 5000 variables, at variable 'v4999'."},
    };
    for (const Case& c : cases) {
        Sandbox box;
        box.write("zarn.txt", referenceChain(c.length, c.quoted));
        const auto result = box.run({});
        EXPECT_EQ(result.status, c.status) << c.what << ": " << result.err;
        EXPECT_NE(result.out.find("\n" + c.line + "\n"), std::string::npos) << c.what << ": " << lastLine(result.out);
    }
}

// Each target of a chain wraps what the next one gives it in one more block:
// as an output, or as a parameter value.
TEST(DeepInputE2e, ValuesNestedAlongAChainStopAtTheLimit)
{
    std::string outputs = "unit deep\n", parameters = "unit deep\ntop: t0(q) { q = \"x\" NO_TOOL }\n";
    const int length = 300;
    for (int i = 0; i < length; ++i) {
        const std::string self = "t" + std::to_string(i), next = "t" + std::to_string(i + 1);
        const bool last = i + 1 == length;
        outputs += self + ": " + (last ? "{ NO_TOOL ^o = \"end\" }\n" : next + " { NO_TOOL ^o = " + next + " }\n");
        parameters += self + "(p): " + (last ? "{ NO_TOOL }\n" : next + "(q) { q = { a = p } NO_TOOL }\n");
    }
    Sandbox box;
    box.write("zarn.txt", outputs);
    const auto output = box.run({"-v", "6"});
    EXPECT_EQ(output.status, 1) << output.err;
    // t42's output holds the outputs of t43 to t299 inside each other.
    EXPECT_EQ(output.out, "Error: Output 'o' of target 'deep::t42' is nested deeper than 256 levels.\n");

    box.write("zarn.txt", parameters);
    const auto parameter = box.run({"-v", "6"});
    EXPECT_EQ(parameter.status, 1) << parameter.err;
    EXPECT_EQ(parameter.out,
              "Error: A parameter value of a dependency of target 'deep::t256' is nested deeper than 256 levels.\n");
}

TEST(DeepInputE2e, ImportChainsStopAtTheLimit)
{
    Sandbox box;
    // p0 imports p1, which imports p2, ...
    const int length = 1002;
    for (int i = 0; i < length; ++i) {
        std::string text = "name p" + std::to_string(i) + "\n";
        if (i + 1 < length)
            text += "import { \"" + (box.work() / ("p" + std::to_string(i + 1)) / ".zarn_project.txt").string() +
                    "\"; }\n";
        text += "units { u { \"zarn.txt\" } }\n";
        box.write("p" + std::to_string(i) + "/.zarn_project.txt", text);
        box.write("p" + std::to_string(i) + "/zarn.txt", "unit u\nt: { NO_TOOL }\n");
    }
    const auto result = box.run({}, "p0");
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out, "Error: Imports are nested deeper than 1000 projects, at project file '" +
                              (box.work() / "p1001/.zarn_project.txt").string() + "'.\n");

    // One level less is within the limit.
    const auto within = box.run({"-v", "6"}, "p1");
    EXPECT_EQ(within.status, 0) << lastLine(within.out) << within.err;
}

}  // namespace
