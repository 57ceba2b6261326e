// Raw strings and paths whose text ends with ")": each ends at its first `)"`,
// runs, is cached and is written by -o so that it reads back as itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(RawStringsE2e, ATextEndingWithAParenthesisEndsAtItsCloser)
{
    struct Case {
        std::string body;     // the target's block
        std::string printed;  // a line the build prints
        std::string outputs;  // the -o file
        bool cached;          // whether the next run reuses the work (it has a path among its outputs)
    };
    const Case cases[] = {
        // The string after it is an assignment of its own.
        {"  cmdline = R\"(echo $(echo hi))\"\n  ^note = R\"(unused)\"\n", "\nhi\n", "note = R\"(unused)\"\n",
         false},
        {"  ab = R\"(ab))\"\n  cmdline = \"echo 'ab=${ab}'\"\n  ^n = 1\n", "\nab=ab)\n", "n = 1\n", false},
        {"  cmdline = [\"echo x > '${made}'\", \"cat '${made}'\"]\n  ^made = P\"(out(1))\"\n", "\nx\n",
         "made = P\"<work>/out(1)\"\n", true},
    };
    for (const Case& c : cases) {
        Sandbox box;
        box.write("zarn.txt", "unit demo\nt: {\n" + c.body + "}\n");
        const auto built = box.run({"-o", "outputs.txt"});
        EXPECT_EQ(built.status, 0) << c.body << built.out;
        EXPECT_TRUE(contains(built.out, c.printed)) << c.body << built.out;
        std::string outputs = c.outputs;
        if (const std::size_t at = outputs.find("<work>"); at != std::string::npos)
            outputs.replace(at, 6, box.work().string());
        EXPECT_EQ(fs::exists(box.work() / "outputs.txt") ? box.read("outputs.txt") : "", outputs) << c.body;

        // The cache holds the path as it is: the next run reuses the work.
        const auto again = box.run({"-v", "1"});
        EXPECT_EQ(again.status, 0) << again.out;
        EXPECT_EQ(contains(again.out, "[demo::t] Cache hit for 'demo::t'.\n"), c.cached) << c.body << again.out;
    }
}

// -o writes a text ending in ")" as a raw string, alone, in a list and in a
// block, and the lines read back as themselves.
TEST(RawStringsE2e, OutputsFileWritesTextsEndingWithAParenthesis)
{
    const std::string written = "cfg = { re = R\"(^(a|b))\" }\nlist = [ R\"(f(x))\", \"g(y)\" ]\n"
                                "sub = R\"(echo $(echo hi))\"\n";
    Sandbox box;
    std::string unit = "unit demo\nt: {\n  NO_TOOL\n";
    for (const std::string& line : E2e::lines(written))
        unit += "  ^" + line + "\n";
    box.write("zarn.txt", unit + "}\n");
    const auto result = box.run({"-o", "outputs.txt"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_FALSE(contains(result.out, "left out")) << result.out;
    EXPECT_EQ(fs::exists(box.work() / "outputs.txt") ? box.read("outputs.txt") : "", written);
}

}  // namespace
