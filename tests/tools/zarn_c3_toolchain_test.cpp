// The "c3c" tool type: its factory, its matcher and its registration.
#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/fake_c3c.h"
#include "tools/zarn_c3_toolchain.h"
#include "zarn_tool_type_registry.h"

namespace {

using namespace TestSupport;
using Zarn::C3Matcher;
namespace fs = std::filesystem;

Zarn::KeySet wantsOf(const std::vector<Zarn::Assignment>& assignments)
{
    Zarn::KeySet wants;
    for (const Zarn::Assignment& assignment : assignments)
        wants.insert_or_assign(assignment.name, assignment);
    return wants;
}

std::unique_ptr<C3Matcher> makeMatcher(const std::vector<Zarn::Assignment>& wants)
{
    std::unique_ptr<Zarn::Matcher> matcher = Zarn::createC3Matcher("my_c3", wantsOf(wants), {});
    return std::unique_ptr<C3Matcher>(dynamic_cast<C3Matcher*>(matcher.release()));
}

FakeC3c::Options reporting(const std::string& version)
{
    FakeC3c::Options options;
    options.versionOutput = FakeC3c::banner(version);
    return options;
}

TEST(C3Toolchain, FactoryFailsWithoutPathOrCompiler)
{
    TempDir dir;
    FakeC3c::write(dir / "tc/bin/c3c", reporting("0.6.1"));
    const std::string noPath = "Zarn: C3Matcher requires want variable 'toolchain_path'.";
    const std::string none = "Zarn: Couldn't find C3 toolchain from provided 'wants' variables.";
    EXPECT_EQ(errorOf([] { makeMatcher({}); }), noPath);
    EXPECT_EQ(errorOf([] { makeMatcher({set("toolchain_path", str(""))}); }), noPath);
    EXPECT_EQ(errorOf([&] { makeMatcher({set("toolchain_path", str((dir / "empty").string()))}); }), none);
    const auto tooOld = set("toolchain_version", str("0.7"));
    EXPECT_EQ(errorOf([&] { makeMatcher({set("toolchain_path", str((dir / "tc").string())), tooOld}); }), none);
}

TEST(C3Toolchain, FactoryKeepsTheNewestCompilerInOneSharedBuilder)
{
    TempDir dir;
    FakeC3c::write(dir / "tc/c3c", reporting("0.6.1"));
    const fs::path newest = FakeC3c::write(dir / "tc/bin/c3c", reporting("0.7.0"));
    auto matcher = makeMatcher({set("toolchain_path", str((dir / "tc").string())), set("opt", str("x"))});
    ASSERT_TRUE(matcher);
    EXPECT_EQ(matcher->version, "0.7.0");
    EXPECT_EQ(matcher->compilerPath, newest);
    EXPECT_EQ(matcher->binDir, dir / "tc/bin");
    ASSERT_TRUE(matcher->builder);
    EXPECT_EQ(matcher->builder->compilerPath, newest);
    EXPECT_EQ(matcher->builder->binDir, dir / "tc/bin");
    EXPECT_EQ(matcher->builder->getToolIdentity(Zarn::Context()), "c3c-0.7.0");
    // The table's wants with the definition's merged in.
    std::string wants;
    for (const auto& entry : matcher->wants)
        wants += entry.first.str() + " ";
    EXPECT_EQ(wants, "C3C opt toolchain_min_version toolchain_path toolchain_version ");

    auto target = targetWith({set("C3_FILES", str("a.c3"))});
    const std::unique_ptr<Zarn::Matcher> copy = matcher->clone();
    EXPECT_EQ(matcher->createBuilder(*target), matcher->builder);
    EXPECT_EQ(copy->createBuilder(*target), matcher->builder);
    EXPECT_EQ(matcher->createBuilder(*targetWith({set("LIB", str("m"))})), nullptr);
}

TEST(C3Toolchain, MatchComparesTheTargetsVersionExactly)
{
    TempDir dir;
    FakeC3c::write(dir / "c3c", reporting("0.6.1"));
    auto matcher = makeMatcher({set("toolchain_path", str(dir.path().string()))});
    ASSERT_TRUE(matcher);
    struct Case {
        std::vector<Zarn::Assignment> variables;
        int status;
        std::string kinds;
    };
    const std::vector<Case> cases = {
        {{}, 1, "C3_FILES:1/1"},
        {{set("toolchain_version", str("0.6.1"))}, 1, "C3_FILES:1/1 toolchain_version:0/0"},
        {{set("toolchain_version", str("0.6"))}, 0, ""},
        {{set("toolchain_version", str("0"))}, 0, ""},
        {{set("toolchain_min_version", str("0.6"))}, 1, "C3_FILES:1/1 toolchain_min_version:2/0"},
        {{set("toolchain_min_version", str("0.7"))}, 0, ""},
    };
    for (const Case& c : cases) {
        auto target = targetWith(c.variables);
        target->addAssignment(set("C3_FILES", str("a.c3")));
        const Zarn::MatchResult result = matcher->match(*target);
        EXPECT_EQ(result.status, c.status) << kindsOf(result);
        EXPECT_EQ(kindsOf(result), c.kinds);
    }
}

}  // namespace
