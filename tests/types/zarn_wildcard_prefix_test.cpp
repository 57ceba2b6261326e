// A directory taken from the file system is never a pattern, whatever
// characters its name holds; only the written part of a path matches.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "types/zarn_path_string.h"
#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;

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

    // The texts of the literal's resolution, compared with the names below
    // the temporary directory.
    void expectResolves(const ZarnValuePtr& literal, const Words& names, const std::string& what) const
    {
        Words expected, texts;
        for (const auto& name : names)
            expected.push_back(at(name));
        const ZarnValuePtr value = dynamic_cast<ZarnPathString&>(*literal).resolve();
        if (const auto* members = dynamic_cast<const ZarnList*>(value.get()))
            for (const auto& member : members->getMembers())
                texts.push_back(member->toString());
        else
            texts.push_back(value->toString());
        EXPECT_EQ(texts, expected) << what;
    }

    TempDir dir;
};

// A string made from file-system text (a directory the program found, a
// project root) is taken as it is, also when a path literal inserts it; the
// user's own strings stay patterns.
TEST_F(WildcardPrefixTest, OnlyTheWrittenTextOfAPathLiteralIsAPattern)
{
    const std::string root = at("app*");
    auto fromFileSystem = std::make_shared<ZarnString>(root);
    fromFileSystem->setFinal(true);
    fromFileSystem->setVerbatimPrefix(root.size());
    auto context = contextWith({
        set("root", fromFileSystem),
        set("found", dynamic_cast<ZarnPathString&>(*makePathString("src", dir.path() / "app*")).resolve()),
        set("ext", str("*.c")),
        set("user", finalStr(at("app?"))),
    });
    const std::string all = "/src/main.c";
    const struct { const char* directory; std::string written; Words expected; } cases[] = {
        {"app*", "src/*.c", {"app*/src/main.c"}},
        {"app*", "src/own_*", {"app*/src/own_app*.h"}},
        {"app*", "sr?/*", {"app*/src/main.c", "app*/src/own_app*.h"}},
        // The written part alone may reach other directories.
        {"app",
         "../app?/src/main.?",
         {"app/../app*" + all, "app/../app?" + all, "app/../appX" + all, "app/../app]" + all}},
        // An absolute written text is matched whole: the user wrote every part.
        {"app*", at("ap?p?/src/*.c"), {"ap*p?" + all, "apXpY" + all, "ap[p]" + all, "apppp" + all}},
        // Nothing matches: the pattern stands, below the directory as it is.
        {"ap*p?", "src/*.z", {"ap*p?/src/*.z"}},
        {"app*", "none/x.c", {"app*/none/x.c"}},
        {"app", "${root}/", {"app*/"}},
        {"app", "${found}/../src/own_*", {"app*/src/../src/own_app*.h"}},
        {"app", "${root}/src/${ext}", {"app*" + all}},
        // A name that only begins with inserted text: that part as it is.
        {"app", "${root}?/src/*.c", {"app*X" + all}},
        {"app", "${user}/src/main.c", {"app*" + all, "app?" + all, "appX" + all, "app]" + all}},
    };
    for (const auto& c : cases) {
        auto value = makePathString(c.written, dir.path() / c.directory);
        dynamic_cast<ZarnPathString&>(*value).setResolver(context.get());
        expectResolves(value, c.expected, c.directory + (" + " + c.written));
    }
}

// A literal that matched nothing, matched again later, still only below its
// own directory, which holds a reference that is not expanded either.
TEST_F(WildcardPrefixTest, AnUnmatchedLiteralStaysBelowItsDirectoryAsItIs)
{
    dir.write("d${x}*/keep.txt");
    auto context = contextWith({set("x", str("X"))});
    auto value = makePathString("src/*.z", dir.path() / "d${x}*");
    dynamic_cast<ZarnPathString&>(*value).setResolver(context.get());
    expectResolves(value, {"d${x}*/src/*.z"}, "before");
    for (const char* file : {"dX/src/late.z", "d${x}*Y/src/late.z", "d${x}*/src/late.z"})
        dir.write(file);
    expectResolves(value, {"d${x}*/src/late.z"}, "after");
}

}  // namespace
