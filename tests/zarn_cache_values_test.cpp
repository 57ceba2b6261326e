#include "zarn_cache_values.h"

#include <gtest/gtest.h>

#include "build_test_support.h"
#include "loader/assignment_text.h"
#include "short_path_literals.h"

using namespace BuildTestSupport;

namespace {

Zarn::ZarnValuePtr raw(const std::string& text) { return std::make_shared<Zarn::ZarnRawString>(text); }

// What the cache reader makes of the text the cache writer writes.
Zarn::Assignment readBack(const Zarn::Assignment& assignment)
{
    return parseAssignmentText(Zarn::rewriteShortPathLiterals(Zarn::cacheAssignmentText(assignment)), ".");
}

TEST(CacheLiteral, WrittenValuesReadBackEqual)
{
    const std::vector<Zarn::Assignment> cases = {
        set("s", str("echo hi > out.txt")),
        set("ok_name-2", str("x")),
        set("p", path("/t/p/out.txt")),
        set("l", list({str("USE_HTTP"), str("x"), path("/a b/c")})),
        set("r", raw("echo \"quoted\"")),
        set("n", integer(-7)),
        set("gen", block({output("out", path("/t/p/out.txt")), set("flags", list({str("-O2")}))})),
        set("lib", block({set("gen", block({set("out", path("/l/gen.txt"))}))})),
    };
    for (const Zarn::Assignment& written : cases) {
        ASSERT_TRUE(Zarn::isCacheWritable(written)) << written.name;
        const Zarn::Assignment read = readBack(written);
        EXPECT_TRUE(Zarn::cacheAssignmentsEqual(read, written))
            << Zarn::cacheAssignmentText(written) << " read back as " << Zarn::cacheAssignmentText(read);
    }
    EXPECT_TRUE(Zarn::isCacheWritable(Zarn::Assignment("d", nullptr, Zarn::Assignment::Declare)));
    // What would not read back is refused: a unit named by number, a keyword,
    // a text that has no raw form either, such names inside, a member without value.
    for (const Zarn::Assignment& refused : {set("1", str("x")), set("unit", str("x")), set("r", raw("a\")\" b")),
                                            set("b", block({set("1", str("x"))})), set("l", list({str("a"), nullptr}))})
        EXPECT_FALSE(Zarn::isCacheWritable(refused)) << refused.name;
}

TEST(CacheValuesEqual, ComparesKindAndExactText)
{
    struct Case {
        Zarn::ZarnValuePtr a, b;
        bool equal;
        const char* what;
    };
    const Case cases[] = {
        {str("echo a > f"), str("echo a > f"), true, "same text"},
        {str("echo a > f"), str("echo A > f"), false, "case-only change"},
        {integer(3), str("3"), false, "integer against string"},
        {path("/no/such/../file"), path("/no/file"), true, "same normalised path"},
        {path("/no/file"), str("/no/file"), false, "path against string"},
        {list({str("a"), str("b")}), list({str("a"), str("B")}), false, "list member case"},
        {list({str("a")}), list({str("a"), str("b")}), false, "list length"},
        {block({set("x", str("1"))}), block({set("x", str("1"))}), true, "blocks by content"},
        {block({set("x", str("1"))}), str("x"), false, "block against its names"},
        {nullptr, nullptr, true, "both none"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Zarn::cacheValuesEqual(c.a, c.b), c.equal) << c.what;

    TempDir dir;  // two spellings of one existing file
    dir.write("f");
    std::filesystem::create_directory(dir / "sub");
    EXPECT_TRUE(Zarn::cacheValuesEqual(path(dir / "sub" / ".." / "f"), Zarn::makePathString("f", dir.path())));
    // Names compare without regard to case.
    EXPECT_TRUE(Zarn::cacheAssignmentsEqual(set("CmdLine", str("x")), set("cmdline", str("x"))));
    EXPECT_FALSE(Zarn::cacheAssignmentsEqual(set("cmdline", str("x")), set("cwd", str("x"))));
}

TEST(CollectContextPaths, FindsTheFilesOfDependencyOutputsOnly)
{
    const auto nested = block({set("gen", list({path("/l/b.txt"), str("/l/not-a-path")}))});
    const auto value = list({path("/own.txt"), block({set("out", path("/a.txt")), set("lib", nested)})});
    std::vector<std::filesystem::path> paths;
    Zarn::collectContextPaths(value, paths);
    EXPECT_EQ(paths, (std::vector<std::filesystem::path>{"/l/b.txt", "/a.txt"}));  // variables in name order
    paths.clear();
    Zarn::collectContextPaths(path("/own.txt"), paths);
    Zarn::collectContextPaths(nullptr, paths);
    EXPECT_TRUE(paths.empty());
}

}  // namespace
