// A directory taken from the file system is never a pattern, whatever
// characters its name holds; only the written part of a path matches.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "types/zarn_path_string.h"
#include "types/zarn_wildcards.h"
#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;
namespace fs = std::filesystem;

namespace {

// Directories whose names a wildcard in another directory's name would
// match, each with a file of its own besides the shared main.c.
class WildcardPrefixTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"app*", "app?", "ap*p?", "ap[p]", "appX", "apXpY", "apppp", "app", "app]", "app*X"}) {
            dir.write(std::string(name) + "/src/main.c");
            dir.write(std::string(name) + "/src/own_" + std::string(name) + ".h");
        }
    }

    std::string at(const std::string& name) const { return (dir.path() / name).string(); }

    // The texts of a path literal's resolution.
    static Words resolvedTexts(const ZarnValuePtr& literal)
    {
        Words texts;
        for (const auto& member : walkMembers(dynamic_cast<ZarnPathString&>(*literal).resolve()))
            texts.push_back(member->toString());
        return texts;
    }

    static std::vector<ZarnValuePtr> walkMembers(const ZarnValuePtr& value)
    {
        if (const auto* members = dynamic_cast<const ZarnList*>(value.get()))
            return members->getMembers();
        return {value};
    }

    TempDir dir;
};

struct PrefixCase {
    const char* directory;  // the base directory, below the temporary one
    const char* pattern;    // the written text
    Words expected;         // below the temporary directory
};

const PrefixCase prefixCases[] = {
    {"app*", "src/*.c", {"app*/src/main.c"}},
    {"app?", "src/*.c", {"app?/src/main.c"}},
    {"ap*p?", "src/*.c", {"ap*p?/src/main.c"}},
    {"ap[p]", "src/*.c", {"ap[p]/src/main.c"}},
    {"app*", "src/own_*", {"app*/src/own_app*.h"}},
    {"app?", "src/own_app?.h", {"app?/src/own_app?.h"}},
    {"app*", "sr?/*", {"app*/src/main.c", "app*/src/own_app*.h"}},
    {"app*", "*/main.c", {"app*/src/main.c"}},
    // The written part alone may reach other directories.
    {"app",
     "../app?/src/main.?",
     {"app/../app*/src/main.c", "app/../app?/src/main.c", "app/../appX/src/main.c", "app/../app]/src/main.c"}},
    // Nothing matches: the pattern stands, below the directory as it is.
    {"ap*p?", "src/*.z", {"ap*p?/src/*.z"}},
    {"app*", "none/x.c", {"app*/none/x.c"}},
};

TEST_F(WildcardPrefixTest, TheBaseDirectoryOfAPathLiteralIsNotAPattern)
{
    for (const auto& c : prefixCases) {
        Words expected;
        for (const auto& name : c.expected)
            expected.push_back(at(name));
        EXPECT_EQ(resolvedTexts(makePathString(c.pattern, dir.path() / c.directory)), expected)
            << c.directory << " + " << c.pattern;
    }
}

// An absolute written text is matched whole: the user wrote every part.
TEST_F(WildcardPrefixTest, AnAbsoluteWrittenTextIsMatchedWhole)
{
    EXPECT_EQ(resolvedTexts(makePathString(at("app?/src/main.c"), dir.path() / "app*")),
              (Words{at("app*/src/main.c"), at("app?/src/main.c"), at("appX/src/main.c"), at("app]/src/main.c")}));
    EXPECT_EQ(expandWildcards(dir.path() / "app*", at("ap?p?/src/*.c")),
              (std::vector<fs::path>{at("ap*p?/src/main.c"), at("apXpY/src/main.c"), at("ap[p]/src/main.c"),
                                     at("apppp/src/main.c")}));
}

// A literal that matched nothing keeps its whole path as its text; when it
// matches later, still only below its own directory.
TEST_F(WildcardPrefixTest, AnUnmatchedLiteralStaysBelowItsDirectory)
{
    for (const char* base : {"app*", "app?", "ap*p?"}) {
        auto value = makePathString("src/*.z", dir.path() / base);
        EXPECT_EQ(resolvedTexts(value), Words{at(std::string(base) + "/src/*.z")}) << base;
        dir.write("appX/src/late.z");
        dir.write("apXpY/src/late.z");
        dir.write(std::string(base) + "/src/late.z");
        EXPECT_EQ(resolvedTexts(value), Words{at(std::string(base) + "/src/late.z")}) << base;
        fs::remove(dir.path() / base / "src/late.z");
    }
}

// The same for a directory holding a reference: it is neither expanded nor
// matched again.
TEST_F(WildcardPrefixTest, AnUnmatchedLiteralDoesNotExpandItsDirectory)
{
    dir.write("d${x}*/keep.txt");
    dir.write("dX/src/late.z");
    auto context = contextWith({set("x", str("X"))});
    auto value = makePathString("src/*.z", dir.path() / "d${x}*");
    dynamic_cast<ZarnPathString&>(*value).setResolver(context.get());
    EXPECT_EQ(resolvedTexts(value), Words{at("d${x}*/src/*.z")});
    dir.write("d${x}*/src/late.z");
    EXPECT_EQ(resolvedTexts(value), Words{at("d${x}*/src/late.z")});
}

// A string made from file-system text (a directory the program found, a
// project file's path) keeps it as it is when a path literal inserts it;
// the user's own strings stay patterns.
TEST_F(WildcardPrefixTest, InsertedDirectoriesAreNotPatterns)
{
    auto fromFileSystem = [](const std::string& text, std::size_t verbatim, bool final) {
        auto value = std::make_shared<ZarnString>(text);
        value->setFinal(final);
        value->setVerbatimPrefix(verbatim);
        return value;
    };
    const std::string root = at("app*");
    auto matched = makePathString("src", dir.path() / "app*");
    auto context = contextWith({
        set("root", fromFileSystem(root, root.size(), true)),
        set("projectPath", fromFileSystem(root + "/src", root.size() + 1, false)),
        set("found", dynamic_cast<ZarnPathString&>(*matched).resolve()),
        // As a tool hands on its product: a list of one.
        set("foundList", std::make_shared<ZarnList>(std::vector<ZarnValuePtr>{
                             dynamic_cast<ZarnPathString&>(*matched->clone()).resolve()})),
        set("ext", str("*.c")),
        set("user", finalStr(at("app?"))),
    });
    const struct { const char* text; Words expected; } cases[] = {
        {"${root}/src/*.c", {"app*/src/main.c"}},
        {"${root}", {"app*"}},
        {"${root}/", {"app*/"}},
        {"${projectPath}/*.c", {"app*/src/main.c"}},
        {"${found}/*.c", {"app*/src/main.c"}},
        {"${found}/../src/own_*", {"app*/src/../src/own_app*.h"}},
        {"${foundList}/*.c", {"app*/src/main.c"}},
        {"${root}/src/${ext}", {"app*/src/main.c"}},
        // A name that only begins with inserted text: that part as it is.
        {"${root}X/src/*.c", {"app*X/src/main.c"}},
        {"${root}?/src/*.c", {"app*X/src/main.c"}},
        {"${user}/src/main.c", {"app*/src/main.c", "app?/src/main.c", "appX/src/main.c", "app]/src/main.c"}},
    };
    for (const auto& c : cases) {
        Words expected;
        for (const auto& name : c.expected)
            expected.push_back(at(name));
        auto value = makePathString(c.text, dir.path() / "app");
        dynamic_cast<ZarnPathString&>(*value).setResolver(context.get());
        EXPECT_EQ(resolvedTexts(value), expected) << c.text;
    }
}

TEST(WildcardDirectoryTest, PatternsWithoutWildcardsJoinTheDirectoryAsItIs)
{
    const struct { fs::path directory, pattern, expected; } cases[] = {
        {"/no/such*", "a/b.c", "/no/such*/a/b.c"},
        {"/no/such?", "/abs/x", "/abs/x"},
        {"", "rel/x", "rel/x"},
        {"/d*", "a//b", "/d*/a/b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(expandWildcards(c.directory, c.pattern), std::vector<fs::path>{c.expected}) << c.pattern;
        EXPECT_EQ(walkWildcardComponents(c.directory, c.pattern), std::vector<fs::path>{c.expected}) << c.pattern;
    }
}

}  // namespace
