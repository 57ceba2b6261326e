#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "types/zarn_path_string.h"
#include "types/zarn_wildcards.h"
#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;
namespace fs = std::filesystem;

// A fresh tree: p/src/{a.c,b.c,x.h}.
class PathStringTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"b.c", "a.c", "x.h"})
            touch("p/src/" + std::string(name));
    }

    void touch(const std::string& name) { dir.write(name); }
    std::shared_ptr<ZarnPathString> path(const std::string& text, const std::string& base = "p")
    {
        return std::static_pointer_cast<ZarnPathString>(makePathString(text, root / base));
    }
    std::string at(const std::string& name) { return (root / name).string(); }

    // The texts the path resolves to; every result is a path without base.
    Words resolvedTexts(const std::shared_ptr<ZarnPathString>& value)
    {
        auto result = value->resolve();
        auto* resolvedList = dynamic_cast<ZarnList*>(result.get());
        Words texts;
        for (const auto& member : resolvedList ? resolvedList->getMembers() : std::vector<ZarnValuePtr>{result}) {
            EXPECT_EQ(dynamic_cast<ZarnPathString&>(*member).getBaseDirectory(), fs::path());
            texts.push_back(member->toString());
        }
        return texts;
    }

    TempDir dir;
    const fs::path root = dir.path();
};

TEST_F(PathStringTest, WildcardsGiveSortedMatchesOfTheBaseDirectory)
{
    auto value = path("src/*.c");
    EXPECT_EQ(resolvedTexts(value), (Words{at("p/src/a.c"), at("p/src/b.c")}));
    EXPECT_EQ(value->toString(), "src/*.c");
    // No match keeps the absolute pattern; an absolute text ignores the base.
    auto unmatched = path("src/*.z");
    EXPECT_EQ(resolvedTexts(unmatched), Words{at("p/src/*.z")});
    EXPECT_EQ(unmatched->toString(), at("p/src/*.z"));
    EXPECT_EQ(resolvedTexts(path("/abs/file")), Words{"/abs/file"});
}

TEST_F(PathStringTest, ReferencesExpandBeforeWildcards)
{
    auto context = contextWith({set("dir", str("src")), set("exts", strings({"h", "c"}))});
    auto value = path("${dir}/*.#{exts}");
    value->setResolver(context.get());
    EXPECT_EQ(resolvedTexts(value), (Words{at("p/src/x.h"), at("p/src/a.c"), at("p/src/b.c")}));
}

TEST_F(PathStringTest, FinalPathIsNotGlobbedOrExpanded)
{
    touch("p/src/f*.c");
    touch("p/src/fa.c");
    auto value = path("src/f*.c");
    value->setFinal(true);
    EXPECT_EQ(resolvedTexts(value), Words{at("p/src/f*.c")});
    EXPECT_TRUE(isFinalText(*path("src/a.c")->resolve()));
}

// Once resolved to one file, a path holds the base directory in its text;
// resolving it again must not expand or match that directory.
TEST_F(PathStringTest, AResolvedPathKeepsItsDirectoryAsItIs)
{
    fs::create_directories(root / "d${x}*");
    fs::create_directories(root / "dX1");
    touch("d${x}*/a.c");
    touch("dX1/a.c");
    auto context = contextWith({set("x", str("X"))});
    for (const char* text : {"a.c", "a*.c"}) {
        auto value = path(text, "d${x}*");
        value->setResolver(context.get());
        EXPECT_EQ(resolvedTexts(value), Words{at("d${x}*/a.c")}) << text;
        EXPECT_EQ(resolvedTexts(value), Words{at("d${x}*/a.c")}) << text;
    }
}

TEST(PathLiteralTest, LiteralsReadBackThroughTheShortPathRewrite)
{
    const struct { std::string text; fs::path base; std::string literal; bool readsBack; } cases[] = {
        {"x", "", "P\"x\"", true},          {"a.c", "/src", "P\"/src/a.c\"", true},
        {"/abs", "/src", "P\"/abs\"", true}, {"say \"hi\"", "", "P\"(say \"hi\")\"", true},
        {"(x", "", "P\"((x)\"", true},       {"f(x)", "", "P\"f(x)\"", true},
        {"a \"b\" (1)", "", "P\"(a \"b\" (1))\"", true}, {"a)\"b", "", "P\"a)\"b\"", false},
    };
    for (const auto& c : cases) {
        auto value = makePathString(c.text, c.base);
        EXPECT_EQ(value->toLiteral(), c.literal) << c.text;
        EXPECT_EQ(value->hasLiteralForm(), c.readsBack) << c.text;
    }
}

TEST(WildcardMatchTest, MatchesQuestionMarksAndStars)
{
    const struct { const char *name, *pattern; bool matches; } cases[] = {
        {"abc", "a?c", true}, {"ac", "a?c", false},  {".hidden", ".*", true}, {"", "*", true},
        {"ab", "a*c", false}, {"x.cc", "*.c", false}, {"ABC", "abc", false},  {"aaab", "*a?b", true},
        {"abcbd", "a*bd", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matchWildcard(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
}

// A pattern without wildcards is answered without the walk, and gets what the
// walk would give, existing or not; separators that repeat still take the walk.
TEST(WildcardExpansionTest, PathsWithoutWildcardsGiveWhatTheWalkGives)
{
    const char* const paths[] = {"",          "/",         ".",          "..",     "a",          "a/b/c.txt",
                                 "/no/such/file.txt",      "/tmp",       "./x/../y", "a/",       "/a/b/",
                                 "//lead",    "a//b",      "a///",       "name with blanks/f", "[x]/{y}"};
    for (const char* text : paths)
        EXPECT_EQ(expandWildcards(text), walkWildcardComponents(text)) << text;
    std::mt19937 random(7);
    const std::string pieces[] = {"/", "a", ".", "..", "b c", "//", "x.txt"};
    for (int i = 0; i < 2000; ++i) {
        std::string text;
        for (int k = std::uniform_int_distribution<int>(0, 6)(random); k > 0; --k)
            text += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
        ASSERT_EQ(expandWildcards(text), walkWildcardComponents(text)) << text;
    }
}
