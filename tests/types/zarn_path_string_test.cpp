#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "types/value_test_support.h"
#include "types/zarn_wildcards.h"

using namespace Zarn;
using namespace ValueTestSupport;
namespace fs = std::filesystem;

namespace {

// A fresh directory tree under the system's temporary directory.
class PathStringTest : public testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() /
               ("zarn_path_test_" + std::to_string(::getpid()) + "_" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "p" / "src");
        for (const char* name : {"b.c", "a.c", "x.h"})
            touch(root / "p" / "src" / name);
    }
    void TearDown() override { fs::remove_all(root); }

    static void touch(const fs::path& path) { std::ofstream(path).put('x'); }

    std::shared_ptr<ZarnPathString> path(const std::string& text, const fs::path& base)
    {
        return std::static_pointer_cast<ZarnPathString>(makePathString(text, base));
    }

    std::vector<std::string> resolvedTexts(const std::shared_ptr<ZarnPathString>& value)
    {
        auto result = value->resolve();
        std::vector<std::string> texts;
        if (auto* list = dynamic_cast<ZarnList*>(result.get())) {
            for (const auto& member : list->getMembers()) {
                EXPECT_EQ(dynamic_cast<ZarnPathString&>(*member).getBaseDirectory(), fs::path());
                texts.push_back(member->toString());
            }
        } else {
            EXPECT_NE(dynamic_cast<ZarnPathString*>(result.get()), nullptr);
            texts.push_back(result->toString());
        }
        return texts;
    }

    fs::path root;
};

TEST_F(PathStringTest, WildcardsGiveSortedMatchesOfTheBaseDirectory)
{
    auto value = path("src/*.c", root / "p");
    EXPECT_EQ(resolvedTexts(value), (std::vector<std::string>{(root / "p/src/a.c").string(),
                                                               (root / "p/src/b.c").string()}));
    EXPECT_EQ(value->toString(), "src/*.c");
}

TEST_F(PathStringTest, NoMatchKeepsTheAbsolutePattern)
{
    auto value = path("src/*.z", root / "p");
    std::string pattern = (root / "p/src/*.z").string();
    EXPECT_EQ(resolvedTexts(value), std::vector<std::string>{pattern});
    EXPECT_EQ(value->toString(), pattern);
}

TEST_F(PathStringTest, AbsoluteTextIgnoresTheBase)
{
    EXPECT_EQ(resolvedTexts(path("/abs/file", root / "p")), std::vector<std::string>{"/abs/file"});
}

TEST_F(PathStringTest, LiteralComponentsAreNotTestedForExistence)
{
    fs::create_directories(root / "q" / "d1");
    touch(root / "q" / "f1");
    auto texts = resolvedTexts(path("*/main.c", root / "q"));
    EXPECT_EQ(texts, (std::vector<std::string>{(root / "q/d1/main.c").string(), (root / "q/f1/main.c").string()}));
}

TEST_F(PathStringTest, WildcardsInDirectoryComponentsOnlyEnterDirectories)
{
    fs::create_directories(root / "q" / "d1");
    fs::create_directories(root / "q" / "d2");
    touch(root / "q" / "d2" / "k.c");
    touch(root / "q" / "dfile");
    EXPECT_EQ(resolvedTexts(path("d*/*.c", root / "q")), std::vector<std::string>{(root / "q/d2/k.c").string()});
}

TEST_F(PathStringTest, ReferencesExpandBeforeWildcards)
{
    auto context = contextWith({{"dir", makeString("src")}, {"exts", stringList({"h", "c"})}});
    auto value = path("${dir}/*.#{exts}", root / "p");
    value->setResolver(context.get());
    EXPECT_EQ(resolvedTexts(value),
              (std::vector<std::string>{(root / "p/src/x.h").string(), (root / "p/src/a.c").string(),
                                        (root / "p/src/b.c").string()}));
}

TEST_F(PathStringTest, FinalPathIsNotGlobbedOrExpanded)
{
    touch(root / "p" / "src" / "f*.c");
    touch(root / "p" / "src" / "fa.c");
    auto value = path("src/f*.c", root / "p");
    value->setFinal(true);
    EXPECT_EQ(resolvedTexts(value), std::vector<std::string>{(root / "p/src/f*.c").string()});

    auto resolved = path("src/a.c", root / "p")->resolve();
    EXPECT_TRUE(static_cast<ZarnPathString&>(*resolved).isFinal());
}

TEST_F(PathStringTest, FailedExpansionLeavesTheText)
{
    auto value = path("${x", root);
    EXPECT_THROW(value->resolve(), ZarnException);
    EXPECT_EQ(value->toString(), "${x");
}

TEST_F(PathStringTest, EqualityNamesTheSameExistingFile)
{
    fs::create_directories(root / "a");
    EXPECT_TRUE(path("a/../p", root)->equals(*path("p", root)));
    EXPECT_FALSE(path("missing", root)->equals(*path("missing", root)));
    EXPECT_TRUE(path("Some/Text", root)->equals(*makeString("some/text")));
    EXPECT_FALSE(path("p", root)->equals(*number(1)));
}

TEST_F(PathStringTest, CloneAndWordsKeepTheBaseDirectory)
{
    auto value = path("a.c b.c", root);
    EXPECT_EQ(static_cast<ZarnPathString&>(*value->clone()).getBaseDirectory(), root);
    EXPECT_EQ(static_cast<ZarnPathString&>(*Zarn::begin(ZarnValuePtr(value))->current()).getBaseDirectory(), root);
    EXPECT_EQ(value->typeName(), "ZarnString");
    EXPECT_NE(dynamic_cast<ZarnString*>(value.get()), nullptr);
}

TEST(PathLiteralTest, LiteralsReadBackThroughTheShortPathRewrite)
{
    struct Case {
        std::string text;
        fs::path base;
        std::string literal;
        bool readsBack;
    };
    const std::vector<Case> cases = {
        {"x", "", "P\"x\"", true},
        {"a.c", "/src", "P\"/src/a.c\"", true},
        {"/abs", "/src", "P\"/abs\"", true},
        {"say \"hi\"", "", "P\"(say \"hi\")\"", true},
        {"(x", "", "P\"((x)\"", true},
        {"f(x)", "", "P\"f(x)\"", false},
    };
    for (const auto& c : cases) {
        auto value = makePathString(c.text, c.base);
        EXPECT_EQ(value->toLiteral(), c.literal) << c.text;
        EXPECT_EQ(value->hasLiteralForm(), c.readsBack) << c.text;
    }
}

TEST(CollectPathsTest, GathersPathValuesAtAnyDepth)
{
    auto value = listOf({makePathString("a.c", "/s"), makeString("plain"),
                         listOf({makePathString("/abs/b.c", "/s"), number(1)}), nullptr});
    std::vector<fs::path> paths{"/first"};
    collectPaths(value, paths);
    collectPaths(nullptr, paths);
    collectPaths(makeString("x"), paths);
    EXPECT_EQ(paths, (std::vector<fs::path>{"/first", "/s/a.c", "/abs/b.c"}));
}

TEST(WildcardMatchTest, MatchesQuestionMarksAndStars)
{
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"abc", "a?c", true},   {"ac", "a?c", false},      {".hidden", ".*", true},
        {"a", "a*", true},      {"", "*", true},           {"axbyc", "a*b*c", true},
        {"ab", "a*c", false},   {"x.cc", "*.c", false},    {"x.c", "*.c", true},
        {"ABC", "abc", false},  {"aaab", "*a?b", true},    {"abcbd", "a*bd", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matchWildcard(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
}

TEST(WildcardExpandTest, RelativePatternWithoutBaseMatchesNothing)
{
    EXPECT_TRUE(expandWildcards("*.nothing-here").empty());
}

}  // namespace
